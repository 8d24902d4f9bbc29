#include "install/DownloadAuthorization.h"

#include "core/Account.h"
#include "core/ReplyDecoding.h"
#include "core/ServiceClient.h"

#include <QJsonObject>

namespace quillon {

std::optional<QString> DownloadAuthorizationAnswer::serviceError() const {
    try {
        const QJsonObject object = replyObject(body);
        const QJsonValue error = object.value(QStringLiteral("error"));
        if (error.isString()) {
            return error.toString();
        }
    } catch (const ReplyDecodingError &) {
        // Not a JSON object: the caller's own text stands.
    }
    return std::nullopt;
}

DownloadResponse DownloadAuthorizationAnswer::decoded() const { return decodeReply<DownloadResponse>(body); }

QCoro::Task<DownloadAuthorizationAnswer> requestDownloadAuthorization(Account &account,
                                                                      DownloadAuthorizationRequest request,
                                                                      std::stop_token token) {
    ServiceBody body{{QStringLiteral("deviceId"), account.deviceIdentifier()},
                     {QStringLiteral("deviceName"), account.deviceName()}};
    if (request.productKey) {
        body.insert(QStringLiteral("productKey"), *request.productKey);
    }
    if (request.supplement) {
        body.insert(QStringLiteral("deliveryMode"), QStringLiteral("supplement"));
    }
    if (request.membershipKey) {
        body.insert(QStringLiteral("membershipProductKey"), *request.membershipKey);
    }
    ServiceRequest sending = makeServiceRequest(account.endpointURL(QStringLiteral("api/manager/download")), body,
                                                request.bearer, account.environment().timing.serviceRequestTimeout);
    auto posting = postServiceRequest(account.network(), std::move(sending), std::move(token));
    ServiceReply reply = co_await posting;
    co_return DownloadAuthorizationAnswer{reply.httpStatus, std::move(reply.data)};
}

} // namespace quillon
