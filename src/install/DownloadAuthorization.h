#pragma once
// The download authorisation: the account service's answer to "may this device fetch
// this product", shared by the single install, the install queue and the batch install.
// It is a service request like any other (POST of a flat JSON object of strings, the
// fixed headers, no cache), but the callers read its status and body themselves, since
// each words a refusal its own way.

#include "platform/Tasks.h"
#include "records/ReplyRecords.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <stop_token>

namespace quillon {

class Account;

/// What one authorisation asks for. Keys without a value are not sent.
struct DownloadAuthorizationRequest final {
    std::optional<QString> productKey;
    /// The product's supplemental cloud-drive content ("deliveryMode": "supplement").
    bool supplement = false;
    /// Sent as "membershipProductKey".
    std::optional<QString> membershipKey;
    /// The account's token ("Authorization: Bearer …"); none outside account mode.
    std::optional<QString> bearer;
};

/// How the service answered.
struct DownloadAuthorizationAnswer final {
    /// Absent when the response is not an HTTP response.
    std::optional<int> httpStatus;
    QByteArray body;

    /// The "error" text of the body when it is a JSON object carrying one (refusals).
    std::optional<QString> serviceError() const;
    /// The body as a DownloadResponse; throws ReplyDecodingError.
    DownloadResponse decoded() const;
};

/// Posts "api/manager/download" with the device identity and the request's keys. Throws
/// http::NetworkFailure when no answer came, TaskCancelled when `token` is cancelled or
/// the account's network goes away meanwhile. The account is read only before the request
/// leaves; the caller checks that the model is still there afterwards.
QCoro::Task<DownloadAuthorizationAnswer> requestDownloadAuthorization(Account &account,
                                                                      DownloadAuthorizationRequest request,
                                                                      std::stop_token token = {});

} // namespace quillon
