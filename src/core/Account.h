#pragma once
// The signed-in account: the service client's endpoints and this device's identity, the
// QR sign-in and sign-out, the account sync, and the membership and member library. Its
// state is published by the model (AccountHost); the model owns one Account and hands its
// operations here.

#include "core/AccountHost.h"
#include "core/ManagerSessionStore.h"

#include <QCoro/QCoroTask>

namespace quillon {

class Account final {
    Q_DISABLE_COPY_MOVE(Account)
public:
    explicit Account(AccountHost &host) : m_host(host) {}

    // Service client and device identity.

    /// `apiBase` with the non-empty segments of `path` appended.
    QUrl endpointURL(const QString &path) const;
    /// The upper-case UUID kept under "vrel.device.id", created on the first read.
    QString deviceIdentifier() const;
    /// The host name ("Mac" when none), " · Vrel-" and the identifier's first 8 characters.
    QString deviceName() const;
    /// Where the sign-in token is kept.
    ManagerSessionStore sessionStore() const;
    QNetworkAccessManager &network() const { return m_host.network(); }
    const ModelEnvironment &environment() const { return m_host.environment(); }
    /// Signed in with a token.
    bool hasWechatAccount() const;

    // QR sign-in and sign-out.
    void startWechatLogin();
    void pollWechatLogin(const QString &ticket, qint64 expiresIn);
    void cancelWechatLogin();
    void signOutWechat();

    // Account sync.
    QCoro::Task<> restoreWechatAccount(std::stop_token cancel = {});
    void refreshWechatAccount();

    // Membership and member library.
    QList<ManagerLicense> memberLibraryMemberships() const;
    QString activeMembershipType() const;
    bool hasMemberLibraryLicense() const;
    bool canInstallAllMemberProducts() const;
    QString memberLibraryTitle() const;
    QString memberLibrarySubtitle() const;
    QCoro::Task<> loadMemberLibrary();
    void selectMemberLibrary(const ManagerLicense &license);
    void reloadMemberLibrary();

private:
    ModelGuard<AccountHost> guard() const { return ModelGuard<AccountHost>(&m_host, m_host.lifetimeObject()); }

    AccountHost &m_host;
};

} // namespace quillon
