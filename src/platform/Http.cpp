#include "platform/Http.h"

#include "platform/FailureTexts.h"

namespace quillon::http {

QNetworkRequest makeRequest(const QUrl &url, std::chrono::milliseconds timeout, Redirects redirects) {
    QNetworkRequest request(url);
    request.setTransferTimeout(static_cast<int>(timeout.count()));
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         redirects == Redirects::sameOrigin ? QNetworkRequest::SameOriginRedirectPolicy
                                                            : QNetworkRequest::NoLessSafeRedirectPolicy);
    return request;
}

bool sameOrigin(const QUrl &a, const QUrl &b) {
    const auto port = [](const QUrl &url) { return url.port(url.scheme().toLower() == QLatin1String("https") ? 443 : 80); };
    return a.scheme().compare(b.scheme(), Qt::CaseInsensitive) == 0 &&
           a.host().compare(b.host(), Qt::CaseInsensitive) == 0 && port(a) == port(b);
}

namespace {

// Errors Qt derives from an HTTP status (4xx and 5xx): the reply is still a complete answer.
bool derivedFromStatus(QNetworkReply::NetworkError error) {
    const int code = static_cast<int>(error);
    return (code >= 201 && code <= 299) || (code >= 401 && code <= 499) ||
           error == QNetworkReply::ProtocolInvalidOperationError;
}

} // namespace

bool failedInTransport(const QNetworkReply &reply) {
    const QNetworkReply::NetworkError error = reply.error();
    if (error == QNetworkReply::NoError) {
        return false;
    }
    const bool hasStatus = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
    return !(hasStatus && derivedFromStatus(error));
}

NetworkFailure::NetworkFailure(QNetworkReply::NetworkError code, QString detail)
    : m_code(code), m_detail(std::move(detail)),
      m_what(QStringLiteral("network error %1: %2").arg(int(code)).arg(m_detail).toUtf8()) {}

QString NetworkFailure::description() const {
    switch (m_code) {
    case QNetworkReply::TimeoutError:
    case QNetworkReply::OperationCanceledError: // a transfer time-out aborts the reply
        return failureText(FailureKind::timedOut);
    case QNetworkReply::ConnectionRefusedError:
        return failureText(FailureKind::connectionRefused);
    case QNetworkReply::HostNotFoundError:
        return failureText(FailureKind::hostNotFound);
    case QNetworkReply::RemoteHostClosedError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::TemporaryNetworkFailureError:
        return failureText(FailureKind::connectionLost);
    case QNetworkReply::TooManyRedirectsError:
    case QNetworkReply::InsecureRedirectError:
        return failureText(FailureKind::unsafeRedirect);
    case QNetworkReply::SslHandshakeFailedError:
        return failureText(FailureKind::secureConnectionFailed);
    case QNetworkReply::ProtocolUnknownError: // a scheme this program does not download from (a redirect to file:)
        return failureText(FailureKind::unusableAddress);
    default:
        return failureText(FailureKind::networkError); // the detail is the network stack's, for the log
    }
}

void throwIfTransportFailed(const QNetworkReply &reply) {
    if (failedInTransport(reply)) {
        throw NetworkFailure(reply.error(), reply.errorString());
    }
}

} // namespace quillon::http
