#include "support/FakeAccountService.h"

#include <QJsonDocument>

#include <algorithm>

namespace quillon::test {

ScriptedReply ScriptedReply::json(int status, const QJsonObject &object) {
    return json(status, QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString());
}

ScriptedReply ScriptedReply::json(int status, const std::string &text) {
    ScriptedReply reply;
    reply.status = status;
    reply.body = text;
    return reply;
}

ScriptedReply ScriptedReply::htmlErrorPage(int status) {
    ScriptedReply reply;
    reply.status = status;
    reply.contentType = "text/html";
    reply.body = "<html><head><title>502 Bad Gateway</title></head><body><h1>Bad Gateway</h1></body></html>";
    return reply;
}

ScriptedReply ScriptedReply::invalidUtf8(int status) {
    ScriptedReply reply;
    reply.status = status;
    reply.body = "{\"error\":\"\xff\xfe broken\"}";
    return reply;
}

ScriptedReply ScriptedReply::dropped() {
    ScriptedReply reply;
    reply.dropConnection = true;
    reply.body = "{\"accessToken\":\"never-complete\",\"status\":\"approved\"}";
    return reply;
}

FakeAccountService::FakeAccountService() {
    auto handler = [this](const httplib::Request &request, httplib::Response &response) { answer(request, response); };
    m_server.http().Post(".*", handler);
    m_server.http().Get(".*", handler);
    m_server.start();
}

FakeAccountService::~FakeAccountService() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_server.stop();
}

void FakeAccountService::always(const std::string &path, ScriptedReply reply) {
    std::lock_guard lock(m_mutex);
    m_standing[path] = std::move(reply);
}

void FakeAccountService::answerWith(const std::string &path,
                                    std::function<ScriptedReply(const RecordedRequest &)> responder) {
    std::lock_guard lock(m_mutex);
    m_responders[path] = std::move(responder);
}

void FakeAccountService::then(const std::string &path, ScriptedReply reply) {
    std::lock_guard lock(m_mutex);
    m_queued[path].push_back(std::move(reply));
}

std::vector<RecordedRequest> FakeAccountService::requestsTo(const std::string &path) const {
    std::lock_guard lock(m_mutex);
    std::vector<RecordedRequest> matching;
    std::copy_if(m_arrived.begin(), m_arrived.end(), std::back_inserter(matching),
                 [&](const RecordedRequest &r) { return r.path == path; });
    return matching;
}

int FakeAccountService::heldCount() const {
    std::lock_guard lock(m_mutex);
    return m_held;
}

void FakeAccountService::releaseHeld() {
    {
        std::lock_guard lock(m_mutex);
        ++m_releases;
    }
    m_wake.notify_all();
}

void FakeAccountService::answer(const httplib::Request &request, httplib::Response &response) {
    ScriptedReply reply;
    {
        std::unique_lock lock(m_mutex);
        RecordedRequest recorded{request.method, request.path, {}, request.body};
        for (const auto &[name, value] : request.headers) {
            recorded.headers.emplace(name, value);
        }
        m_arrived.push_back(recorded);

        auto queued = m_queued.find(request.path);
        if (queued != m_queued.end() && !queued->second.empty()) {
            reply = std::move(queued->second.front());
            queued->second.pop_front();
        } else if (auto responder = m_responders.find(request.path); responder != m_responders.end()) {
            reply = responder->second(recorded);
        } else if (auto standing = m_standing.find(request.path); standing != m_standing.end()) {
            reply = standing->second;
        } else {
            reply = ScriptedReply::json(404, std::string("{\"error\":\"no such endpoint\"}"));
        }

        if (reply.held) {
            ++m_held;
            const unsigned releases = m_releases;
            m_wake.wait(lock, [&] { return m_stopping || m_releases != releases; });
            --m_held;
        }
        if (reply.delay.count() > 0) {
            m_wake.wait_for(lock, reply.delay, [&] { return m_stopping; });
        }
        if (m_stopping) {
            return;
        }
    }

    response.status = reply.status;
    if (reply.heldHalfway) {
        const std::string body = reply.body;
        response.set_content_provider(body.size(), reply.contentType,
                                      [this, body](size_t offset, size_t, httplib::DataSink &sink) {
                                          const size_t half = body.size() / 2;
                                          if (offset == half) {
                                              std::unique_lock lock(m_mutex);
                                              ++m_held;
                                              const unsigned releases = m_releases;
                                              m_wake.wait(lock, [&] { return m_stopping || m_releases != releases; });
                                              --m_held;
                                              if (m_stopping) {
                                                  return false;
                                              }
                                          }
                                          const size_t end = offset < half ? half : body.size();
                                          return sink.write(body.data() + offset, end - offset);
                                      });
        return;
    }
    if (!reply.dropConnection) {
        response.set_content(reply.body, reply.contentType);
        return;
    }
    // Promise more than is sent: the client sees the connection close mid-body.
    const std::string partial = reply.body.substr(0, reply.body.size() / 2);
    response.set_content_provider(reply.body.size() + 64, reply.contentType,
                                  [partial](size_t offset, size_t, httplib::DataSink &sink) {
                                      if (offset == 0) {
                                          sink.write(partial.data(), partial.size());
                                          return true;
                                      }
                                      return false;
                                  });
}

} // namespace quillon::test
