#pragma once
// A real HTTP server on 127.0.0.1 (port chosen by the system) running on its own
// thread, recording every request it answers. Register handlers on `http()` before
// `start()`.

#include <QUrl>

#include <httplib.h>

#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quillon::test {

struct RecordedRequest {
    std::string method;
    std::string path;
    std::multimap<std::string, std::string, httplib::detail::ci> headers;
    std::string body;

    std::string header(const std::string &name) const {
        auto it = headers.find(name);
        return it == headers.end() ? std::string() : it->second;
    }
    bool hasHeader(const std::string &name) const { return headers.count(name) > 0; }
};

class LocalHttpServer final {
public:
    LocalHttpServer();
    ~LocalHttpServer();
    LocalHttpServer(const LocalHttpServer &) = delete;
    LocalHttpServer &operator=(const LocalHttpServer &) = delete;

    httplib::Server &http() { return m_server; }
    /// Runs on each response after its handler, before it is recorded and sent (the
    /// server's own post-routing handler records requests: set this one instead). Before
    /// `start()`.
    void setBeforeResponse(httplib::Server::Handler handler) { m_beforeResponse = std::move(handler); }

    /// Binds 127.0.0.1 on a free port and serves on a background thread.
    void start();
    void stop();

    int port() const { return m_port; }
    /// "http://127.0.0.1:<port>/"
    QUrl baseUrl() const;
    QUrl url(const QString &path) const;

    std::vector<RecordedRequest> requests() const;
    std::vector<RecordedRequest> requestsTo(const std::string &path) const;

private:
    httplib::Server m_server;
    std::thread m_thread;
    int m_port = 0;
    mutable std::mutex m_mutex;
    std::vector<RecordedRequest> m_requests;
    httplib::Server::Handler m_beforeResponse;
};

} // namespace quillon::test
