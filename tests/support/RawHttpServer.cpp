#include "support/RawHttpServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <stdexcept>

namespace quillon::test {
namespace {

constexpr int kIdleLimitMs = 10'000; // a client that sends nothing for this long is dropped

/// Waits until `fd` is readable or `wake` is; false when woken, timed out or failed.
bool readable(int fd, int wake) {
    pollfd fds[2] = {{fd, POLLIN, 0}, {wake, POLLIN, 0}};
    const int ready = ::poll(fds, 2, kIdleLimitMs);
    return ready > 0 && (fds[1].revents & POLLIN) == 0 && (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0;
}

void sendAll(int fd, const std::string &bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            return; // the client went away
        }
        sent += std::size_t(n);
    }
}

} // namespace

RawHttpServer::RawHttpServer(Answer answer, std::chrono::milliseconds pauseBetweenPieces)
    : m_answer(std::move(answer)), m_pause(pauseBetweenPieces) {
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        ::listen(m_listener, 16) != 0 ||
        ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length) != 0 ||
        ::pipe2(m_wake, O_CLOEXEC) != 0) {
        throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { serve(); });
}

RawHttpServer::~RawHttpServer() {
    const char stop = 's';
    (void)!::write(m_wake[1], &stop, 1);
    m_thread.join();
    ::close(m_listener);
    ::close(m_wake[0]);
    ::close(m_wake[1]);
}

QUrl RawHttpServer::url(const std::string &target) const {
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(QString::fromStdString(target)));
}

std::vector<RawHttpServer::Request> RawHttpServer::requests() const {
    std::lock_guard lock(m_mutex);
    return m_requests;
}

std::string RawHttpServer::head(int status, const std::vector<std::string> &fields) {
    std::string text = "HTTP/1.1 " + std::to_string(status) + " Status\r\n";
    for (const std::string &field : fields) {
        text += field + "\r\n";
    }
    return text + "\r\n";
}

std::string RawHttpServer::chunk(const std::string &bytes) {
    char size[32];
    std::snprintf(size, sizeof size, "%zx\r\n", bytes.size());
    return size + bytes + "\r\n";
}

void RawHttpServer::serve() {
    std::vector<std::thread> connections;
    while (readable(m_listener, m_wake[0])) {
        const int connection = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection >= 0) {
            connections.emplace_back([this, connection] { answer(connection); });
        }
    }
    for (std::thread &connection : connections) {
        connection.join();
    }
}

void RawHttpServer::answer(int connection) {
    std::string received;
    char buffer[4096];
    for (;;) {
        std::size_t end = received.find("\r\n\r\n");
        while (end == std::string::npos && readable(connection, m_wake[0])) {
            const ssize_t n = ::recv(connection, buffer, sizeof buffer, 0);
            if (n <= 0) {
                break;
            }
            received.append(buffer, std::size_t(n));
            end = received.find("\r\n\r\n");
        }
        if (end == std::string::npos) {
            break;
        }
        Request request;
        request.head = received.substr(0, end + 2);
        received.erase(0, end + 4);
        const std::size_t space = request.head.find(' ');
        const std::size_t second = request.head.find(' ', space + 1);
        request.method = request.head.substr(0, space);
        request.target = request.head.substr(space + 1, second - space - 1);
        {
            std::lock_guard lock(m_mutex);
            m_requests.push_back(request);
        }
        const std::vector<std::string> pieces = m_answer(request);
        for (std::size_t i = 0; i < pieces.size(); ++i) {
            if (i > 0 && m_pause.count() > 0) {
                std::this_thread::sleep_for(m_pause); // the server's pace, not a wait of the test
            }
            sendAll(connection, pieces[i]);
        }
        // The connection stays for the next request unless the answer ends it.
        if (pieces.empty() || pieces.front().find("Connection: close") != std::string::npos) {
            break;
        }
    }
    // An orderly end (FIN, not RST): stop sending, then let the client close its side.
    ::shutdown(connection, SHUT_WR);
    while (readable(connection, m_wake[0]) && ::recv(connection, buffer, sizeof buffer, 0) > 0) {
    }
    ::close(connection);
}

} // namespace quillon::test
