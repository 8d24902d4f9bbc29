#include "core/Account.h"
#include "core/AccountTexts.h"
#include "core/ServiceClient.h"
#include "core/WechatLogin.h"
#include "platform/BusyFlag.h"
#include "platform/Logging.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace quillon {
namespace {

const QString kRequestingCode = QStringLiteral("正在生成微信登录二维码…");
const QString kScanPrompt = QStringLiteral("请使用微信扫描二维码并确认登录。");
const QString kCodeFailed = QStringLiteral("微信登录二维码生成失败。");
const QString kServiceUnreachable = QStringLiteral("暂时无法连接微信登录服务，请稍后重试。");
const QString kCodeExpired = QStringLiteral("二维码已过期，请重新扫码。");
const QString kUnusableToken = QStringLiteral("登录凭证无效，请重新扫码。");
const QString kApproved = QStringLiteral("微信登录成功，正在同步管理器与商城…");
const QString kSignedOut = QStringLiteral("已退出微信账号。重新扫码即可恢复名下权益。");

// Holds `isWorking` while the login ticket is requested, and only then.
QCoro::Task<> requestLoginCode(ModelGuard<AccountHost> model) {
    const BusyFlag working(model, &AccountHost::setIsWorking);
    ServiceBody body{{QStringLiteral("deviceId"), model->account().deviceIdentifier()},
                     {QStringLiteral("deviceName"), model->account().deviceName()}};
    const QUrl endpoint = model->account().endpointURL(QStringLiteral("api/manager/login/start"));
    ServiceRequest request =
        makeServiceRequest(endpoint, body, std::nullopt, model->environment().timing.serviceRequestTimeout);
    std::optional<ServiceResult<ManagerLoginStartResponse>> result;
    try {
        auto sending = requestJSON<ManagerLoginStartResponse>(model->network(), std::move(request));
        result = co_await sending;
    } catch (const std::exception &error) {
        qCWarning(lcAccount) << "the sign-in could not start:" << error.what();
        if (!model) {
            co_return;
        }
        model->setWechatLoginMessage(kServiceUnreachable);
        co_return;
    }
    if (!model) {
        co_return;
    }
    const ManagerLoginStartResponse &reply = result->reply;
    // Only a web page: the sheet's web view must never run a script or open a local file.
    const std::optional<QUrl> page = serviceWebURL(reply.authorizeUrl);
    if (result->status <= 299 && reply.ticket && page) {
        model->setWechatAuthorizeURL(page);
        model->setShowWechatLogin(true);
        model->setWechatLoginMessage(kScanPrompt);
        model->account().pollWechatLogin(*reply.ticket, reply.expiresIn.value_or(600));
        co_return;
    }
    model->setWechatLoginMessage(reply.error.value_or(kCodeFailed));
}

// The approval of a sign-in: keep the token, show the user, sync the account, close the sheet.
QCoro::Task<> approveLogin(ModelGuard<AccountHost> model, QString token, std::optional<ManagerUser> user,
                           TaskHandle poll) {
    model->setManagerAccessToken(token);
    model->account().sessionStore().saveManagerToken(token);
    model->setIsWechatLoggedIn(true);
    model->setWechatUserName(user ? user->nickname.value_or(defaultUserNameText()) : defaultUserNameText());
    model->setWechatAvatarURL(user ? user->avatarUrl.value_or(QString()) : QString());
    model->setWechatLoginMessage(kApproved);
    auto sync = model->account().restoreWechatAccount(poll.token());
    co_await sync;
    if (!model) {
        co_return;
    }
    // A poll cancelled meanwhile by a new start or a cancel leaves the sheet and the newer
    // poll's handle alone. A sign-out keeps the handle: that sign-in is over, and so is its sheet.
    if (poll.isCancelled()) {
        if (model->loginPollingTask() == poll) {
            model->setLoginPollingTask(std::nullopt);
            model->setShowWechatLogin(false);
        }
        co_return;
    }
    if (model->loginPollingTask() == poll) {
        model->setLoginPollingTask(std::nullopt);
    }
    model->setShowWechatLogin(false);
}

/// An approval whose reply was refused only for its token (one a header cannot carry).
bool isRefusedApproval(int status, const QByteArray &data, const ReplyDecodingError &error) {
    return status <= 299 && error.key() == QLatin1String("accessToken") &&
           QJsonDocument::fromJson(data).object().value(QStringLiteral("status")).toString() == QLatin1String("approved");
}

QCoro::Task<> runLoginPoll(ModelGuard<AccountHost> model, QString ticket, qint64 polls, TaskHandle poll) {
    const std::stop_token stop = poll.token();
    for (qint64 attempt = 1; attempt <= polls; ++attempt) {
        if (stop.stop_requested()) {
            co_return;
        }
        try {
            auto wait = sleepFor(model->environment().timing.loginPollInterval, stop);
            co_await wait;
        } catch (const TaskCancelled &) {
            co_return; // the next step would end on the cancellation anyway
        }
        if (!model) {
            co_return;
        }
        ServiceRequest request =
            makeServiceRequest(model->account().endpointURL(QStringLiteral("api/manager/login/status")),
                               ServiceBody{{QStringLiteral("ticket"), ticket}}, std::nullopt,
                               model->environment().timing.serviceRequestTimeout);
        std::optional<ServiceReply> raw;
        try {
            auto sending = postServiceRequest(model->network(), std::move(request), stop);
            raw = co_await sending;
        } catch (const std::exception &error) {
            if (!model || stop.stop_requested()) {
                co_return;
            }
            // A failed poll is ignored: the next one may get through before the code expires.
            qCInfo(lcAccount) << "a sign-in status poll failed:" << error.what();
            continue;
        }
        if (!model || stop.stop_requested()) {
            co_return;
        }
        const int status = raw->httpStatus.value_or(500);
        ManagerLoginStatusResponse reply;
        try {
            reply = decodeReply<ManagerLoginStatusResponse>(raw->data);
        } catch (const ReplyDecodingError &error) {
            // The user approved, but with a token that can never be sent: waiting for the code
            // to expire would only leave the sheet asking for a scan that already happened.
            if (isRefusedApproval(status, raw->data, error)) {
                qCWarning(lcAccount) << "a sign-in approval was refused:" << error.what();
                model->setWechatLoginMessage(kUnusableToken);
                co_return;
            }
            qCInfo(lcAccount) << "an unreadable sign-in status reply was ignored:" << error.what();
            continue;
        }
        if (status == 410) {
            model->setWechatLoginMessage(reply.error.value_or(kCodeExpired));
            co_return;
        }
        if (status <= 299 && reply.status == QLatin1String("approved") && reply.accessToken) {
            auto approval = approveLogin(model, *reply.accessToken, reply.user, poll);
            co_await approval;
            co_return;
        }
    }
    if (model && !stop.stop_requested()) {
        model->setWechatLoginMessage(kCodeExpired);
    }
}

} // namespace

qint64 wechatLoginPollCount(qint64 expiresIn) { return std::clamp<qint64>(expiresIn, 30, 900) / 2; }

void Account::startWechatLogin() {
    if (m_host.isWorking()) {
        return;
    }
    m_host.setIsWorking(true);
    m_host.setWechatLoginMessage(kRequestingCode);
    requestLoginCode(guard());
}

void Account::pollWechatLogin(const QString &ticket, qint64 expiresIn) {
    if (const std::optional<TaskHandle> &running = m_host.loginPollingTask()) {
        TaskHandle(*running).cancel();
    }
    TaskHandle poll;
    m_host.setLoginPollingTask(poll);
    runLoginPoll(guard(), ticket, wechatLoginPollCount(expiresIn), poll);
}

void Account::cancelWechatLogin() {
    if (const std::optional<TaskHandle> &running = m_host.loginPollingTask()) {
        TaskHandle(*running).cancel();
    }
    m_host.setLoginPollingTask(std::nullopt);
    m_host.setShowWechatLogin(false);
}

void Account::signOutWechat() {
    if (const std::optional<TaskHandle> &running = m_host.loginPollingTask()) {
        TaskHandle(*running).cancel();
    }
    // A batch still fetching for this account stops as if the user had pressed stop.
    m_host.accountSigningOut();
    m_host.setManagerAccessToken(std::nullopt);
    sessionStore().deleteManagerToken();
    m_host.setIsWechatLoggedIn(false);
    m_host.setWechatUserName(QString());
    m_host.setWechatAvatarURL(QString());
    m_host.setAccountMemberships({});
    m_host.setAccountPurchases({});
    m_host.setWechatLoginMessage(kSignedOut);
    m_host.setActivatedProductKey(std::nullopt);
    m_host.setActivatedProduct(std::nullopt);
    m_host.setActivatedProductType(QStringLiteral("plugin"));
    m_host.setMemberProducts({});
    m_host.setMemberLibraryMessage(QString());
}

} // namespace quillon
