#pragma once
// The one way the program builds HTTP requests and decides whether a reply failed.
//
// Every request (account service, downloads, the update check) caches nothing, sends and
// keeps no cookies and carries a transfer time-out (the longest it may go without
// traffic). Requests that carry the user's bearer token follow redirects only within
// their own origin, so the token never travels to another host.
//
// A finished reply either failed below HTTP (no complete answer: connection, time-out,
// TLS, a refused redirect, a body cut short) or is an HTTP response, whatever its status;
// an error status is the caller's to judge.

#include "platform/Failure.h"

#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

#include <chrono>

namespace quillon::http {

enum class Redirects {
    sameOrigin, ///< only to the same scheme, host and port (requests with credentials)
    noLessSafe, ///< anywhere but from https to http
};

QNetworkRequest makeRequest(const QUrl &url, std::chrono::milliseconds timeout,
                            Redirects redirects = Redirects::noLessSafe);

/// Same scheme, host and port (the scheme's default port when none is given).
bool sameOrigin(const QUrl &a, const QUrl &b);

/// True when the finished `reply` carries no complete HTTP answer.
bool failedInTransport(const QNetworkReply &reply);

/// A reply that failed below HTTP.
class NetworkFailure final : public UserFacingError {
public:
    NetworkFailure(QNetworkReply::NetworkError code, QString detail);

    QNetworkReply::NetworkError code() const { return m_code; }
    /// The network stack's own wording, for the log; the user reads `description()`.
    const QString &detail() const { return m_detail; }

    QString description() const override;
    const char *what() const noexcept override { return m_what.constData(); }

private:
    QNetworkReply::NetworkError m_code;
    QString m_detail;
    QByteArray m_what;
};

/// Throws NetworkFailure when the finished `reply` failed below HTTP.
void throwIfTransportFailed(const QNetworkReply &reply);

} // namespace quillon::http
