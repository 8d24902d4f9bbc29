#include "support/LocalHttpServer.h"

#include <chrono>
#include <stdexcept>

namespace quillon::test {

LocalHttpServer::LocalHttpServer() {
    // Recorded before the response goes out, so a client that has its answer finds its
    // request recorded (the logger runs only after the response is written).
    m_server.set_post_routing_handler([this](const httplib::Request &req, httplib::Response &res) {
        if (m_beforeResponse) {
            m_beforeResponse(req, res);
        }
        RecordedRequest recorded{req.method, req.path, {}, req.body};
        for (const auto &[name, value] : req.headers) {
            recorded.headers.emplace(name, value);
        }
        std::lock_guard lock(m_mutex);
        m_requests.push_back(std::move(recorded));
    });
}

LocalHttpServer::~LocalHttpServer() { stop(); }

void LocalHttpServer::start() {
    m_port = m_server.bind_to_any_port("127.0.0.1");
    if (m_port <= 0) {
        throw std::runtime_error("cannot bind 127.0.0.1");
    }
    m_thread = std::thread([this] { m_server.listen_after_bind(); });
    while (!m_server.is_running()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void LocalHttpServer::stop() {
    if (m_thread.joinable()) {
        m_server.stop();
        m_thread.join();
    }
}

QUrl LocalHttpServer::baseUrl() const { return QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(m_port)); }

QUrl LocalHttpServer::url(const QString &path) const { return baseUrl().resolved(QUrl(path)); }

std::vector<RecordedRequest> LocalHttpServer::requests() const {
    std::lock_guard lock(m_mutex);
    return m_requests;
}

std::vector<RecordedRequest> LocalHttpServer::requestsTo(const std::string &path) const {
    std::vector<RecordedRequest> matching;
    for (const RecordedRequest &request : requests()) {
        if (request.path == path) {
            matching.push_back(request);
        }
    }
    return matching;
}

} // namespace quillon::test
