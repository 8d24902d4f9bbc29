#pragma once
// Downloads and installs: one product from the member library, the install queue of an
// entitlement or a purchase, the batch install of a membership, the packages handed to the
// Installer app and their clean-up, what earlier runs left behind, the partner product
// codes and the privileged runners. Its state is published by the model (InstallHost); the
// model owns one Installs and hands its operations here. It acts for the account and asks
// the inventory, both reached through the host.

#include "core/Account.h"
#include "install/ActivationInstallQueue.h"
#include "install/BatchInstallRun.h"
#include "install/InstallHost.h"
#include "inventory/Inventory.h"
#include "platform/Tasks.h"
#include "records/AdministratorCommand.h"

#include <QCoro/QCoroTask>
#include <QSet>
#include <QStringList>

#include <map>
#include <optional>
#include <stop_token>

namespace quillon {

class Installs final {
    Q_DISABLE_COPY_MOVE(Installs)
public:
    explicit Installs(InstallHost &host);

    ActivationInstallQueue &activationInstallQueue() { return m_activationInstallQueue; }
    const ActivationInstallQueue &activationInstallQueue() const { return m_activationInstallQueue; }
    BatchInstallRun &batchInstallRun() { return m_batchInstallRun; }
    const BatchInstallRun &batchInstallRun() const { return m_batchInstallRun; }
    /// One clean-up task per handed-off package path.
    std::map<QString, TaskHandle> &packageCleanupTasks() { return m_packageCleanupTasks; }

    // Partner product codes (install/PartnerCodes.cpp).
    void loadClaimedPartnerActivationCodes();
    void recordClaimedPartnerActivationCode(const QString &code, const std::optional<QString> &productKey);
    bool hasClaimedPartnerActivationCode(const MemberProduct &product) const;
    void showClaimedPartnerActivationCode(const MemberProduct &product);

    /// Whether a package goes to the Installer app (install/ProtectedTemplatePackages.cpp).
    static bool usesProtectedFcpTemplatePackage(const std::optional<QString> &productKey, const QString &fileName);

    // Privileged runs (install/PrivilegedRunners.cpp). The two static ones block their thread.
    static void installInBackground(const QStringList &packagePaths, const PrivilegedTools &tools);
    static QSet<int> installBatchWithResults(const QStringList &packagePaths, const PrivilegedTools &tools);
    void runAdministratorCommand(const QString &command);
    PrivilegedTools privilegedTools() const;

    // One product from the member library (install/SingleInstall.cpp).
    void installMemberProduct(const MemberProduct &product);
    void claimMemberProductSupplement(const MemberProduct &product);
    void startDownloadAndInstall(const std::optional<QString> &productKey, const QString &productName,
                                 bool supplementalDelivery);
    QCoro::Task<bool> performDownloadAndInstall(std::optional<QString> productKey, QString productName,
                                                bool supplementalDelivery, bool accountMode,
                                                std::optional<QString> authorizationScope = std::nullopt,
                                                PreparePackage preparePackage = {}, std::stop_token token = {});
    void scheduleSingleInstallProgressDismissal();

    // The install queue (install/ActivationInstallQueue.cpp).
    void installAccountPurchase(const ManagerLicense &purchase);
    bool canActivateAndInstall() const;
    void activateAndInstall();

    // Batch install of the current membership (install/BatchInstall.cpp).
    void installAllMemberProducts();
    void toggleBatchInstallPause();
    void terminateBatchInstall();
    /// Returns once the batch is not paused; throws TaskCancelled when `token` is
    /// cancelled or the model goes away meanwhile.
    static QCoro::Task<> waitWhileBatchInstallPaused(ModelGuard<InstallHost> model, std::stop_token token);

    // Packages handed to the Installer app and their clean-up (install/PackageHandOff.cpp).
    QString managedInstallerFolder() const;
    void openPackageWithSystemInstaller(const QString &packagePath);
    void schedulePackageCleanupAfterSystemInstallerCloses(const QString &packagePath);
    void silentlyDeleteManagedPackage(const QString &packagePath);
    void removeEmptyManagedInstallerFolders(const QString &startingAt, const QString &root);
    /// What earlier runs left in the program's own places (install/LeftoverFiles.cpp).
    void removeLeftoversOfEarlierRuns();

private:
    ModelGuard<InstallHost> guard() const { return ModelGuard<InstallHost>(&m_host, m_host.lifetimeObject()); }

    InstallHost &m_host;
    ActivationInstallQueue m_activationInstallQueue;
    BatchInstallRun m_batchInstallRun;
    std::map<QString, TaskHandle> m_packageCleanupTasks;
};

} // namespace quillon
