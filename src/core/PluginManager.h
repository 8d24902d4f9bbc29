#pragma once
// The application model: one object on the main thread whose published properties are
// the whole visible state of the window. Views listen to `changed()` and re-read what
// they show; a setter publishes only when the value really changes.
//
// The operations are defined in the source file of the subsystem they belong to
// (core/, install/, inventory/, update/); this header declares them all.

#include "core/ManagerSessionStore.h"
#include "core/ModelEnvironment.h"
#include "core/ReplyRecords.h"
#include "install/ActivationInstallQueue.h"
#include "install/AdministratorCommand.h"
#include "install/BatchInstallRun.h"
#include "install/NetdiskDelivery.h"
#include "install/SingleInstall.h"
#include "inventory/InstallLocations.h"
#include "inventory/InstalledPlugin.h"
#include "platform/Tasks.h"
#include "update/AppUpdateManifest.h"

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
class TemplateNameIndex;
class TemplateScanner;
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

// Declares plain model state: read and written like a property, never published.
#define QUILLON_PLAIN(Type, name, setter, ...)                                                     \
public:                                                                                            \
    const Type &name() const { return m_##name; }                                                  \
    void setter(const Type &value) { m_##name = value; }                                           \
                                                                                                   \
private:                                                                                           \
    Type m_##name{__VA_ARGS__};

namespace quillon {

/// A product just installed, as the location records name it.
struct InstalledProductName final {
    QString name;
    std::optional<QString> productKey;
};

/// Product key -> partner product code.
using PartnerCodes = QMap<QString, QString>;

class PluginManager final : public QObject {
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
    QUILLON_PUBLISHED(bool, activationInstallRunning, setActivationInstallRunning, false)
    QUILLON_PUBLISHED(bool, activationInstallFinished, setActivationInstallFinished, false)
    QUILLON_PUBLISHED(QString, activationInstallResults, setActivationInstallResults)
public:
    ActivationInstallQueue &activationInstallQueue() { return m_activationInstallQueue; }
private:
    ActivationInstallQueue m_activationInstallQueue;

    // General
    QUILLON_PUBLISHED(QString, statusMessage, setStatusMessage, QStringLiteral("登录后选择会员插件即可一键安装。"))
    QUILLON_PUBLISHED(bool, isWorking, setIsWorking, false)

    // Selected membership
    QUILLON_PUBLISHED(std::optional<QString>, activatedProductKey, setActivatedProductKey)
    QUILLON_PUBLISHED(std::optional<QString>, activatedProduct, setActivatedProduct)
    QUILLON_PUBLISHED(QString, activatedProductType, setActivatedProductType, QStringLiteral("plugin"))

    // Install feedback and location guide
    QUILLON_PUBLISHED(QString, installMessage, setInstallMessage)
    QUILLON_PUBLISHED(bool, showLocationGuide, setShowLocationGuide, false)
    QUILLON_PUBLISHED(InstallLocationSummary, locationSummary, setLocationSummary)
    QUILLON_PLAIN(bool, collectingLocations, setCollectingLocations, false)

    // Install success and cloud-drive delivery
    QUILLON_PUBLISHED(bool, showInstallSuccess, setShowInstallSuccess, false)
    QUILLON_PUBLISHED(QString, deliverySuccessTitle, setDeliverySuccessTitle, QStringLiteral("安装成功"))
    QUILLON_PUBLISHED(QString, lastInstalledProduct, setLastInstalledProduct, QStringLiteral("插件"))
    QUILLON_PUBLISHED(QString, lastDeliveryMessage, setLastDeliveryMessage)
    QUILLON_PUBLISHED(std::optional<NetdiskDelivery>, netdiskDelivery, setNetdiskDelivery)
    QUILLON_PUBLISHED(bool, showNetdiskDelivery, setShowNetdiskDelivery, false)
    QUILLON_PUBLISHED(bool, showContact, setShowContact, false)

    // Account and library
    QUILLON_PUBLISHED(QList<InstalledPlugin>, installedPlugins, setInstalledPlugins)
    QUILLON_PUBLISHED(QList<MemberProduct>, memberProducts, setMemberProducts)
    QUILLON_PUBLISHED(QList<ManagerLicense>, accountMemberships, setAccountMemberships)
    QUILLON_PUBLISHED(QList<ManagerLicense>, accountPurchases, setAccountPurchases)
    QUILLON_PUBLISHED(bool, isRestoringAccount, setIsRestoringAccount, false)
    QUILLON_PUBLISHED(QString, memberLibraryMessage, setMemberLibraryMessage)

    // Partner product codes: product key -> code
    QUILLON_PUBLISHED(PartnerCodes, claimedPartnerActivationCodes, setClaimedPartnerActivationCodes)

    // Batch install
    QUILLON_PUBLISHED(std::optional<QString>, installingProductKey, setInstallingProductKey)
public:
    // Read off the one phase of the run, so they never disagree (install/BatchInstallRun.h).
    bool isBatchInstalling() const { return m_batchInstallRun.isRunning(); }
    bool isBatchInstallPaused() const { return m_batchInstallRun.isPaused(); }
    bool canControlBatchInstall() const { return m_batchInstallRun.isControllable(); }
    /// The running batch; its changes are published.
    BatchInstallRun &batchInstallRun() { return m_batchInstallRun; }
private:
    BatchInstallRun m_batchInstallRun{[this] { Q_EMIT changed(); }};
    QUILLON_PUBLISHED(int, batchInstallTotal, setBatchInstallTotal, 0)
    QUILLON_PUBLISHED(int, batchInstallCompleted, setBatchInstallCompleted, 0)
    QUILLON_PUBLISHED(double, batchInstallProgress, setBatchInstallProgress, 0.0)
    QUILLON_PUBLISHED(QString, batchInstallStatus, setBatchInstallStatus)

    // Single-install progress card
    QUILLON_PUBLISHED(bool, showsSingleInstallProgress, setShowsSingleInstallProgress, false)
    QUILLON_PUBLISHED(double, singleInstallProgress, setSingleInstallProgress, 0.0)
    QUILLON_PUBLISHED(QString, singleInstallStage, setSingleInstallStage)
    QUILLON_PUBLISHED(bool, singleInstallShowsPercent, setSingleInstallShowsPercent, false)
    QUILLON_PUBLISHED(bool, singleInstallCompleted, setSingleInstallCompleted, false)

    // Uninstall
    QUILLON_PUBLISHED(std::optional<InstalledPlugin>, pluginToDelete, setPluginToDelete)
    QUILLON_PUBLISHED(bool, showPluginDeleteConfirmation, setShowPluginDeleteConfirmation, false)

    // Self-update
    QUILLON_PUBLISHED(std::optional<AppUpdateManifest>, availableUpdate, setAvailableUpdate)
    QUILLON_PUBLISHED(std::optional<AppUpdateManifest>, latestUpdateManifest, setLatestUpdateManifest)
    QUILLON_PUBLISHED(bool, isCheckingForUpdate, setIsCheckingForUpdate, false)
    QUILLON_PUBLISHED(bool, isInstallingUpdate, setIsInstallingUpdate, false)
    QUILLON_PUBLISHED(QString, updateMessage, setUpdateMessage)
    QUILLON_PUBLISHED(bool, showUpdateConfirmation, setShowUpdateConfirmation, false)

    // Motion runtime repair
    QUILLON_PUBLISHED(bool, isRepairingMotionRuntime, setIsRepairingMotionRuntime, false)
    QUILLON_PUBLISHED(QString, motionRepairMessage, setMotionRepairMessage)

    // WeChat sign-in
    QUILLON_PUBLISHED(bool, isWechatLoggedIn, setIsWechatLoggedIn, false)
    QUILLON_PUBLISHED(QString, wechatUserName, setWechatUserName)
    QUILLON_PUBLISHED(QString, wechatAvatarURL, setWechatAvatarURL)
    QUILLON_PUBLISHED(QString, wechatLoginMessage, setWechatLoginMessage, QStringLiteral("微信扫码登录后，自动读取会员权益。"))
    QUILLON_PUBLISHED(std::optional<QUrl>, wechatAuthorizeURL, setWechatAuthorizeURL)
    QUILLON_PUBLISHED(bool, showWechatLogin, setShowWechatLogin, false)

    // Plain state
public:
    /// The user's preferences.
    Preferences &defaults() const { return *m_environment.preferences; }
private:
    QUILLON_PLAIN(std::optional<QString>, managerAccessToken, setManagerAccessToken)
    QUILLON_PLAIN(std::optional<TaskHandle>, loginPollingTask, setLoginPollingTask)
public:
    std::optional<TaskHandle> batchInstallTask() const { return m_batchInstallRun.task(); }
private:
public:
    /// One clean-up task per handed-off package path.
    std::map<QString, TaskHandle> &packageCleanupTasks() { return m_packageCleanupTasks; }
private:
    std::map<QString, TaskHandle> m_packageCleanupTasks;
    QUILLON_PLAIN(int, singleInstallProgressCycle, setSingleInstallProgressCycle, 0)
    QUILLON_PLAIN(QList<InstalledPlugin>, allTemplatePlugins, setAllTemplatePlugins)
    QUILLON_PLAIN(bool, selectedMembershipUsesWechatAccount, setSelectedMembershipUsesWechatAccount, false)
    /// Counts the member-library loads started; only the newest one's reply is applied.
    QUILLON_PLAIN(quint64, memberLibraryLoadGeneration, setMemberLibraryLoadGeneration, 0)

public:
    /// Signed in with a token.
    bool hasWechatAccount() const { return m_isWechatLoggedIn && m_managerAccessToken.has_value(); }

    /// What the model was built with.
    const ModelEnvironment &environment() const { return m_environment; }
    /// Cancelled when the model goes: a task that waits with it ends before the model's
    /// destruction has returned (see EndingTasksAtOnce), taking its frame and files along.
    std::stop_token lifetime() const { return m_lifetime.token(); }
    QNetworkAccessManager &network() const { return *m_network; }

    // ---- Account service: sign-in, account sync, member library (core/) ----

    // Service client and device identity. Public because the tasks that use them are
    // free coroutines holding the model weakly.

    /// `apiBase` with the non-empty segments of `path` appended.
    QUrl endpointURL(const QString &path) const;
    /// The upper-case UUID kept under "vrel.device.id", created on the first read.
    QString deviceIdentifier() const;
    /// The host name ("Mac" when none), " · Vrel-" and the identifier's first 8 characters.
    QString deviceName() const;
    /// Where the sign-in token is kept.
    ManagerSessionStore sessionStore() const;

    // QR sign-in and sign-out.

    /// Requests a login ticket, opens the sign-in sheet and starts polling.
    void startWechatLogin();
    /// Replaces the running poll with one for `ticket` (the sign-in's own step; public for its task).
    void pollWechatLogin(const QString &ticket, qint64 expiresIn);
    /// Stops the poll and closes the sheet.
    void cancelWechatLogin();
    /// Forgets the token and everything that came with it.
    void signOutWechat();

    // Account sync.

    /// One sync of the account; ends early and silently when `cancel` is requested.
    QCoro::Task<> restoreWechatAccount(std::stop_token cancel = {});
    /// The sync button.
    void refreshWechatAccount();

    // Membership and member library.

    /// The account's memberships that open a member library, in order.
    QList<ManagerLicense> memberLibraryMemberships() const;
    /// Canonical type of the current membership.
    QString activeMembershipType() const;
    bool hasMemberLibraryLicense() const;
    bool canInstallAllMemberProducts() const;
    QString memberLibraryTitle() const;
    QString memberLibrarySubtitle() const;
    QString membershipLibraryTitle(const ManagerLicense &license) const;
    QString membershipLibrarySubtitle(const ManagerLicense &license) const;
    /// Loads `memberProducts` for the current membership with the account's token.
    QCoro::Task<> loadMemberLibrary();
    /// The membership picker's action.
    void selectMemberLibrary(const ManagerLicense &license);
    /// The member library's refresh action.
    void reloadMemberLibrary();

    // ---- Downloads and installs (install/) ----

    // Install records in the preferences (install/InstallRecords.cpp). The save operations
    // add to what is stored; no item is ever stored twice.
    void saveInstalledProductPaths(const QStringList &paths, const QString &productKey);
    void saveInstalledPaths(const QStringList &paths, const QString &key);
    void saveInstalledEntitlementProductKey(const QString &productKey, const QString &key);
    /// The stored list, or empty when there is none or it holds something else.
    QStringList savedInstalledProductPaths(const QString &productKey) const;
    QStringList savedInstalledPaths(const QString &key) const;
    QStringList savedInstalledEntitlementProductKeys(const QString &key) const;
    /// The product's install receipt (false when missing or not a truth value).
    bool hasInstallReceipt(const QString &productKey) const;
    /// The stored package version, as stored (nothing when missing or not text).
    std::optional<QString> savedInstalledVersion(const QString &productKey) const;
    /// Reads the stored partner product codes into `claimedPartnerActivationCodes`.
    void loadClaimedPartnerActivationCodes();
    /// Stores `code` for the product; nothing happens without a product key or a code.
    void recordClaimedPartnerActivationCode(const QString &code, const std::optional<QString> &productKey);
    bool hasClaimedPartnerActivationCode(const MemberProduct &product) const;
    /// Copies the stored code to the pasteboard and shows it in an alert.
    void showClaimedPartnerActivationCode(const MemberProduct &product);

    /// Whether a package goes to the Installer app: its file name (last component, any case)
    /// is FCP-1.pkg, FCP-2.pkg or FCP-3.pkg, or the product is one of the studio's Final Cut
    /// Pro template products (install/ProtectedTemplatePackages.cpp).
    static bool usesProtectedFcpTemplatePackage(const std::optional<QString> &productKey, const QString &fileName);

    // Privileged runs (install/PrivilegedRunners.cpp).
    /// Installs the packages in order with administrator rights, stopping at the first that
    /// fails (InstallError::installerFailed). Blocks its thread: callers run it through runBlocking.
    static void installInBackground(const QStringList &packagePaths, const PrivilegedTools &tools);
    /// Tries every package with administrator rights; the indexes of those that installed.
    /// Blocks its thread: callers run it through runBlocking.
    static QSet<int> installBatchWithResults(const QStringList &packagePaths, const PrivilegedTools &tools);
    /// Runs a prepared command (its paths quoted with shellQuoted) with administrator rights; blocks.
    void runAdministratorCommand(const QString &command);
    /// The tools this model's privileged runs use.
    PrivilegedTools privilegedTools() const;

    // One product from the member library (install/SingleInstall.cpp).
    /// A library row's install action (package, resource or cloud-drive product).
    void installMemberProduct(const MemberProduct &product);
    /// A library row's cloud-drive supplement.
    void claimMemberProductSupplement(const MemberProduct &product);
    /// Starts one run from the library; does nothing while the model is busy.
    void startDownloadAndInstall(const std::optional<QString> &productKey, const QString &productName,
                                 bool supplementalDelivery);
    /// One run: true when it ended in a delivery, a download, a hand-off or an install,
    /// false after a failure message. Cancelling `token` stops its transfers and waits.
    QCoro::Task<bool> performDownloadAndInstall(std::optional<QString> productKey, QString productName,
                                                bool supplementalDelivery, bool accountMode,
                                                std::optional<QString> authorizationScope = std::nullopt,
                                                PreparePackage preparePackage = {}, std::stop_token token = {});
    /// Hides the progress card of a completed run a moment later, unless a newer run started.
    void scheduleSingleInstallProgressDismissal();

    // The install queue (install/ActivationInstallQueue.cpp).
    /// Installs one bought product of the signed-in account through the queue.
    void installAccountPurchase(const ManagerLicense &purchase);
    bool canActivateAndInstall() const;
    /// Runs the queue's pending items, or the selected entitlement.
    void activateAndInstall();

    // Batch install of the current membership (install/BatchInstall.cpp).
    /// Confirms and starts downloading and installing everything the membership offers.
    void installAllMemberProducts();
    /// Pauses the downloads before the next item, or resumes them.
    void toggleBatchInstallPause();
    /// Stops the downloads; nothing more is installed.
    void terminateBatchInstall();
    /// Returns once the batch is not paused; throws TaskCancelled when `token` is
    /// cancelled or the model goes away meanwhile.
    static QCoro::Task<> waitWhileBatchInstallPaused(ModelGuard<PluginManager> model, std::stop_token token);

    // Packages handed to the Installer app and their clean-up (install/PackageHandOff.cpp).
    /// "Vrel 插件管理器/临时安装包" in Application Support (not created here); throws PlatformError.
    QString managedInstallerFolder() const;
    /// Opens a .pkg in the Installer app; throws InstallError::invalidPackage.
    void openPackageWithSystemInstaller(const QString &packagePath);
    /// Deletes the package once the Installer app has quit (or never showed up).
    void schedulePackageCleanupAfterSystemInstallerCloses(const QString &packagePath);
    /// Deletes the package if it lies inside the managed folder, then prunes emptied folders.
    void silentlyDeleteManagedPackage(const QString &packagePath);
    /// Removes `startingAt` and its parents while they are empty, never above `root`.
    void removeEmptyManagedInstallerFolders(const QString &startingAt, const QString &root);
    /// Removes, in the background, what earlier runs of the program left in its own places
    /// when they ended without cleaning up (install/LeftoverFiles.cpp): part files and batch
    /// folders that no running copy of the program holds.
    void removeLeftoversOfEarlierRuns();

    // ---- Installed plug-ins and install locations (inventory/) ----

    /// Scans both template trees into `allTemplatePlugins` and `installedPlugins`.
    void refreshInstalledPlugins();
    /// The paths of every scanned folder that matches the product name, in list order.
    QStringList installedPluginPaths(const QString &productName) const;
    /// A receipt, a recorded folder that still exists, or a scanned folder that matches.
    bool isProductInstalled(const MemberProduct &product) const;
    /// Installed, and the offered package version is newer than the stored one (or none is stored).
    bool isProductUpdateAvailable(const MemberProduct &product) const;

    /// Opens a collection run: an empty summary, the guide closed until the run finishes.
    void beginLocationCollection(bool isBatch);
    /// Records where a just-installed product shows up; outside a run the guide opens at once.
    void recordInstallLocation(const QString &name, const std::optional<QString> &productKey,
                               const QSet<QString> &previousPaths);
    /// The same for several products at once, from the last scan: a run that installed
    /// many products scans once and publishes once.
    void recordInstallLocationsFromLastScan(const QList<InstalledProductName> &products,
                                            const QSet<QString> &previousPaths);
    /// Closes the run, adds the restart hint and opens the guide when anything was collected.
    void finishLocationCollection();
    /// Shows where one plug-in (or, without one, every installed plug-in) is found.
    void viewInstalledLocations(const std::optional<InstalledPlugin> &plugin);

    // Uninstall (inventory/Uninstall.cpp). Both return at once and do nothing while busy.
    /// Removes one plug-in's folders with one administrator command, then rescans.
    void deletePlugin(const InstalledPlugin &plugin);
    /// Removes the plug-ins one after another, one administrator command each, then rescans.
    void deletePlugins(const QList<InstalledPlugin> &plugins);
    /// Removes the given plug-in folders with one administrator command run off the main
    /// thread. Throws UninstallRefused (nothing ran) unless every path is a plug-in folder of
    /// the template trees, what the command throws (InstallError, PlatformError), or
    /// UninstallIncomplete when a folder is still there after it.
    QCoro::Task<> removeInstalledPluginPaths(QStringList paths);

    // Motion runtime repair (inventory/MotionRuntimeRepair.cpp).
    /// Re-registers the Motion runtimes in the background unless a repair is running.
    void repairMotionPlugins();

private:
    /// Folded names of `allTemplatePlugins` and the folders each member product matches;
    /// rebuilt when either list changes.
    const TemplateNameIndex &templateNameIndex() const;
    mutable std::shared_ptr<const TemplateNameIndex> m_templateNameIndex;
    /// Lists the template trees; keeps what it made of the last listing of each category.
    std::shared_ptr<TemplateScanner> m_templateScanner;

public:

    // ---- Self-update (update/) ----

    /// Fetches the update manifest unless a check or an update install is running.
    void checkForManagerUpdate(bool silent);

private:
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
};

} // namespace quillon
