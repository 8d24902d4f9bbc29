#pragma once
// The application model: one object on the main thread whose published properties are
// the whole visible state of the window. Views listen to `changed()` and re-read what
// they show; a setter publishes only when the value really changes.
//
// A thin front over the subsystems: it keeps every published property and implements the
// host interfaces the subsystems declare (AccountHost, InventoryHost, InstallHost,
// UpdateHost), and each operation hands its work to the subsystem object that owns it
// (Account, Inventory, Installs, UpdateCheck), held here by pointer.

#include "core/AccountHost.h"
#include "install/InstallHost.h"
#include "inventory/InventoryHost.h"
#include "platform/Tasks.h"
#include "records/AdministratorCommand.h"
#include "records/InstalledPlugin.h"
#include "records/InstallLocations.h"
#include "records/ModelEnvironment.h"
#include "records/NetdiskDelivery.h"
#include "records/PartnerCodes.h"
#include "records/ReplyRecords.h"
#include "update/AppUpdateManifest.h"
#include "update/UpdateHost.h"

#include <QList>
#include <QMap>
#include <QObject>
#include <QSet>
#include <QString>
#include <QUrl>

#include <map>
#include <memory>
#include <optional>
#include <stop_token>

class QNetworkAccessManager;

namespace quillon {
class ActivationInstallQueue;
class BatchInstallRun;
class ManagerSessionStore;
class UpdateCheck;
}

// Declares a published property: a const getter `name()`, a setter that publishes a
// change through `changed()` only when the new value differs, and the stored default.
#define QUILLON_PUBLISHED(Type, name, setter, ...)                                                 \
public:                                                                                            \
    const Type &name() const { return m_##name; }                                                  \
    void setter(const Type &value) { publish(m_##name, value); }                                   \
                                                                                                   \
private:                                                                                           \
    Type m_##name{__VA_ARGS__};

// The same for a property that a subsystem's host interface declares.
#define QUILLON_HOSTED(Type, name, setter, ...)                                                    \
public:                                                                                            \
    const Type &name() const override { return m_##name; }                                         \
    void setter(const Type &value) override { publish(m_##name, value); }                          \
                                                                                                   \
private:                                                                                           \
    Type m_##name{__VA_ARGS__};

// Declares plain model state that a subsystem's host interface declares: read and written
// like a property, never published.
#define QUILLON_PLAIN(Type, name, setter, ...)                                                     \
public:                                                                                            \
    const Type &name() const override { return m_##name; }                                         \
    void setter(const Type &value) override { m_##name = value; }                                  \
                                                                                                   \
private:                                                                                           \
    Type m_##name{__VA_ARGS__};

namespace quillon {

class PluginManager final : public QObject,
                            public AccountHost,
                            public InventoryHost,
                            public InstallHost,
                            public UpdateHost {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PluginManager)

public:
    /// Gives every property its default and nothing more: no disk, no network.
    explicit PluginManager(ModelEnvironment environment, QObject *parent = nullptr);
    ~PluginManager() override;

    /// The start-up, once: the guide preview's sample data, or the first template scan,
    /// the token and partner codes kept from earlier runs, the account restore and a
    /// silent update check. The application calls it when its window first needs the model.
    void start();

Q_SIGNALS:
    /// Some published property changed; emitted once per change, after the new value is stored.
    void changed();

private:
    // ---- Published and plain state, in declaration order ----

    // Install queue run
    QUILLON_HOSTED(bool, activationInstallRunning, setActivationInstallRunning, false)
    QUILLON_HOSTED(bool, activationInstallFinished, setActivationInstallFinished, false)
    QUILLON_HOSTED(QString, activationInstallResults, setActivationInstallResults)
public:
    /// The install queue (its items and results).
    ActivationInstallQueue &activationInstallQueue();
private:

    // General
    QUILLON_HOSTED(QString, statusMessage, setStatusMessage, QStringLiteral("登录后选择会员插件即可一键安装。"))
    QUILLON_HOSTED(bool, isWorking, setIsWorking, false)

    // Selected membership
    QUILLON_HOSTED(std::optional<QString>, activatedProductKey, setActivatedProductKey)
    QUILLON_HOSTED(std::optional<QString>, activatedProduct, setActivatedProduct)
    QUILLON_HOSTED(QString, activatedProductType, setActivatedProductType, QStringLiteral("plugin"))

    // Install feedback and location guide
    QUILLON_HOSTED(QString, installMessage, setInstallMessage)
    QUILLON_HOSTED(bool, showLocationGuide, setShowLocationGuide, false)
    QUILLON_HOSTED(InstallLocationSummary, locationSummary, setLocationSummary)
    QUILLON_PLAIN(bool, collectingLocations, setCollectingLocations, false)

    // Install success and cloud-drive delivery
    QUILLON_HOSTED(bool, showInstallSuccess, setShowInstallSuccess, false)
    QUILLON_HOSTED(QString, deliverySuccessTitle, setDeliverySuccessTitle, QStringLiteral("安装成功"))
    QUILLON_HOSTED(QString, lastInstalledProduct, setLastInstalledProduct, QStringLiteral("插件"))
    QUILLON_HOSTED(QString, lastDeliveryMessage, setLastDeliveryMessage)
    QUILLON_HOSTED(std::optional<NetdiskDelivery>, netdiskDelivery, setNetdiskDelivery)
    QUILLON_HOSTED(bool, showNetdiskDelivery, setShowNetdiskDelivery, false)
    QUILLON_PUBLISHED(bool, showContact, setShowContact, false)

    // Account and library
    QUILLON_HOSTED(QList<InstalledPlugin>, installedPlugins, setInstalledPlugins)
    QUILLON_HOSTED(QList<MemberProduct>, memberProducts, setMemberProducts)
    QUILLON_HOSTED(QList<ManagerLicense>, accountMemberships, setAccountMemberships)
    QUILLON_HOSTED(QList<ManagerLicense>, accountPurchases, setAccountPurchases)
    QUILLON_HOSTED(bool, isRestoringAccount, setIsRestoringAccount, false)
    QUILLON_HOSTED(QString, memberLibraryMessage, setMemberLibraryMessage)

    // Partner product codes: product key -> code
    QUILLON_HOSTED(PartnerCodes, claimedPartnerActivationCodes, setClaimedPartnerActivationCodes)

    // Batch install
    QUILLON_HOSTED(std::optional<QString>, installingProductKey, setInstallingProductKey)
public:
    // Read off the one phase of the run, so they never disagree (install/BatchInstallRun.h).
    bool isBatchInstalling() const;
    bool isBatchInstallPaused() const;
    bool canControlBatchInstall() const;
    /// The running batch; its changes are published.
    BatchInstallRun &batchInstallRun();
private:
    QUILLON_HOSTED(int, batchInstallTotal, setBatchInstallTotal, 0)
    QUILLON_HOSTED(int, batchInstallCompleted, setBatchInstallCompleted, 0)
    QUILLON_HOSTED(double, batchInstallProgress, setBatchInstallProgress, 0.0)
    QUILLON_HOSTED(QString, batchInstallStatus, setBatchInstallStatus)

    // Single-install progress card
    QUILLON_HOSTED(bool, showsSingleInstallProgress, setShowsSingleInstallProgress, false)
    QUILLON_HOSTED(double, singleInstallProgress, setSingleInstallProgress, 0.0)
    QUILLON_HOSTED(QString, singleInstallStage, setSingleInstallStage)
    QUILLON_HOSTED(bool, singleInstallShowsPercent, setSingleInstallShowsPercent, false)
    QUILLON_HOSTED(bool, singleInstallCompleted, setSingleInstallCompleted, false)

    // Uninstall
    QUILLON_PUBLISHED(std::optional<InstalledPlugin>, pluginToDelete, setPluginToDelete)
    QUILLON_PUBLISHED(bool, showPluginDeleteConfirmation, setShowPluginDeleteConfirmation, false)

    // Self-update
    QUILLON_HOSTED(std::optional<AppUpdateManifest>, availableUpdate, setAvailableUpdate)
    QUILLON_HOSTED(std::optional<AppUpdateManifest>, latestUpdateManifest, setLatestUpdateManifest)
    QUILLON_HOSTED(bool, isCheckingForUpdate, setIsCheckingForUpdate, false)
    QUILLON_HOSTED(bool, isInstallingUpdate, setIsInstallingUpdate, false)
    QUILLON_HOSTED(QString, updateMessage, setUpdateMessage)
    QUILLON_PUBLISHED(bool, showUpdateConfirmation, setShowUpdateConfirmation, false)

    // Motion runtime repair
    QUILLON_HOSTED(bool, isRepairingMotionRuntime, setIsRepairingMotionRuntime, false)
    QUILLON_HOSTED(QString, motionRepairMessage, setMotionRepairMessage)

    // WeChat sign-in
    QUILLON_HOSTED(bool, isWechatLoggedIn, setIsWechatLoggedIn, false)
    QUILLON_HOSTED(QString, wechatUserName, setWechatUserName)
    QUILLON_HOSTED(QString, wechatAvatarURL, setWechatAvatarURL)
    QUILLON_HOSTED(QString, wechatLoginMessage, setWechatLoginMessage, QStringLiteral("微信扫码登录后，自动读取会员权益。"))
    QUILLON_HOSTED(std::optional<QUrl>, wechatAuthorizeURL, setWechatAuthorizeURL)
    QUILLON_HOSTED(bool, showWechatLogin, setShowWechatLogin, false)

    // Plain state
public:
    /// The user's preferences.
    Preferences &defaults() const { return *m_environment.preferences; }
private:
    QUILLON_PLAIN(std::optional<QString>, managerAccessToken, setManagerAccessToken)
    QUILLON_PLAIN(std::optional<TaskHandle>, loginPollingTask, setLoginPollingTask)
public:
    std::optional<TaskHandle> batchInstallTask() const;
    /// One clean-up task per handed-off package path.
    std::map<QString, TaskHandle> &packageCleanupTasks();
private:
    QUILLON_PLAIN(int, singleInstallProgressCycle, setSingleInstallProgressCycle, 0)
    QUILLON_PLAIN(QList<InstalledPlugin>, allTemplatePlugins, setAllTemplatePlugins)
    QUILLON_PLAIN(bool, selectedMembershipUsesWechatAccount, setSelectedMembershipUsesWechatAccount, false)
    /// Counts the member-library loads started; only the newest one's reply is applied.
    QUILLON_PLAIN(quint64, memberLibraryLoadGeneration, setMemberLibraryLoadGeneration, 0)

public:
    /// Signed in with a token.
    bool hasWechatAccount() const { return m_isWechatLoggedIn && m_managerAccessToken.has_value(); }

    /// What the model was built with.
    const ModelEnvironment &environment() const override { return m_environment; }
    /// Cancelled when the model goes: a task that waits with it ends before the model's
    /// destruction has returned (see EndingTasksAtOnce), taking its frame and files along.
    std::stop_token lifetime() const override { return m_lifetime.token(); }
    QNetworkAccessManager &network() const override { return *m_network; }
    /// The model itself: every task of a subsystem ends with it.
    QObject *lifetimeObject() override { return this; }

    // ---- The subsystems that do the work ----
    Account &account() override { return *m_account; }
    Inventory &inventory() override { return *m_inventory; }
    Installs &installs() override { return *m_installs; }

    // ---- Account service: sign-in, account sync, member library (core/Account.h) ----

    QUrl endpointURL(const QString &path) const;
    QString deviceIdentifier() const;
    QString deviceName() const;
    ManagerSessionStore sessionStore() const;

    void startWechatLogin();
    void pollWechatLogin(const QString &ticket, qint64 expiresIn);
    void cancelWechatLogin();
    void signOutWechat();

    QCoro::Task<> restoreWechatAccount(std::stop_token cancel = {});
    void refreshWechatAccount();

    QList<ManagerLicense> memberLibraryMemberships() const;
    QString activeMembershipType() const;
    bool hasMemberLibraryLicense() const;
    bool canInstallAllMemberProducts() const;
    QString memberLibraryTitle() const;
    QString memberLibrarySubtitle() const;
    QString membershipLibraryTitle(const ManagerLicense &license) const;
    QString membershipLibrarySubtitle(const ManagerLicense &license) const;
    QCoro::Task<> loadMemberLibrary();
    void selectMemberLibrary(const ManagerLicense &license);
    void reloadMemberLibrary();

    // ---- Downloads and installs (install/Installs.h) ----

    // Install records in the preferences (inventory/InstallRecords.h).
    void saveInstalledProductPaths(const QStringList &paths, const QString &productKey);
    void saveInstalledPaths(const QStringList &paths, const QString &key);
    void saveInstalledEntitlementProductKey(const QString &productKey, const QString &key);
    QStringList savedInstalledProductPaths(const QString &productKey) const;
    QStringList savedInstalledPaths(const QString &key) const;
    QStringList savedInstalledEntitlementProductKeys(const QString &key) const;
    bool hasInstallReceipt(const QString &productKey) const;
    std::optional<QString> savedInstalledVersion(const QString &productKey) const;
    void loadClaimedPartnerActivationCodes();
    void recordClaimedPartnerActivationCode(const QString &code, const std::optional<QString> &productKey);
    bool hasClaimedPartnerActivationCode(const MemberProduct &product) const;
    void showClaimedPartnerActivationCode(const MemberProduct &product);

    static bool usesProtectedFcpTemplatePackage(const std::optional<QString> &productKey, const QString &fileName);

    static void installInBackground(const QStringList &packagePaths, const PrivilegedTools &tools);
    static QSet<int> installBatchWithResults(const QStringList &packagePaths, const PrivilegedTools &tools);
    void runAdministratorCommand(const QString &command);
    PrivilegedTools privilegedTools() const;

    void installMemberProduct(const MemberProduct &product);
    void claimMemberProductSupplement(const MemberProduct &product);
    void startDownloadAndInstall(const std::optional<QString> &productKey, const QString &productName,
                                 bool supplementalDelivery);
    QCoro::Task<bool> performDownloadAndInstall(std::optional<QString> productKey, QString productName,
                                                bool supplementalDelivery, bool accountMode,
                                                std::optional<QString> authorizationScope = std::nullopt,
                                                PreparePackage preparePackage = {}, std::stop_token token = {});
    void scheduleSingleInstallProgressDismissal();

    void installAccountPurchase(const ManagerLicense &purchase);
    bool canActivateAndInstall() const;
    void activateAndInstall();

    void installAllMemberProducts();
    void toggleBatchInstallPause();
    void terminateBatchInstall();
    static QCoro::Task<> waitWhileBatchInstallPaused(ModelGuard<PluginManager> model, std::stop_token token);

    QString managedInstallerFolder() const;
    void openPackageWithSystemInstaller(const QString &packagePath);
    void schedulePackageCleanupAfterSystemInstallerCloses(const QString &packagePath);
    void silentlyDeleteManagedPackage(const QString &packagePath);
    void removeEmptyManagedInstallerFolders(const QString &startingAt, const QString &root);
    void removeLeftoversOfEarlierRuns();

    // ---- Installed plug-ins and install locations (inventory/Inventory.h) ----

    void refreshInstalledPlugins();
    QStringList installedPluginPaths(const QString &productName) const;
    bool isProductInstalled(const MemberProduct &product) const;
    bool isProductUpdateAvailable(const MemberProduct &product) const;

    void beginLocationCollection(bool isBatch);
    void recordInstallLocation(const QString &name, const std::optional<QString> &productKey,
                               const QSet<QString> &previousPaths);
    void recordInstallLocationsFromLastScan(const QList<InstalledProductName> &products,
                                            const QSet<QString> &previousPaths);
    void finishLocationCollection();
    void viewInstalledLocations(const std::optional<InstalledPlugin> &plugin);

    void deletePlugin(const InstalledPlugin &plugin);
    void deletePlugins(const QList<InstalledPlugin> &plugins);
    QCoro::Task<> removeInstalledPluginPaths(QStringList paths);

    void repairMotionPlugins();

    // ---- Self-update (update/UpdateCheck.h) ----

    void checkForManagerUpdate(bool silent);

private:
    // What the subsystems tell the model.
    void accountSigningOut() override;
    void memberProductsLoaded() override;
    void batchInstallChanged() override { Q_EMIT changed(); }

    template <typename T>
    void publish(T &field, const T &value) {
        if (field == value) {
            return;
        }
        field = value;
        Q_EMIT changed();
    }

    ModelEnvironment m_environment;
    QNetworkAccessManager *m_network = nullptr;
    bool m_ownsNetwork = false;
    bool m_started = false;
    TaskHandle m_lifetime;

    // Made by the constructor, in this order; they go before the model's QObject does.
    std::unique_ptr<Account> m_account;
    std::unique_ptr<Inventory> m_inventory;
    std::unique_ptr<Installs> m_installs;
    std::unique_ptr<UpdateCheck> m_updateCheck;
};

} // namespace quillon
