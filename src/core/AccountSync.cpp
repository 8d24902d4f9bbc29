#include "core/Account.h"
#include "core/AccountTexts.h"
#include "core/ServiceClient.h"
#include "platform/BusyFlag.h"
#include "platform/Logging.h"
#include "records/MembershipTypes.h"

namespace quillon {
namespace {

const QString kUnreachable = QStringLiteral("微信账户暂时无法连接，可点击“同步”重试。");
const QString kReadFailed = QStringLiteral("微信账户权益读取失败。");
const QString kSynced = QStringLiteral("管理器与商城已同步登录。");
const QString kConnected = QStringLiteral("微信账户已连接。");
const QString kResyncing = QStringLiteral("正在重新同步微信账户与会员权益…");
constexpr int kAttempts = 3;

// A sync that outlived its token (sign-out, or a new sign-in with another token)
// must not touch the account any more.
bool tokenStillCurrent(const ModelGuard<AccountHost> &model, const QString &token) {
    return model && model->managerAccessToken() == token;
}

// Step 7 of the reply: the membership to show.
std::optional<ManagerLicense> chooseMembership(const QList<ManagerLicense> &memberships,
                                               const std::optional<QString> &current,
                                               const std::optional<ManagerLicense> &single) {
    for (const ManagerLicense &license : memberships) {
        if (license.productKey == current) {
            return license;
        }
    }
    if (!memberships.isEmpty()) {
        return memberships.first();
    }
    return single;
}

QCoro::Task<> syncAccount(ModelGuard<AccountHost> model, QString token, std::stop_token cancel) {
    // Each sync holds the flag for itself; overlapping syncs each lower it when they end.
    const BusyFlag restoring(model, &AccountHost::setIsRestoringAccount);

    std::optional<ServiceResult<ManagerAccountResponse>> result;
    for (int attempt = 1; attempt <= kAttempts && !result; ++attempt) {
        ServiceBody body{{QStringLiteral("deviceId"), model->account().deviceIdentifier()},
                         {QStringLiteral("deviceName"), model->account().deviceName()}};
        try {
            const QUrl endpoint = model->account().endpointURL(QStringLiteral("api/manager/account"));
            ServiceRequest request =
                makeServiceRequest(endpoint, body, token, model->environment().timing.serviceRequestTimeout);
            auto sending = requestJSON<ManagerAccountResponse>(model->network(), std::move(request), cancel);
            result = co_await sending;
        } catch (const std::exception &error) {
            // Retried below; the user hears of it only after the last attempt.
            qCWarning(lcAccount) << "account sync attempt" << attempt << "failed:" << error.what();
        }
        if (!model) {
            co_return;
        }
        if (cancel.stop_requested() || !tokenStillCurrent(model, token)) {
            co_return;
        }
        if (result) {
            break;
        }
        if (attempt == kAttempts) {
            model->setWechatLoginMessage(kUnreachable);
            co_return;
        }
        try {
            auto wait = sleepFor(model->environment().timing.accountRetryDelay, cancel);
            co_await wait;
        } catch (const TaskCancelled &) {
            // a cancelled wait is cut short; the check below ends the sync
        }
        if (!model) {
            co_return;
        }
        if (cancel.stop_requested() || !tokenStillCurrent(model, token)) {
            co_return;
        }
    }

    const ManagerAccountResponse &reply = result->reply;
    if (result->status > 299) {
        if (result->status == 401) {
            // Signed out as by the button: a batch still fetching for this account stops.
            model->accountSigningOut();
            model->setManagerAccessToken(std::nullopt);
            model->account().sessionStore().deleteManagerToken();
            model->setIsWechatLoggedIn(false);
            model->setAccountPurchases({});
            model->setAccountMemberships({});
        }
        model->setWechatLoginMessage(reply.error.value_or(kReadFailed));
        co_return;
    }

    model->setIsWechatLoggedIn(true);
    model->setWechatUserName(reply.user ? reply.user->nickname.value_or(defaultUserNameText()) : defaultUserNameText());
    model->setWechatAvatarURL(reply.user ? reply.user->avatarUrl.value_or(QString()) : QString());

    QList<ManagerLicense> records;
    if (reply.memberships) {
        records = *reply.memberships;
    } else if (reply.membership) {
        records = {*reply.membership};
    }
    const QList<ManagerLicense> purchases = AccountPurchaseList::unique(records);
    QList<ManagerLicense> memberships;
    for (const ManagerLicense &license : purchases) {
        if (isMemberLibraryType(canonicalMembershipType(license))) {
            memberships.append(license);
        }
    }
    model->setAccountPurchases(purchases);
    model->setAccountMemberships(memberships);

    const std::optional<ManagerLicense> chosen =
        chooseMembership(memberships, model->activatedProductKey(), reply.membership);
    if (!chosen) {
        model->setWechatLoginMessage(kConnected);
        model->setActivatedProductKey(std::nullopt);
        model->setActivatedProduct(std::nullopt);
        model->setActivatedProductType(QStringLiteral("plugin"));
        model->setMemberProducts({});
        co_return;
    }
    model->setSelectedMembershipUsesWechatAccount(true);
    model->setActivatedProductKey(chosen->productKey);
    model->setActivatedProduct(chosen->productName);
    model->setActivatedProductType(canonicalMembershipType(*chosen));
    model->setWechatLoginMessage(kSynced);
    model->setStatusMessage(kSynced);
    if (model->account().hasMemberLibraryLicense()) {
        auto load = model->account().loadMemberLibrary();
        co_await load;
    }
}

QCoro::Task<> runRefresh(ModelGuard<AccountHost> model) {
    auto sync = model->account().restoreWechatAccount();
    co_await sync;
}

} // namespace

QCoro::Task<> Account::restoreWechatAccount(std::stop_token cancel) {
    const std::optional<QString> &token = m_host.managerAccessToken();
    if (!token) {
        return []() -> QCoro::Task<> { co_return; }();
    }
    // A sync nobody can cancel still ends with the model.
    return syncAccount(guard(), *token, cancel.stop_possible() ? std::move(cancel) : m_host.lifetime());
}

void Account::refreshWechatAccount() {
    if (!m_host.managerAccessToken()) {
        m_host.setWechatLoginMessage(signInFirstText());
        return;
    }
    m_host.setWechatLoginMessage(kResyncing);
    runRefresh(guard());
}

} // namespace quillon
