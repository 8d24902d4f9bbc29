#include "install/RangeConnection.h"

#include "install/PartFile.h"
#include "platform/Http.h"
#include "platform/HttpHead.h"
#include "records/InstallError.h"

#include <QUrl>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <optional>
#include <poll.h>
#include <unistd.h>

namespace quillon {
namespace {

// The pipe between socket and file. Measured with 1 GiB over eight connections: 1 MiB
// took 0.36-0.38 s, 256 KiB 0.54-0.61 s, the default 64 KiB 0.98-0.99 s (each pipe's
// worth is one write to the file, and the writes take turns).
constexpr int kPipeSize = 1 << 20;
// The longest response head, status line and header fields together.
constexpr qsizetype kMaxHead = 64 * 1024;

// Whether a read would find bytes (or the end) without waiting.
bool readableNow(int socket) {
    pollfd entry{socket, POLLIN, 0};
    int ready = 0;
    do {
        ready = ::poll(&entry, 1, 0);
    } while (ready < 0 && errno == EINTR);
    return ready > 0;
}

QByteArray requestHead(const QNetworkRequest &request) {
    const QUrl url = request.url();
    QByteArray target = url.path(QUrl::FullyEncoded).toLatin1();
    if (target.isEmpty()) {
        target = "/";
    }
    if (url.hasQuery()) {
        target += '?' + url.query(QUrl::FullyEncoded).toLatin1();
    }
    QByteArray host = url.host(QUrl::FullyEncoded).toLatin1();
    if (host.contains(':')) {
        host = '[' + host + ']';
    }
    if (url.port() != -1 && url.port() != 80) {
        host += ':' + QByteArray::number(url.port());
    }
    QByteArray head = "GET " + target + " HTTP/1.1\r\nHost: " + host + "\r\n";
    bool userAgent = false;
    for (const QByteArray &name : request.rawHeaderList()) {
        const QByteArray lower = name.toLower();
        const QByteArray value = request.rawHeader(name);
        // Framing and the range are this connection's own; the rest is the caller's.
        if (lower == "host" || lower == "connection" || lower == "range" || lower == "accept-encoding" ||
            lower == "content-length" || lower == "transfer-encoding" || !http::safeFieldPart(name) ||
            !http::safeFieldPart(value)) {
            continue;
        }
        userAgent = userAgent || lower == "user-agent";
        head += name + ": " + value + "\r\n";
    }
    if (!userAgent) {
        head += "User-Agent: Mozilla/5.0\r\n"; // what Qt's client sends
    }
    // Byte positions refer to the file as stored; a compressed answer would shift them.
    head += "Accept-Encoding: identity\r\n";
    return head;
}

timeval asTimeval(std::chrono::milliseconds timeout) {
    timeval value{};
    value.tv_sec = static_cast<time_t>(timeout.count() / 1000);
    value.tv_usec = static_cast<suseconds_t>((timeout.count() % 1000) * 1000);
    return value;
}

socklen_t addressLength(const sockaddr_storage &address) {
    return address.ss_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
}

QNetworkReply::NetworkError networkError(int error) {
    switch (error) {
    case ECONNREFUSED:
        return QNetworkReply::ConnectionRefusedError;
    case ETIMEDOUT:
    case EAGAIN:
        return QNetworkReply::TimeoutError;
    case ECONNRESET:
    case EPIPE:
        return QNetworkReply::RemoteHostClosedError;
    case ENETDOWN:
    case ENETUNREACH:
    case EHOSTUNREACH:
        return QNetworkReply::TemporaryNetworkFailureError;
    default:
        return QNetworkReply::UnknownNetworkError;
    }
}

[[noreturn]] void throwProtocol(const char *what) {
    throw http::NetworkFailure(QNetworkReply::ProtocolFailure, QLatin1String(what));
}

} // namespace

struct RangeConnection::Head {
    int status = 0;
    bool keepAlive = true;
    http::HeaderFields fields; ///< repeated fields joined into one

    std::optional<QByteArray> field(const char *name) const {
        for (const auto &[key, value] : fields) {
            if (key.compare(name, Qt::CaseInsensitive) == 0) {
                return value;
            }
        }
        return std::nullopt;
    }

    /// `text`: the lines up to, without, the empty one.
    static Head parse(const QByteArray &text) {
        QByteArrayList lines = text.split('\n');
        for (QByteArray &line : lines) {
            if (line.endsWith('\r')) {
                line.chop(1);
            }
        }
        const std::optional<http::StatusLine> status = http::parseStatusLine(lines.front());
        if (!status) {
            throwProtocol("a malformed status line");
        }
        http::HeaderFields fields;
        for (qsizetype i = 1; i < lines.size(); ++i) {
            if (!http::addFieldLine(lines[i], fields)) {
                throwProtocol("a malformed header line");
            }
        }
        Head head{status->code, status->minorVersion >= 1, http::joinRepeatedFields(fields)};
        if (const auto connection = head.field("Connection"); connection && connection->toLower().contains("close")) {
            head.keepAlive = false;
        }
        return head;
    }
};

RangeConnection::RangeConnection(const Target &target) : m_target(target), m_requestHead(requestHead(target.request)) {
    if (::pipe2(m_pipe, O_CLOEXEC) != 0) {
        fail(errno, "pipe");
    }
    ::fcntl(m_pipe[1], F_SETPIPE_SZ, kPipeSize); // a smaller pipe still works, more slowly
    m_pipeSize = std::max(::fcntl(m_pipe[1], F_GETPIPE_SZ), 4096);
}

RangeConnection::~RangeConnection() {
    close();
    for (const int fd : m_pipe) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

void RangeConnection::abort() {
    std::lock_guard lock(m_socketLock);
    m_aborted = true;
    if (m_socket >= 0) {
        ::shutdown(m_socket, SHUT_RDWR); // wakes a blocked call; the descriptor stays valid
    }
}

void RangeConnection::close() {
    std::lock_guard lock(m_socketLock);
    if (m_socket >= 0) {
        ::close(m_socket);
        m_socket = -1;
    }
}

bool RangeConnection::aborted() {
    std::lock_guard lock(m_socketLock);
    return m_aborted;
}

void RangeConnection::fail(int error, const char *what) {
    if (aborted()) {
        throw http::NetworkFailure(QNetworkReply::OperationCanceledError, QStringLiteral("aborted"));
    }
    throw http::NetworkFailure(networkError(error),
                               QStringLiteral("%1: %2").arg(QLatin1String(what), qt_error_string(error)));
}

void RangeConnection::closedEarly(const char *when) {
    if (aborted()) {
        fail(ECONNRESET, "receive");
    }
    throw http::NetworkFailure(QNetworkReply::RemoteHostClosedError,
                               QStringLiteral("the connection closed %1").arg(QLatin1String(when)));
}

void RangeConnection::connect() {
    int lastError = EADDRNOTAVAIL;
    for (const sockaddr_storage &address : m_target.addresses) {
        const int fd = ::socket(address.ss_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd < 0) {
            lastError = errno;
            continue;
        }
        {
            std::lock_guard lock(m_socketLock);
            if (m_aborted) {
                ::close(fd);
                break;
            }
            m_socket = fd;
        }
        m_reused = false;
        // Non-blocking, so that the wait below can end on time-out, abort or an interruption alike.
        int error = ::connect(fd, reinterpret_cast<const sockaddr *>(&address), addressLength(address)) == 0 ? 0 : errno;
        if (error == EINPROGRESS || error == EINTR) {
            pollfd waiting{fd, POLLOUT, 0};
            int ready = 0;
            do {
                ready = ::poll(&waiting, 1, static_cast<int>(m_target.timeout.count()));
            } while (ready < 0 && errno == EINTR);
            socklen_t length = sizeof error;
            if (ready == 0) {
                error = ETIMEDOUT;
            } else if (ready < 0 || ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
                error = errno;
            }
        }
        if (error == 0) {
            const timeval timeout = asTimeval(m_target.timeout);
            const int on = 1;
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
            // From now on every blocking call ends after the time-out without traffic.
            ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
            ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            return;
        }
        lastError = error;
        close();
    }
    fail(lastError, "connect");
}

int RangeConnection::send(const QByteArray &bytes) {
    qsizetype sent = 0;
    while (sent < bytes.size()) {
        const ssize_t count = ::send(m_socket, bytes.constData() + sent, static_cast<size_t>(bytes.size() - sent), MSG_NOSIGNAL);
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        sent += count;
    }
    return 0;
}

std::optional<RangeConnection::Head> RangeConnection::readHead() {
    QByteArray head;
    char buffer[16 * 1024];
    for (;;) {
        // Look first, then take exactly the head: the body stays in the socket for the pipe.
        const ssize_t seen = ::recv(m_socket, buffer, sizeof buffer, MSG_PEEK);
        if (seen < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (errno == ECONNRESET && head.isEmpty()) {
                return std::nullopt;
            }
            fail(errno, "receive");
        }
        if (seen == 0) {
            if (head.isEmpty()) {
                return std::nullopt;
            }
            closedEarly("before the response was complete");
        }
        const qsizetype before = head.size();
        head.append(buffer, seen);
        // The empty line ends the head; a bare line feed is tolerated as a line end.
        qsizetype textEnd = -1; // the line feed that ends the last header line
        qsizetype headEnd = -1; // the first byte after the empty line
        for (qsizetype at = std::max<qsizetype>(0, before - 3); at < head.size() && headEnd < 0; ++at) {
            if (head[at] != '\n') {
                continue;
            }
            if (at + 1 < head.size() && head[at + 1] == '\n') {
                headEnd = at + 2;
            } else if (at + 2 < head.size() && head[at + 1] == '\r' && head[at + 2] == '\n') {
                headEnd = at + 3;
            }
            textEnd = at;
        }
        const qsizetype take = headEnd >= 0 ? headEnd - before : seen;
        for (qsizetype taken = 0; taken < take;) {
            const ssize_t count = ::recv(m_socket, buffer, static_cast<size_t>(take - taken), 0);
            if (count < 0 && errno == EINTR) {
                continue;
            }
            if (count <= 0) {
                fail(count < 0 ? errno : ECONNRESET, "receive");
            }
            taken += count;
        }
        if (headEnd < 0) {
            if (head.size() > kMaxHead) {
                throwProtocol("the response head is too long");
            }
            continue;
        }
        head.truncate(textEnd);
        while (head.startsWith("\r\n") || head.startsWith('\n')) {
            head.remove(0, head.startsWith('\n') ? 1 : 2); // stray line breaks before the status line
        }
        if (head.isEmpty()) {
            continue;
        }
        Head parsed = Head::parse(head);
        if (parsed.status >= 100 && parsed.status <= 199 && parsed.status != 101) {
            head.clear(); // an interim answer; the real one follows
            continue;
        }
        return parsed;
    }
}

void RangeConnection::fetch(const ByteRange &range, qint64 totalLength, PartFile &file,
                            const std::function<void(qint64)> &written) {
    const QByteArray request = m_requestHead + "Range: " + range.rangeHeader() + "\r\n\r\n";
    std::optional<Head> head;
    // A kept-alive connection the server closed meanwhile fails before the answer's first
    // byte; the request is sent again, once, on a new connection.
    for (int attempt = 0; attempt < 2 && !head; ++attempt) {
        if (m_socket < 0) {
            connect();
        }
        const bool reused = m_reused;
        if (const int error = send(request); error != 0) {
            if (!reused || (error != EPIPE && error != ECONNRESET)) {
                fail(error, "send");
            }
            close();
            continue;
        }
        head = readHead();
        if (!head) {
            close();
            if (!reused) {
                closedEarly("before the response");
            }
        }
    }
    if (!head) {
        closedEarly("before the response");
    }
    receiveBody(range, totalLength, *head, file, written);
    if (head->keepAlive) {
        m_reused = true;
    } else {
        close();
    }
}

void RangeConnection::receiveBody(const ByteRange &range, qint64 totalLength, const Head &head, PartFile &file,
                                  const std::function<void(qint64)> &written) {
    const std::optional<QByteArray> contentRange = head.field("Content-Range");
    const std::optional<QByteArray> contentLength = head.field("Content-Length");
    const std::optional<qint64> length = contentLength ? http::parseContentLength(*contentLength) : std::nullopt;
    if (contentLength && !length) {
        close();
        throw InstallError::invalidResponse();
    }
    // A range answer carries exactly its bytes, framed by its length or by the close of the
    // connection; a chunked one is not taken apart here.
    const bool exact = head.status == 206 && !head.field("Transfer-Encoding") &&
                       (!length || *length == range.length) && contentRange &&
                       contentRangeNames(*contentRange, range, totalLength);
    if (!exact) {
        close();
        throw InstallError::invalidResponse();
    }
    const bool untilClose = !length;
    qint64 received = 0; // in the file
    qint64 piped = 0;    // in the pipe, not yet in the file
    const auto flush = [&] {
        file.writeFromPipe(m_pipe[0], range.start + received, piped);
        received += piped;
        written(piped);
        piped = 0;
    };
    // The pipe collects what the socket holds until it is half full or the socket has no
    // more for now, and only then goes to the file: the connections take turns at the file (PartFile),
    // and a turn per socket read (often 64 KiB) made them hand the file over thousands of
    // times a second, each waiting for its thread to be scheduled again, which under load
    // cost more than the copy itself.
    while (received < range.length) {
        if (piped > 0 && !readableNow(m_socket)) {
            flush(); // the file gets what came while the socket waits for more
            continue;
        }
        // Never zero: a pipe half full or holding the rest of the range was emptied below.
        const qint64 room = std::min(range.length - received, m_pipeSize) - piped;
        // With bytes waiting in the pipe, a full pipe must not block the read (this thread
        // alone empties it).
        const unsigned flags = SPLICE_F_MOVE | (piped > 0 ? SPLICE_F_NONBLOCK : 0);
        const ssize_t count = ::splice(m_socket, nullptr, m_pipe[1], nullptr, static_cast<size_t>(room), flags);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0 && errno == EAGAIN && piped > 0) {
            flush();
            continue;
        }
        if (count < 0) {
            fail(errno, "receive");
        }
        if (count == 0) {
            if (untilClose && !aborted()) {
                close();
                throw InstallError::invalidResponse(); // the whole body, shorter than the range
            }
            closedEarly("before the end of the body");
        }
        piped += count;
        if (piped >= m_pipeSize / 2 || received + piped == range.length) {
            flush();
        }
    }
    // Nothing may follow the range's bytes: a body framed by the close must close now, and
    // the server owes nothing on a kept-alive connection until it is asked again.
    char next = 0;
    for (;;) {
        const ssize_t count = ::recv(m_socket, &next, 1, MSG_PEEK | (untilClose ? 0 : MSG_DONTWAIT));
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count > 0) {
            close();
            throw InstallError::invalidResponse(); // a body longer than announced
        }
        if (count < 0 && untilClose) {
            fail(errno, "receive");
        }
        break;
    }
    if (untilClose) {
        close();
    }
}

} // namespace quillon
