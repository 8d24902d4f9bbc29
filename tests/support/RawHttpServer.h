#pragma once
// A server on 127.0.0.1 that answers each connection with bytes a test writes out
// verbatim, HTTP framing included, and then closes the connection. It exists for what a
// well-behaved HTTP library will not send: chunked bodies without their closing chunk,
// bodies shorter than their length, malformed status lines, odd redirects.
//
// Every connection reads a request head (up to the empty line), hands it to the answer
// function and writes the pieces it returns one after another, each a separate send,
// optionally with a pause before each piece but the first (a slow server). A connection
// whose answer's first piece holds "Connection: close" is then closed; any other waits for
// the next request.

#include <QUrl>

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quillon::test {

class RawHttpServer final {
public:
    struct Request {
        std::string method;
        std::string target; ///< as on the request line, e.g. "/file?x=1"
        std::string head;   ///< the whole request head, request line and header lines
    };
    using Answer = std::function<std::vector<std::string>(const Request &)>;

    explicit RawHttpServer(Answer answer, std::chrono::milliseconds pauseBetweenPieces = {});
    ~RawHttpServer();
    RawHttpServer(const RawHttpServer &) = delete;
    RawHttpServer &operator=(const RawHttpServer &) = delete;

    QUrl url(const std::string &target = "/file") const;
    int port() const { return m_port; }
    std::vector<Request> requests() const;

    /// A response head: status line, the given header lines and the empty line.
    static std::string head(int status, const std::vector<std::string> &fields);
    /// One chunk of a chunked body.
    static std::string chunk(const std::string &bytes);

private:
    void serve();
    void answer(int connection);

    Answer m_answer;
    std::chrono::milliseconds m_pause;
    int m_listener = -1;
    int m_wake[2] = {-1, -1};
    int m_port = 0;
    std::thread m_thread;
    mutable std::mutex m_mutex;
    std::vector<Request> m_requests;
};

} // namespace quillon::test
