#pragma once
// A download host on 127.0.0.1 that serves files from disk at "/packages/<name>", the
// way a CDN does: HEAD with the length and "Accept-Ranges: bytes", GET of the whole file
// or of one byte range, read from disk piece by piece. A file can be held half-sent until
// the test lets it go, to act while a transfer is in flight.

#include "support/LocalHttpServer.h"

#include <QString>
#include <QUrl>

#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <string>

namespace quillon::test {

class PackageHost final {
public:
    PackageHost();
    ~PackageHost();
    PackageHost(const PackageHost &) = delete;
    PackageHost &operator=(const PackageHost &) = delete;

    /// Serves the file at `path` as "/packages/<name>".
    void serve(const std::string &name, const QString &path);
    /// The next GETs of `name` stop after half the bytes until `release()`.
    void holdMidway(const std::string &name);
    /// Transfers waiting half-sent.
    int holding() const;
    /// Lets every held transfer go on; later ones of a held name are not held again.
    void release();
    QUrl url(const std::string &name) const;

private:
    void answer(const httplib::Request &request, httplib::Response &response);

    LocalHttpServer m_server;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::map<std::string, std::string> m_files;
    std::set<std::string> m_held;
    int m_holding = 0;
    bool m_stopping = false;
};

} // namespace quillon::test
