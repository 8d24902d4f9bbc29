#pragma once
// What the account needs of the model that publishes its state: the account's properties
// (published ones and the plain ones kept between calls), the model's network, and two
// things the account tells the rest of the program, which the model passes on to the
// installs and the inventory. The model implements it; the account's
// tasks hold it weakly (ModelGuard) and check it after every co_await.

#include "platform/Tasks.h"
#include "records/ModelEnvironment.h"
#include "records/ModelPart.h"
#include "records/ReplyRecords.h"

#include <QList>
#include <QString>
#include <QUrl>

#include <optional>
#include <stop_token>

class QNetworkAccessManager;
class QObject;

namespace quillon {

class Account;

/// The account's state that the other subsystems read: the entitlement shown and installed
/// for, the token, the library and the purchases. The install queue puts a purchase in the
/// membership's place for its run, so it sets the selection too.
class AccountState : public ModelPart {
public:
    virtual const std::optional<QString> &activatedProductKey() const = 0;
    virtual void setActivatedProductKey(const std::optional<QString> &value) = 0;
    virtual const std::optional<QString> &activatedProduct() const = 0;
    virtual void setActivatedProduct(const std::optional<QString> &value) = 0;
    virtual const QString &activatedProductType() const = 0;
    virtual void setActivatedProductType(const QString &value) = 0;
    virtual const bool &selectedMembershipUsesWechatAccount() const = 0;
    virtual void setSelectedMembershipUsesWechatAccount(const bool &value) = 0;
    virtual const std::optional<QString> &managerAccessToken() const = 0;
    virtual const QList<MemberProduct> &memberProducts() const = 0;
    virtual const QList<ManagerLicense> &accountPurchases() const = 0;

protected:
    ~AccountState() = default;
};

class AccountHost : public AccountState {
public:
    virtual const QString &statusMessage() const = 0;
    virtual void setStatusMessage(const QString &value) = 0;


    virtual void setMemberProducts(const QList<MemberProduct> &value) = 0;
    virtual const QList<ManagerLicense> &accountMemberships() const = 0;
    virtual void setAccountMemberships(const QList<ManagerLicense> &value) = 0;
    virtual void setAccountPurchases(const QList<ManagerLicense> &value) = 0;
    virtual const bool &isRestoringAccount() const = 0;
    virtual void setIsRestoringAccount(const bool &value) = 0;
    virtual const QString &memberLibraryMessage() const = 0;
    virtual void setMemberLibraryMessage(const QString &value) = 0;

    virtual const bool &isWechatLoggedIn() const = 0;
    virtual void setIsWechatLoggedIn(const bool &value) = 0;
    virtual const QString &wechatUserName() const = 0;
    virtual void setWechatUserName(const QString &value) = 0;
    virtual const QString &wechatAvatarURL() const = 0;
    virtual void setWechatAvatarURL(const QString &value) = 0;
    virtual const QString &wechatLoginMessage() const = 0;
    virtual void setWechatLoginMessage(const QString &value) = 0;
    virtual const std::optional<QUrl> &wechatAuthorizeURL() const = 0;
    virtual void setWechatAuthorizeURL(const std::optional<QUrl> &value) = 0;
    virtual const bool &showWechatLogin() const = 0;
    virtual void setShowWechatLogin(const bool &value) = 0;

    // Plain state.
    virtual void setManagerAccessToken(const std::optional<QString> &value) = 0;
    virtual const std::optional<TaskHandle> &loginPollingTask() const = 0;
    virtual void setLoginPollingTask(const std::optional<TaskHandle> &value) = 0;
    virtual const quint64 &memberLibraryLoadGeneration() const = 0;
    virtual void setMemberLibraryLoadGeneration(const quint64 &value) = 0;

    virtual QNetworkAccessManager &network() const = 0;
    virtual Account &account() = 0;

    /// The sign-in is about to go (the user signed out, or the service refused the token):
    /// work still fetching for this account stops first.
    virtual void accountSigningOut() = 0;
    /// The member library shows new products: what is installed is looked at again.
    virtual void memberProductsLoaded() = 0;

protected:
    ~AccountHost() = default;
};

} // namespace quillon
