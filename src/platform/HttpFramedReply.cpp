#include "platform/HttpFramedReply.h"

#include "platform/Http.h"
#include "platform/HttpHead.h"

#include <QNetworkAccessManager>
#include <QPointer>
#include <QSslSocket>
#include <QTcpSocket>

#include <algorithm>
#include <cctype>
#include <cstring>

namespace quillon::http {
namespace {

// What one read from the socket takes at most.
constexpr qint64 kReadPiece = 256 * 1024;
// The longest status and header section, and the longest chunk-size or trailer line.
constexpr qint64 kMaxHeadBytes = 64 * 1024;
constexpr qsizetype kMaxLine = 8 * 1024;

bool isWebScheme(const QUrl &url) {
    const QString scheme = url.scheme().toLower();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

int defaultPort(const QUrl &url) { return url.scheme().toLower() == QLatin1String("https") ? 443 : 80; }

/// A chunk size: hexadecimal digits, then optional extensions after ';'.
std::optional<qint64> parseChunkSize(const QByteArray &line) {
    const qsizetype semicolon = line.indexOf(';');
    const QByteArray digits = (semicolon < 0 ? line : line.left(semicolon)).trimmed();
    if (digits.isEmpty() || digits.size() > 15) {
        return std::nullopt;
    }
    qint64 value = 0;
    for (const char c : digits) {
        int digit = -1;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        }
        if (digit < 0) {
            return std::nullopt;
        }
        value = value * 16 + digit;
    }
    return value;
}

QNetworkReply::NetworkError networkError(QAbstractSocket::SocketError error) {
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return QNetworkReply::ConnectionRefusedError;
    case QAbstractSocket::HostNotFoundError:
        return QNetworkReply::HostNotFoundError;
    case QAbstractSocket::SslHandshakeFailedError:
    case QAbstractSocket::SslInternalError:
    case QAbstractSocket::SslInvalidUserDataError:
        return QNetworkReply::SslHandshakeFailedError;
    case QAbstractSocket::ProxyConnectionRefusedError:
        return QNetworkReply::ProxyConnectionRefusedError;
    case QAbstractSocket::ProxyConnectionClosedError:
        return QNetworkReply::ProxyConnectionClosedError;
    case QAbstractSocket::ProxyConnectionTimeoutError:
        return QNetworkReply::ProxyTimeoutError;
    case QAbstractSocket::ProxyNotFoundError:
        return QNetworkReply::ProxyNotFoundError;
    case QAbstractSocket::ProxyAuthenticationRequiredError:
        return QNetworkReply::ProxyAuthenticationRequiredError;
    case QAbstractSocket::NetworkError:
        return QNetworkReply::TemporaryNetworkFailureError;
    default:
        return QNetworkReply::UnknownNetworkError;
    }
}

} // namespace

FramedReply::FramedReply(const QNetworkRequest &request, QObject *parent) : QNetworkReply(parent) {
    setRequest(request);
    setOperation(QNetworkAccessManager::GetOperation);
    setUrl(request.url());
    open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    m_idle.setSingleShot(true);
    connect(&m_idle, &QTimer::timeout, this,
            [this] { fail(TimeoutError, QStringLiteral("no traffic within the transfer time-out")); settle(); });
    // Started from the event loop, as Qt's replies are, so that the caller can connect first.
    QMetaObject::invokeMethod(this, [this] { connectTo(url()); settle(); }, Qt::QueuedConnection);
}

FramedReply::~FramedReply() { dropSocket(); }

void FramedReply::connectTo(const QUrl &target) {
    if (m_ended) {
        return;
    }
    if (!isWebScheme(target)) {
        fail(ProtocolUnknownError, QStringLiteral("protocol \"%1\" is not HTTP").arg(target.scheme()));
        return;
    }
    if (target.host().isEmpty()) {
        fail(HostNotFoundError, QStringLiteral("the address names no host"));
        return;
    }
    const bool secure = target.scheme().toLower() == QLatin1String("https");
    if (secure && !QSslSocket::supportsSsl()) {
        fail(SslHandshakeFailedError, QStringLiteral("TLS is not available"));
        return;
    }
    m_stage = Stage::connecting;
    m_input.clear();
    m_inputAt = 0;
    m_headBytes = 0;
    m_socket = secure ? new QSslSocket(this) : new QTcpSocket(this);
    connect(m_socket, &QAbstractSocket::readyRead, this, [this] { receive(); settle(); });
    connect(m_socket, &QAbstractSocket::bytesWritten, this, [this] {
        if (m_idle.interval() > 0) {
            m_idle.start();
        }
    });
    connect(m_socket, &QAbstractSocket::errorOccurred, this, [this] { socketFailed(); settle(); });
    const int timeout = request().transferTimeout();
    if (timeout > 0) {
        m_idle.start(timeout);
    }
    const quint16 port = quint16(target.port(defaultPort(target)));
    if (auto *tls = qobject_cast<QSslSocket *>(m_socket)) {
        connect(tls, &QSslSocket::encrypted, this, [this] { sendRequest(); });
        tls->connectToHostEncrypted(target.host(), port);
    } else {
        connect(m_socket, &QAbstractSocket::connected, this, [this] { sendRequest(); });
        m_socket->connectToHost(target.host(), port);
    }
}

void FramedReply::sendRequest() {
    const QUrl target = url();
    QByteArray path = target.path(QUrl::FullyEncoded).toLatin1();
    if (path.isEmpty()) {
        path = "/";
    }
    if (target.hasQuery()) {
        path += '?' + target.query(QUrl::FullyEncoded).toLatin1();
    }
    QByteArray host = target.host(QUrl::FullyEncoded).toLatin1();
    if (host.contains(':')) {
        host = '[' + host + ']';
    }
    if (target.port() != -1 && target.port() != defaultPort(target)) {
        host += ':' + QByteArray::number(target.port());
    }
    QByteArray head = "GET " + path + " HTTP/1.1\r\nHost: " + host + "\r\n";
    bool userAgent = false;
    for (const QByteArray &name : request().rawHeaderList()) {
        const QByteArray lower = name.toLower();
        if (lower == "host" || lower == "connection" || lower == "content-length" || lower == "transfer-encoding") {
            continue;
        }
        const QByteArray value = request().rawHeader(name);
        if (!safeFieldPart(name) || !safeFieldPart(value)) {
            continue;
        }
        userAgent = userAgent || lower == "user-agent";
        head += name + ": " + value + "\r\n";
    }
    if (!userAgent) {
        head += "User-Agent: Mozilla/5.0\r\n";
    }
    head += "Connection: close\r\n\r\n";
    m_stage = Stage::statusLine;
    m_socket->write(head);
}

void FramedReply::receive() {
    if (m_ended || !m_socket) {
        return;
    }
    if (m_idle.interval() > 0) {
        m_idle.start();
    }
    QAbstractSocket *socket = m_socket;
    for (;;) {
        const QByteArray piece = socket->read(kReadPiece);
        if (piece.isEmpty()) {
            return;
        }
        // What was read goes; what is left (a line not yet complete) moves to the front.
        m_input.remove(0, m_inputAt);
        m_inputAt = 0;
        m_input.append(piece);
        if (!parse() || socket != m_socket) {
            return; // ended, or a redirect replaced the socket
        }
    }
}

void FramedReply::endOfStream() {
    if (m_ended || !m_socket) {
        return;
    }
    QAbstractSocket *socket = m_socket;
    receive(); // what arrived before the close
    if (m_ended || socket != m_socket) {
        return;
    }
    if (m_stage == Stage::body && m_framing == Framing::untilClose) {
        succeed();
        return;
    }
    fail(RemoteHostClosedError, m_stage == Stage::statusLine || m_stage == Stage::headerLines
                                    ? QStringLiteral("the connection closed before the response was complete")
                                    : QStringLiteral("the connection closed before the end of the body"));
}

void FramedReply::socketFailed() {
    if (m_ended || !m_socket) {
        return;
    }
    // A closed connection is reported as this error, before `disconnected`.
    if (m_socket->error() == QAbstractSocket::RemoteHostClosedError) {
        endOfStream();
        return;
    }
    fail(networkError(m_socket->error()), m_socket->errorString());
}

std::optional<QByteArray> FramedReply::takeLine() {
    const qsizetype end = m_input.indexOf('\n', m_inputAt);
    if (end < 0) {
        return std::nullopt;
    }
    qsizetype length = end - m_inputAt;
    if (length > 0 && m_input.at(end - 1) == '\r') {
        --length;
    }
    QByteArray line = m_input.mid(m_inputAt, length);
    m_inputAt = end + 1;
    return line;
}

bool FramedReply::parse() {
    for (;;) {
        const qsizetype unread = m_input.size() - m_inputAt;
        switch (m_stage) {
        case Stage::connecting:
        case Stage::done:
            return !m_ended;
        case Stage::statusLine:
        case Stage::headerLines:
        case Stage::chunkSize:
        case Stage::chunkEnd:
        case Stage::trailers: {
            const qsizetype before = m_inputAt;
            const std::optional<QByteArray> line = takeLine();
            const bool inHead = m_stage == Stage::statusLine || m_stage == Stage::headerLines;
            if (inHead) {
                m_headBytes += m_inputAt - before;
            }
            if (!line) {
                if (unread > (inHead ? kMaxHeadBytes - m_headBytes : kMaxLine)) {
                    fail(ProtocolFailure, QStringLiteral("a line of the response is too long"));
                    return false;
                }
                return true;
            }
            if (inHead && m_headBytes > kMaxHeadBytes) {
                fail(ProtocolFailure, QStringLiteral("the response head is too long"));
                return false;
            }
            if (m_stage == Stage::statusLine) {
                if (line->isEmpty()) {
                    continue; // a stray line break before the status line is tolerated
                }
                if (!parseStatusLine(*line)) {
                    return false;
                }
            } else if (m_stage == Stage::headerLines) {
                if (line->isEmpty()) {
                    if (!headersDone()) {
                        return false;
                    }
                } else if (!addFieldLine(*line, m_fields)) {
                    fail(ProtocolFailure, QStringLiteral("a malformed header line"));
                    return false;
                }
            } else if (m_stage == Stage::chunkSize) {
                const std::optional<qint64> size = parseChunkSize(*line);
                if (!size) {
                    fail(ProtocolFailure, QStringLiteral("a malformed chunk size"));
                    return false;
                }
                m_remaining = *size;
                m_stage = *size == 0 ? Stage::trailers : Stage::chunkData;
            } else if (m_stage == Stage::chunkEnd) {
                if (!line->isEmpty()) {
                    fail(ProtocolFailure, QStringLiteral("a chunk longer than its size"));
                    return false;
                }
                m_stage = Stage::chunkSize;
            } else if (line->isEmpty()) { // the end of the trailers: the body is complete
                succeed();
                return false;
            }
            break;
        }
        case Stage::body:
        case Stage::chunkData: {
            if (unread == 0) {
                return true;
            }
            const bool bounded = m_framing != Framing::untilClose;
            const qint64 count = bounded ? std::min<qint64>(unread, m_remaining) : unread;
            deliver(count);
            if (bounded) {
                m_remaining -= count;
                if (m_remaining == 0) {
                    if (m_stage == Stage::chunkData) {
                        m_stage = Stage::chunkEnd;
                    } else {
                        succeed();
                        return false;
                    }
                }
            }
            break;
        }
        }
    }
}

bool FramedReply::parseStatusLine(const QByteArray &line) {
    const std::optional<StatusLine> status = http::parseStatusLine(line);
    if (!status) {
        fail(ProtocolFailure, QStringLiteral("a malformed status line"));
        return false;
    }
    m_status = status->code;
    m_reason = status->reason;
    m_fields.clear();
    m_stage = Stage::headerLines;
    return true;
}

bool FramedReply::headersDone() {
    if (m_status >= 100 && m_status <= 199) {
        if (m_status == 101) {
            fail(ProtocolFailure, QStringLiteral("the server switched protocols"));
            return false;
        }
        m_stage = Stage::statusLine; // an interim answer; the real one follows
        return true;
    }
    const bool redirect = m_status == 301 || m_status == 302 || m_status == 303 || m_status == 307 || m_status == 308;
    const auto policy = request().attribute(QNetworkRequest::RedirectPolicyAttribute,
                                            int(QNetworkRequest::NoLessSafeRedirectPolicy));
    if (redirect && policy.toInt() != QNetworkRequest::ManualRedirectPolicy) {
        for (const auto &[name, value] : std::as_const(m_fields)) {
            if (name.compare("Location", Qt::CaseInsensitive) == 0) {
                return followRedirect();
            }
        }
    }

    const HeaderFields fields = joinRepeatedFields(m_fields);
    std::optional<QByteArray> transferCoding;
    std::optional<QByteArray> contentLength;
    for (const auto &[name, value] : std::as_const(fields)) {
        if (name.compare("Transfer-Encoding", Qt::CaseInsensitive) == 0) {
            transferCoding = value;
        } else if (name.compare("Content-Length", Qt::CaseInsensitive) == 0) {
            contentLength = value;
        }
        setRawHeader(name, value);
    }
    setAttribute(QNetworkRequest::HttpStatusCodeAttribute, m_status);
    setAttribute(QNetworkRequest::HttpReasonPhraseAttribute, m_reason);

    m_received = 0;
    m_total = -1;
    if (m_status == 204 || m_status == 304) {
        m_framing = Framing::none;
    } else if (transferCoding) {
        const QByteArrayList codings = transferCoding->split(',');
        const bool chunked = codings.last().trimmed().compare("chunked", Qt::CaseInsensitive) == 0;
        m_framing = chunked ? Framing::chunked : Framing::untilClose;
    } else if (contentLength) {
        const std::optional<qint64> length = parseContentLength(*contentLength);
        if (!length) {
            fail(ProtocolFailure, QStringLiteral("an unusable Content-Length"));
            return false;
        }
        m_total = *length;
        m_framing = *length == 0 ? Framing::none : Framing::length;
    } else {
        m_framing = Framing::untilClose;
    }
    emit metaDataChanged();
    if (m_ended) {
        return false; // the reader aborted
    }
    switch (m_framing) {
    case Framing::none:
        succeed();
        return false;
    case Framing::length:
        m_remaining = m_total;
        m_stage = Stage::body;
        return true;
    case Framing::chunked:
        m_stage = Stage::chunkSize;
        return true;
    case Framing::untilClose:
        m_stage = Stage::body;
        return true;
    }
    return true;
}

bool FramedReply::followRedirect() {
    QByteArray location;
    for (const auto &[name, value] : std::as_const(m_fields)) {
        if (name.compare("Location", Qt::CaseInsensitive) == 0) {
            location = value;
            break;
        }
    }
    const QUrl target = url().resolved(QUrl::fromEncoded(location.trimmed()));
    const auto policy = request().attribute(QNetworkRequest::RedirectPolicyAttribute,
                                            int(QNetworkRequest::NoLessSafeRedirectPolicy));
    if (!target.isValid()) {
        fail(ProtocolFailure, QStringLiteral("an invalid redirect address"));
        return false;
    }
    if (++m_redirects > request().maximumRedirectsAllowed()) {
        fail(TooManyRedirectsError, QStringLiteral("too many redirects"));
        return false;
    }
    if (!isWebScheme(target)) {
        fail(ProtocolUnknownError, QStringLiteral("a redirect to the protocol \"%1\"").arg(target.scheme()));
        return false;
    }
    const bool lessSafe = url().scheme().toLower() == QLatin1String("https") &&
                          target.scheme().toLower() == QLatin1String("http");
    if ((policy.toInt() == QNetworkRequest::NoLessSafeRedirectPolicy && lessSafe) ||
        (policy.toInt() == QNetworkRequest::SameOriginRedirectPolicy && !http::sameOrigin(url(), target))) {
        fail(InsecureRedirectError, QStringLiteral("a redirect the request's policy forbids"));
        return false;
    }
    dropSocket();
    m_fields.clear();
    setUrl(target);
    emit redirected(target);
    if (!m_ended) {
        connectTo(target);
    }
    return false;
}

void FramedReply::deliver(qint64 count) {
    m_body.remove(0, m_bodyAt);
    m_bodyAt = 0;
    m_body.append(m_input.constData() + m_inputAt, count);
    m_inputAt += count;
    m_received += count;
    m_delivered = true;
}

qint64 FramedReply::bytesAvailable() const { return (m_body.size() - m_bodyAt) + QIODevice::bytesAvailable(); }

qint64 FramedReply::readData(char *data, qint64 maxSize) {
    const qint64 count = std::min<qint64>(maxSize, m_body.size() - m_bodyAt);
    if (count <= 0) {
        return m_ended ? -1 : 0;
    }
    std::memcpy(data, m_body.constData() + m_bodyAt, size_t(count));
    m_bodyAt += count;
    return count;
}

void FramedReply::succeed() {
    m_stage = Stage::done;
    m_ended = true;
    dropSocket();
}

void FramedReply::fail(NetworkError code, const QString &detail) {
    if (m_ended) {
        return;
    }
    m_ended = true;
    dropSocket();
    setError(code, detail);
}

void FramedReply::abort() {
    if (m_ended) {
        return;
    }
    fail(OperationCanceledError, QStringLiteral("operation canceled"));
    settle();
}

void FramedReply::dropSocket() {
    m_idle.stop();
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
        m_socket->deleteLater();
        m_socket = nullptr;
    }
}

void FramedReply::settle() {
    QPointer<FramedReply> self(this);
    if (m_delivered) {
        m_delivered = false;
        emit downloadProgress(m_received, m_total);
        if (!self) {
            return;
        }
        emit readyRead();
        if (!self) {
            return;
        }
    }
    if (m_ended && !m_endSignalled) {
        m_endSignalled = true;
        setFinished(true);
        if (error() != NoError) {
            emit errorOccurred(error());
            if (!self) {
                return;
            }
        }
        emit finished();
    }
}

} // namespace quillon::http
