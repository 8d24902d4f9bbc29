#pragma once
// The one request shape of the account service: a POST of a flat JSON object of
// strings, "Content-Type: application/json", "Cache-Control: no-store", an optional
// bearer token, a time-out and no caching. The library and download requests build
// their request here too and look at the reply themselves; the sign-in and account
// requests go through `requestJSON`, which decodes the body before the status.

#include "core/BearerToken.h"
#include "core/ReplyDecoding.h"
#include "platform/Failure.h"
#include "platform/Http.h"
#include "platform/Tasks.h"

#include <QByteArray>
#include <QMap>
#include <QNetworkRequest>
#include <QString>
#include <QUrl>

#include <chrono>
#include <optional>
#include <stop_token>

class QNetworkAccessManager;

namespace quillon {

/// A request body: keys without a value are left out, never sent empty.
using ServiceBody = QMap<QString, QString>;

/// `base` with every non-empty segment of `path` appended as one path component.
QUrl endpointURL(const QUrl &base, const QString &path);

/// A request ready to send.
struct ServiceRequest final {
    QNetworkRequest request;
    QByteArray body; ///< the compact JSON object
    /// Where the request may be redirected; postServiceRequest follows redirects itself.
    http::Redirects redirects = http::Redirects::noLessSafe;
};

/// A bearer token that must not be sent (see isUsableBearerToken).
class UnusableTokenError final : public UserFacingError {
public:
    QString description() const override { return QStringLiteral("登录凭据无效，请重新扫码登录。"); }
    const char *what() const noexcept override { return "bearer token with characters a header cannot carry"; }
};

/// Builds the request: POST headers, bearer (an empty token still counts as present),
/// time-out, no cache, compact JSON body of strings. A request with a bearer token follows
/// redirects only within its own origin. Throws UnusableTokenError for a token that
/// could not be sent safely.
ServiceRequest makeServiceRequest(const QUrl &url, const ServiceBody &body, const std::optional<QString> &bearer,
                                  std::chrono::milliseconds timeout);

/// The whole reply of one request.
struct ServiceReply final {
    QByteArray data;
    /// The HTTP status; absent when the response is not an HTTP response.
    std::optional<int> httpStatus;
};

/// Posts `request` and waits for the whole reply. Throws http::NetworkFailure when no
/// complete reply came, TaskCancelled when `token` is cancelled or the network stack
/// goes away meanwhile. An HTTP error status is a reply, not a failure.
QCoro::Task<ServiceReply> postServiceRequest(QNetworkAccessManager &network, ServiceRequest request,
                                             std::stop_token token = {});

/// A decoded reply and its HTTP status (500 for a response that is not HTTP).
template <typename T>
struct ServiceResult final {
    T reply;
    int status = 0;
};

/// Sends `request` and decodes the body as `T` before the status is looked at: an
/// undecodable body throws ReplyDecodingError whatever the status.
template <typename T>
QCoro::Task<ServiceResult<T>> requestJSON(QNetworkAccessManager &network, ServiceRequest request,
                                          std::stop_token token = {}) {
    auto sending = postServiceRequest(network, std::move(request), std::move(token));
    ServiceReply raw = co_await sending;
    T decoded = decodeReply<T>(raw.data);
    co_return ServiceResult<T>{std::move(decoded), raw.httpStatus.value_or(500)};
}

/// A URL the service hands out (a sign-in page, a package, a cloud-drive share), when it
/// is an absolute http or https URL with a host, parsed strictly; nothing otherwise (a
/// file: URL, a script, a relative path, plain words).
std::optional<QUrl> serviceWebURL(const std::optional<QString> &text);

/// The device's display name: the host name ("Mac" when empty), " · Vrel-" and the
/// first 8 characters of the identifier (all of it when shorter).
QString deviceNameFor(const QString &hostName, const QString &identifier);

} // namespace quillon
