#pragma once
// The benchmark's download host on 127.0.0.1: files from disk at "/packages/<name>", served
// the way a CDN serves them (HEAD with the length and "Accept-Ranges: bytes", GET of the
// whole file or of one byte range), read from disk piece by piece.

#include "support/LocalHttpServer.h"

#include <QString>
#include <QUrl>

#include <map>
#include <mutex>
#include <string>

namespace quillon::bench {

class PackageHost final {
public:
    PackageHost();
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

    test::LocalHttpServer m_server;
    std::mutex m_mutex;
    std::map<std::string, std::string> m_files;
};

} // namespace quillon::bench
