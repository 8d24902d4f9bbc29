#pragma once
// A scripted account service on 127.0.0.1: each endpoint answers with the replies a
// test gives it (status, body, delay, a connection dropped mid-reply, an HTML error
// page, invalid UTF-8, or a reply held back until the test releases it), and every
// request is recorded as it arrives (method, path, headers, body).

#include "support/LocalHttpServer.h"

#include <QJsonObject>
#include <QUrl>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace quillon::test {

struct ScriptedReply {
    int status = 200;
    std::string body = "{}";
    std::string contentType = "application/json";
    std::chrono::milliseconds delay{0};
    /// Sends the headers and part of the body, then closes the connection.
    bool dropConnection = false;
    /// Waits until `FakeAccountService::releaseHeld()` before answering.
    bool held = false;
    /// Sends the headers and half the body, then waits for `releaseHeld()` before the rest.
    bool heldHalfway = false;

    static ScriptedReply json(int status, const QJsonObject &object);
    static ScriptedReply json(int status, const std::string &text);
    static ScriptedReply htmlErrorPage(int status);
    static ScriptedReply invalidUtf8(int status = 200);
    static ScriptedReply dropped();
    ScriptedReply &after(std::chrono::milliseconds wait) { delay = wait; return *this; }
    ScriptedReply &heldBack() { held = true; return *this; }
    ScriptedReply &heldMidway() { heldHalfway = true; return *this; }
};

class FakeAccountService final {
public:
    FakeAccountService();
    ~FakeAccountService();
    FakeAccountService(const FakeAccountService &) = delete;
    FakeAccountService &operator=(const FakeAccountService &) = delete;

    /// "http://127.0.0.1:<port>/"
    QUrl baseUrl() const { return m_server.baseUrl(); }

    /// The reply `path` (e.g. "/api/manager/account") gives whenever no queued one is left.
    void always(const std::string &path, ScriptedReply reply);
    /// Answers `path` by the request itself (on the server's thread), when no queued reply is left.
    void answerWith(const std::string &path, std::function<ScriptedReply(const RecordedRequest &)> responder);
    /// A one-time reply; queued replies are used first, in order.
    void then(const std::string &path, ScriptedReply reply);

    /// Every request to `path`, in arrival order (recorded before it is answered).
    std::vector<RecordedRequest> requestsTo(const std::string &path) const;
    size_t count(const std::string &path) const { return requestsTo(path).size(); }
    /// Requests waiting in a held reply.
    int heldCount() const;
    /// Lets every held reply (now and later ones already waiting) go.
    void releaseHeld();

private:
    void answer(const httplib::Request &request, httplib::Response &response);

    LocalHttpServer m_server;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::map<std::string, ScriptedReply> m_standing;
    std::map<std::string, std::function<ScriptedReply(const RecordedRequest &)>> m_responders;
    std::map<std::string, std::deque<ScriptedReply>> m_queued;
    std::vector<RecordedRequest> m_arrived;
    int m_held = 0;
    unsigned m_releases = 0;
    bool m_stopping = false;
};

} // namespace quillon::test
