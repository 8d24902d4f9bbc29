#include "model/PluginManager.h"

#include "core/Account.h"
#include "core/ManagerSessionStore.h"
#include "install/Installs.h"
#include "inventory/Inventory.h"
#include "records/MembershipTypes.h"
#include "update/UpdateCheck.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>

#include <vector>

namespace quillon {
namespace {

const QString kPreviewSingle = QStringLiteral("--preview-single");
const QString kPreviewFailure = QStringLiteral("--preview-failure");
const QString kPreviewProduct = QStringLiteral("Vrel 光影转场包");
const QString kPreviewFolder = QStringLiteral("Vrel 光影字幕");

// The sample state of the location guide preview, shaped by the launch arguments.
void showGuidePreview(PluginManager &model, const QStringList &arguments) {
    InstallLocationSummary summary = InstallLocationSummary::preview();
    if (arguments.contains(kPreviewSingle)) {
        summary = InstallLocationSummary();
        summary.record(kPreviewProduct, {InstallLocationEntry{FCPLocation::titles, kPreviewFolder}});
    }
    if (arguments.contains(kPreviewFailure)) {
        summary.failures = QStringList{kPreviewProduct + QStringLiteral("：安装未完成，请重试。")};
    }
    QList<InstalledPlugin> plugins;
    for (const InstallLocationEntry &entry : summary.entries) {
        plugins.append(InstalledPlugin{rawValue(entry.category), entry.folder, {}});
    }
    model.setLocationSummary(summary);
    model.setInstalledPlugins(plugins);
}

} // namespace

PluginManager::PluginManager(ModelEnvironment environment, QObject *parent)
    : QObject(parent), m_environment(std::move(environment)) {
    Q_ASSERT(m_environment.preferences);
    // Every request sets its own time-out, cache, cookie and redirect rules (platform/Http.h).
    m_ownsNetwork = !m_environment.network;
    m_network = m_ownsNetwork ? new QNetworkAccessManager(this) : m_environment.network;
    m_account = std::make_unique<Account>(*this);
    m_inventory = std::make_unique<Inventory>(*this);
    m_installs = std::make_unique<Installs>(*this);
    m_updateCheck = std::make_unique<UpdateCheck>(*this);
}

void PluginManager::start() {
    if (m_started) {
        return;
    }
    m_started = true;

    // The location guide preview shows sample data and starts nothing.
    if (m_environment.isGuidePreview) {
        showGuidePreview(*this, m_environment.arguments);
        return;
    }

    refreshInstalledPlugins();
    removeLeftoversOfEarlierRuns();

    // The token kept from an earlier run; the restore task decides whether it still signs in.
    m_managerAccessToken = sessionStore().readManagerToken();
    loadClaimedPartnerActivationCodes();

    if (m_managerAccessToken) {
        restoreWechatAccount(lifetime());
    }
    checkForManagerUpdate(true);
}

PluginManager::~PluginManager() {
    // Long-lived background work ends with the model, in this order, and so does every other
    // task the model started. They are cancelled once every weak hold on the model has become
    // null (QObject::destroyed), so the tasks woken at once see it gone and touch nothing of
    // it: they unwind there and then, and the files of a run go with them, whether or not
    // the event loop ever turns again.
    std::vector<TaskHandle> ending;
    if (m_loginPollingTask) {
        ending.push_back(*m_loginPollingTask);
    }
    if (std::optional<TaskHandle> batch = m_installs->batchInstallRun().task()) {
        ending.push_back(*batch);
    }
    for (auto &[path, task] : m_installs->packageCleanupTasks()) {
        ending.push_back(task);
    }
    ending.push_back(m_lifetime);
    const QPointer<QNetworkAccessManager> network = m_ownsNetwork ? m_network : nullptr;
    connect(this, &QObject::destroyed, [ending, network] {
        {
            const EndingTasksAtOnce now;
            for (TaskHandle handle : ending) {
                handle.cancel();
            }
        }
        // A request made without a cancellable token ends with its reply; the tasks it wakes
        // (from inside the reply's `finished`) find the model gone. The manager and its
        // replies go with the model's children right after.
        if (network) {
            for (QNetworkReply *reply : network->findChildren<QNetworkReply *>()) {
                if (reply->isRunning()) {
                    reply->abort();
                }
            }
        }
    });
}

// ---- What the subsystems tell the model ----

void PluginManager::accountSigningOut() { m_installs->terminateBatchInstall(); }

void PluginManager::memberProductsLoaded() { m_inventory->refreshInstalledPlugins(); }

// ---- State kept by the subsystems ----

ActivationInstallQueue &PluginManager::activationInstallQueue() { return m_installs->activationInstallQueue(); }
bool PluginManager::isBatchInstalling() const { return m_installs->batchInstallRun().isRunning(); }
bool PluginManager::isBatchInstallPaused() const { return m_installs->batchInstallRun().isPaused(); }
bool PluginManager::canControlBatchInstall() const { return m_installs->batchInstallRun().isControllable(); }
BatchInstallRun &PluginManager::batchInstallRun() { return m_installs->batchInstallRun(); }
std::optional<TaskHandle> PluginManager::batchInstallTask() const { return m_installs->batchInstallRun().task(); }
std::map<QString, TaskHandle> &PluginManager::packageCleanupTasks() { return m_installs->packageCleanupTasks(); }

// ---- The account ----

QUrl PluginManager::endpointURL(const QString &path) const { return m_account->endpointURL(path); }
QString PluginManager::deviceIdentifier() const { return m_account->deviceIdentifier(); }
QString PluginManager::deviceName() const { return m_account->deviceName(); }
ManagerSessionStore PluginManager::sessionStore() const { return m_account->sessionStore(); }
void PluginManager::startWechatLogin() { m_account->startWechatLogin(); }
void PluginManager::pollWechatLogin(const QString &ticket, qint64 expiresIn) {
    m_account->pollWechatLogin(ticket, expiresIn);
}
void PluginManager::cancelWechatLogin() { m_account->cancelWechatLogin(); }
void PluginManager::signOutWechat() { m_account->signOutWechat(); }
QCoro::Task<> PluginManager::restoreWechatAccount(std::stop_token cancel) {
    return m_account->restoreWechatAccount(std::move(cancel));
}
void PluginManager::refreshWechatAccount() { m_account->refreshWechatAccount(); }
QList<ManagerLicense> PluginManager::memberLibraryMemberships() const { return m_account->memberLibraryMemberships(); }
QString PluginManager::activeMembershipType() const { return m_account->activeMembershipType(); }
bool PluginManager::hasMemberLibraryLicense() const { return m_account->hasMemberLibraryLicense(); }
bool PluginManager::canInstallAllMemberProducts() const { return m_account->canInstallAllMemberProducts(); }
QString PluginManager::memberLibraryTitle() const { return m_account->memberLibraryTitle(); }
QString PluginManager::memberLibrarySubtitle() const { return m_account->memberLibrarySubtitle(); }
QString PluginManager::membershipLibraryTitle(const ManagerLicense &license) const {
    return membershipLibraryTitleFor(canonicalMembershipType(license));
}
QString PluginManager::membershipLibrarySubtitle(const ManagerLicense &license) const {
    return membershipLibrarySubtitleFor(canonicalMembershipType(license));
}
QCoro::Task<> PluginManager::loadMemberLibrary() { return m_account->loadMemberLibrary(); }
void PluginManager::selectMemberLibrary(const ManagerLicense &license) { m_account->selectMemberLibrary(license); }
void PluginManager::reloadMemberLibrary() { m_account->reloadMemberLibrary(); }

// ---- The installs ----

void PluginManager::saveInstalledProductPaths(const QStringList &paths, const QString &productKey) {
    m_inventory->records().saveInstalledProductPaths(paths, productKey);
}
void PluginManager::saveInstalledPaths(const QStringList &paths, const QString &key) {
    m_inventory->records().saveInstalledPaths(paths, key);
}
void PluginManager::saveInstalledEntitlementProductKey(const QString &productKey, const QString &key) {
    m_inventory->records().saveInstalledEntitlementProductKey(productKey, key);
}
QStringList PluginManager::savedInstalledProductPaths(const QString &productKey) const {
    return m_inventory->records().savedInstalledProductPaths(productKey);
}
QStringList PluginManager::savedInstalledPaths(const QString &key) const {
    return m_inventory->records().savedInstalledPaths(key);
}
QStringList PluginManager::savedInstalledEntitlementProductKeys(const QString &key) const {
    return m_inventory->records().savedInstalledEntitlementProductKeys(key);
}
bool PluginManager::hasInstallReceipt(const QString &productKey) const {
    return m_inventory->records().hasInstallReceipt(productKey);
}
std::optional<QString> PluginManager::savedInstalledVersion(const QString &productKey) const {
    return m_inventory->records().savedInstalledVersion(productKey);
}
void PluginManager::loadClaimedPartnerActivationCodes() { m_installs->loadClaimedPartnerActivationCodes(); }
void PluginManager::recordClaimedPartnerActivationCode(const QString &code, const std::optional<QString> &productKey) {
    m_installs->recordClaimedPartnerActivationCode(code, productKey);
}
bool PluginManager::hasClaimedPartnerActivationCode(const MemberProduct &product) const {
    return m_installs->hasClaimedPartnerActivationCode(product);
}
void PluginManager::showClaimedPartnerActivationCode(const MemberProduct &product) {
    m_installs->showClaimedPartnerActivationCode(product);
}
bool PluginManager::usesProtectedFcpTemplatePackage(const std::optional<QString> &productKey, const QString &fileName) {
    return Installs::usesProtectedFcpTemplatePackage(productKey, fileName);
}
void PluginManager::installInBackground(const QStringList &packagePaths, const PrivilegedTools &tools) {
    Installs::installInBackground(packagePaths, tools);
}
QSet<int> PluginManager::installBatchWithResults(const QStringList &packagePaths, const PrivilegedTools &tools) {
    return Installs::installBatchWithResults(packagePaths, tools);
}
void PluginManager::runAdministratorCommand(const QString &command) { m_installs->runAdministratorCommand(command); }
PrivilegedTools PluginManager::privilegedTools() const { return m_installs->privilegedTools(); }
void PluginManager::installMemberProduct(const MemberProduct &product) { m_installs->installMemberProduct(product); }
void PluginManager::claimMemberProductSupplement(const MemberProduct &product) {
    m_installs->claimMemberProductSupplement(product);
}
void PluginManager::startDownloadAndInstall(const std::optional<QString> &productKey, const QString &productName,
                                            bool supplementalDelivery) {
    m_installs->startDownloadAndInstall(productKey, productName, supplementalDelivery);
}
QCoro::Task<bool> PluginManager::performDownloadAndInstall(std::optional<QString> productKey, QString productName,
                                                           bool supplementalDelivery, bool accountMode,
                                                           std::optional<QString> authorizationScope,
                                                           PreparePackage preparePackage, std::stop_token token) {
    return m_installs->performDownloadAndInstall(std::move(productKey), std::move(productName), supplementalDelivery,
                                                 accountMode, std::move(authorizationScope), std::move(preparePackage),
                                                 std::move(token));
}
void PluginManager::scheduleSingleInstallProgressDismissal() { m_installs->scheduleSingleInstallProgressDismissal(); }
void PluginManager::installAccountPurchase(const ManagerLicense &purchase) {
    m_installs->installAccountPurchase(purchase);
}
bool PluginManager::canActivateAndInstall() const { return m_installs->canActivateAndInstall(); }
void PluginManager::activateAndInstall() { m_installs->activateAndInstall(); }
void PluginManager::installAllMemberProducts() { m_installs->installAllMemberProducts(); }
void PluginManager::toggleBatchInstallPause() { m_installs->toggleBatchInstallPause(); }
void PluginManager::terminateBatchInstall() { m_installs->terminateBatchInstall(); }
QCoro::Task<> PluginManager::waitWhileBatchInstallPaused(ModelGuard<PluginManager> model, std::stop_token token) {
    return Installs::waitWhileBatchInstallPaused(ModelGuard<InstallHost>(model.get(), model.owner()), std::move(token));
}
QString PluginManager::managedInstallerFolder() const { return m_installs->managedInstallerFolder(); }
void PluginManager::openPackageWithSystemInstaller(const QString &packagePath) {
    m_installs->openPackageWithSystemInstaller(packagePath);
}
void PluginManager::schedulePackageCleanupAfterSystemInstallerCloses(const QString &packagePath) {
    m_installs->schedulePackageCleanupAfterSystemInstallerCloses(packagePath);
}
void PluginManager::silentlyDeleteManagedPackage(const QString &packagePath) {
    m_installs->silentlyDeleteManagedPackage(packagePath);
}
void PluginManager::removeEmptyManagedInstallerFolders(const QString &startingAt, const QString &root) {
    m_installs->removeEmptyManagedInstallerFolders(startingAt, root);
}
void PluginManager::removeLeftoversOfEarlierRuns() { m_installs->removeLeftoversOfEarlierRuns(); }

// ---- The inventory ----

void PluginManager::refreshInstalledPlugins() { m_inventory->refreshInstalledPlugins(); }
QStringList PluginManager::installedPluginPaths(const QString &productName) const {
    return m_inventory->installedPluginPaths(productName);
}
bool PluginManager::isProductInstalled(const MemberProduct &product) const {
    return m_inventory->isProductInstalled(product);
}
bool PluginManager::isProductUpdateAvailable(const MemberProduct &product) const {
    return m_inventory->isProductUpdateAvailable(product);
}
void PluginManager::beginLocationCollection(bool isBatch) { m_inventory->beginLocationCollection(isBatch); }
void PluginManager::recordInstallLocation(const QString &name, const std::optional<QString> &productKey,
                                          const QSet<QString> &previousPaths) {
    m_inventory->recordInstallLocation(name, productKey, previousPaths);
}
void PluginManager::recordInstallLocationsFromLastScan(const QList<InstalledProductName> &products,
                                                       const QSet<QString> &previousPaths) {
    m_inventory->recordInstallLocationsFromLastScan(products, previousPaths);
}
void PluginManager::finishLocationCollection() { m_inventory->finishLocationCollection(); }
void PluginManager::viewInstalledLocations(const std::optional<InstalledPlugin> &plugin) {
    m_inventory->viewInstalledLocations(plugin);
}
void PluginManager::deletePlugin(const InstalledPlugin &plugin) { m_inventory->deletePlugin(plugin); }
void PluginManager::deletePlugins(const QList<InstalledPlugin> &plugins) { m_inventory->deletePlugins(plugins); }
QCoro::Task<> PluginManager::removeInstalledPluginPaths(QStringList paths) {
    return m_inventory->removeInstalledPluginPaths(std::move(paths));
}
void PluginManager::repairMotionPlugins() { m_inventory->repairMotionPlugins(); }

// ---- The update check ----

void PluginManager::checkForManagerUpdate(bool silent) { m_updateCheck->checkForManagerUpdate(silent); }

} // namespace quillon
