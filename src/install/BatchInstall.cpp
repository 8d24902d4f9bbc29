// Batch install of the current membership: one confirmation, the packages fetched one
// after another (pause and stop work while they are), one administrator prompt for all
// ordinary packages, protected template packages handed to the Installer app, and one
// summary.

#include "core/ServiceClient.h"
#include "install/BatchInstallPlan.h"
#include "install/DownloadAuthorization.h"
#include "install/Installs.h"
#include "install/ProgressDownload.h"
#include "install/RunLock.h"
#include "inventory/InstallRecords.h"
#include "platform/BusyFlag.h"
#include "platform/Failure.h"
#include "platform/Files.h"
#include "platform/Logging.h"
#include "records/InstallError.h"
#include "records/MembershipTypes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUuid>
#include <QThreadPool>

#include <algorithm>

namespace quillon {
namespace {

const QString kStopped = QStringLiteral("已终止批量安装。未进入安装的内容不会继续处理。");
const QString kStoppedStatus = QStringLiteral("已终止批量安装");
const QString kStoppedLine = QStringLiteral("批量任务已终止，未进入安装的项目未安装。");
const QString kFailedPrefix = QStringLiteral("批量安装未完成：");
const QString kFailedStatus = QStringLiteral("批量安装未完成，请根据提示重试");
const QString kNotInstalled = QStringLiteral("：安装未完成，请在会员库重试。");

/// What the user confirmed, fixed for the whole run: the products, and the account and
/// membership they are fetched for (a later switch or sync changes neither).
struct BatchOrder final {
    QList<MemberProduct> products;
    BatchInstallScope scope;
    int hybrid = 0;
    QString token;
    std::optional<QString> membershipKey;
};

/// One fetched package, in batch order.
struct StagedPackage final {
    QString path;
    bool usesSystemInstaller = false;
    MemberProduct product;
    std::optional<QString> version;
};

/// The run's files. However the run ends, nothing of it stays on disk except packages
/// handed to the Installer app, whose own watchers delete them once it has quit. Its two
/// folders are locked while the run lives, so the start-up clean-up of another copy of
/// the program leaves them alone.
class BatchFiles final {
    Q_DISABLE_COPY_MOVE(BatchFiles)
public:
    explicit BatchFiles(const QString &temporary)
        : m_stagingPath(QDir(temporary.isEmpty() ? QDir::tempPath() : temporary)
                            .filePath(QStringLiteral("Vrel-批量安装-") + newUuid())) {}

    ~BatchFiles() {
        if (m_removeAtOnce) {
            removeStaging(std::move(m_staging), m_stagingPath);
        } else {
            // Hundreds of megabytes can take a while to delete on a busy disk: the run ends
            // at once and its staging folder, its own and named for it alone, goes meanwhile
            // (still locked until it is gone).
            auto staging = std::make_shared<RunFolder>(std::move(m_staging));
            QThreadPool::globalInstance()->start(
                [staging, path = m_stagingPath]() mutable { removeStaging(std::move(*staging), path); });
        }
        // The managed folder is shared with other installs, so its part is done here, in turn.
        if (!m_protected.isHeld()) {
            return;
        }
        const QDir folder(m_protected.path());
        for (const QString &name : folder.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
            const QString path = folder.filePath(name);
            if (!m_handedOff.contains(path) && !QFile::remove(path)) {
                qCWarning(lcInstall) << "a batch package could not be removed:" << path;
            }
        }
        // Only empty folders go; the managed folder itself too when nothing else is in it.
        QDir().rmdir(m_protected.path());
        QDir().rmdir(m_managedRoot);
    }

    void createStaging() { m_staging = RunFolder::create(m_stagingPath); }

    /// The model went away: no later turn of anything may come, so the files go with the run.
    void removeAtOnce() { m_removeAtOnce = true; }

    /// Where package `position` (from 1) is written: "%02d.pkg" in the staging folder, or
    /// in the run's own sub-folder of the managed folder when the Installer app takes it.
    QString target(int position, bool usesSystemInstaller, const Installs &installs) {
        const QString name = QString::asprintf("%02d.pkg", position);
        if (!usesSystemInstaller) {
            return QDir(m_stagingPath).filePath(name);
        }
        if (!m_protected.isHeld()) {
            const QString root = installs.managedInstallerFolder();
            m_protected = RunFolder::create(QDir(root).filePath(QStringLiteral("批量安装-") + newUuid()));
            m_managedRoot = root;
        }
        return QDir(m_protected.path()).filePath(name);
    }

    /// The Installer app has the package now: it stays for its watcher.
    void keep(const QString &path) { m_handedOff.append(path); }

private:
    static void removeStaging([[maybe_unused]] RunFolder held, const QString &path) {
        // A stopped download drops its part file in its own time. When that happens between
        // the listing and the removal of the file, the pass fails and leaves the folder
        // itself; a second pass then removes it.
        if (!QDir(path).removeRecursively() && !QDir(path).removeRecursively() && QFileInfo::exists(path)) {
            qCWarning(lcInstall) << "the batch staging folder could not be removed:" << path;
        }
    } // the lock goes last

    const QString m_stagingPath;
    RunFolder m_staging;
    RunFolder m_protected;
    QString m_managedRoot;
    QStringList m_handedOff;
    bool m_removeAtOnce = false;
};

/// The package URL of a usable authorisation; InstallError::invalidPackage otherwise.
QUrl packageURL(const DownloadResponse &reply) {
    if (reply.deliveryType == QStringLiteral("baidu_pan") ||
        reply.productType.value_or(QStringLiteral("plugin")) != QStringLiteral("plugin")) {
        throw InstallError::invalidPackage();
    }
    const std::optional<QUrl> url = serviceWebURL(reply.downloadUrl);
    if (!url) {
        throw InstallError::invalidPackage();
    }
    return *url;
}

/// Fetches every package of the order, in order. Nothing when the service refused an
/// authorisation (its text is published already); throws for every other failure.
QCoro::Task<std::optional<QList<StagedPackage>>> fetchAll(ModelGuard<InstallHost> model, BatchOrder order,
                                                          BatchFiles &files, std::stop_token token) {
    files.createStaging();
    const int count = int(order.products.size());
    QList<StagedPackage> staged;
    for (int i = 0; i < count; ++i) {
        const MemberProduct &product = order.products.at(i);
        const int position = i + 1;
        throwIfCancelled(token);
        auto waiting = Installs::waitWhileBatchInstallPaused(model, token);
        co_await waiting;

        // One pass over the pattern: a product name holding "%2" stays as it is.
        const QString downloading = QStringLiteral("正在下载 %1（%2/%3）")
                                        .arg(product.productName, QString::number(position), QString::number(count));
        model->setInstallMessage(downloading + QStringLiteral("…"));
        model->setBatchInstallStatus(downloading);

        DownloadAuthorizationRequest request;
        request.productKey = product.productKey;
        request.membershipKey = order.membershipKey;
        request.bearer = order.token;
        auto asking = requestDownloadAuthorization(model->account(), std::move(request), token);
        const DownloadAuthorizationAnswer answer = co_await asking;
        if (!model) {
            throw TaskCancelled();
        }
        if (!answer.httpStatus || *answer.httpStatus >= 300) {
            model->setInstallMessage(
                answer.serviceError().value_or(product.productName + QStringLiteral(" 下载授权失败。")));
            co_return std::nullopt;
        }
        const DownloadResponse reply = answer.decoded();
        const QUrl url = packageURL(reply);

        throwIfCancelled(token);
        auto waitingAgain = Installs::waitWhileBatchInstallPaused(model, token);
        co_await waitingAgain;

        // The service's file name only decides where the package goes; on disk it is named
        // by its position, so no name from the service ever reaches the file system.
        const QString fileName = reply.fileName.value_or(QString()).isEmpty() ? url.fileName() : *reply.fileName;
        const bool usesSystemInstaller = Installs::usesProtectedFcpTemplatePackage(
            reply.productKey ? reply.productKey : std::optional<QString>(product.productKey), fileName);
        const QString target = files.target(position, usesSystemInstaller, model->installs());

        VrelProgressDownload engine(target, {});
        auto fetching = engine.download(url, token);
        const HttpResponse response = co_await fetching;
        if (!model) {
            throw TaskCancelled();
        }
        if (!response.isHttp() || response.statusCode >= 300) {
            throw InstallError::invalidPackage();
        }
        staged.append(StagedPackage{target, usesSystemInstaller, product, reply.packageVersion});
        model->setBatchInstallCompleted(position);
        model->setBatchInstallProgress(double(position) / double(count) * 0.8);
    }
    co_return staged;
}

/// The records of one installed product.
void recordInstalled(Inventory &inventory, const StagedPackage &package, const QString &entitlementKey) {
    const QString &key = package.product.productKey;
    InstallRecords records = inventory.records();
    records.saveInstalledProductPaths(inventory.installedPluginPaths(package.product.productName), key);
    records.recordInstalledProduct(key, entitlementKey, package.version);
}

/// The installer phase: one administrator run for every ordinary package, records and
/// locations for those that installed, the Installer app for protected ones, the summary.
QCoro::Task<> installAll(ModelGuard<InstallHost> model, BatchOrder order, QList<StagedPackage> staged,
                         BatchFiles &files) {
    if (!model->installs().batchInstallRun().beginInstalling()) {
        throw TaskCancelled(); // stopped while the last package was arriving
    }
    model->setBatchInstallProgress(0.88);
    model->setBatchInstallStatus(QStringLiteral("正在安装插件"));

    QList<StagedPackage> ordinary;
    for (const StagedPackage &package : staged) {
        if (!package.usesSystemInstaller) {
            ordinary.append(package);
        }
    }
    model->inventory().refreshInstalledPlugins();
    const QSet<QString> before = model->inventory().scannedPaths();

    int installed = 0;
    if (!ordinary.isEmpty()) {
        QStringList paths;
        for (const StagedPackage &package : ordinary) {
            paths.append(package.path);
        }
        auto running = runBlocking([paths, tools = model->installs().privilegedTools()] {
            return Installs::installBatchWithResults(paths, tools);
        });
        const QSet<int> succeeded = co_await running;
        if (!model) {
            co_return;
        }
        InstallHost &m = *model.get();
        m.inventory().refreshInstalledPlugins();
        const QSet<QString> after = m.inventory().scannedPaths();
        const QString entitlementKey = entitlementStorageKey(order.membershipKey);
        QList<InstalledProductName> located;
        for (qsizetype j = 0; j < ordinary.size(); ++j) {
            const StagedPackage &package = ordinary.at(j);
            if (succeeded.contains(int(j))) {
                recordInstalled(m.inventory(), package, entitlementKey);
                located.append({package.product.productName, package.product.productKey});
                ++installed;
            } else {
                m.inventory().addInstallFailure(package.product.productName + kNotInstalled);
            }
        }
        m.inventory().recordInstallLocationsFromLastScan(located, after);
        if (m.locationSummary().failures.isEmpty()) {
            m.inventory().addEntriesOfNewFolders(before);
        }
    }

    InstallHost &m = *model.get();
    int handedOff = 0;
    for (const StagedPackage &package : staged) {
        if (!package.usesSystemInstaller) {
            continue;
        }
        try {
            m.installs().openPackageWithSystemInstaller(package.path);
        } catch (const std::exception &error) {
            m.inventory().addInstallFailure(package.product.productName + QStringLiteral("：") +
                                            failureDescription(error));
            continue;
        }
        files.keep(package.path);
        m.installs().schedulePackageCleanupAfterSystemInstallerCloses(package.path);
        ++handedOff;
        m.inventory().addPendingInstall(package.product.productName);
    }

    const int count = int(order.products.size());
    const BatchSummary summary = batchSummary(order.scope, count, order.hybrid, handedOff, installed,
                                              int(m.locationSummary().failures.size()));
    m.setLastInstalledProduct(summary.lastInstalledProduct);
    m.setLastDeliveryMessage(summary.lastDeliveryMessage);
    m.setInstallMessage(summary.installMessage);
    m.setBatchInstallCompleted(count);
    m.setBatchInstallProgress(1.0);
    m.setBatchInstallStatus(summary.status);
    m.setDeliverySuccessTitle(summary.deliverySuccessTitle);
}

/// The batch task: fetch, install, and whatever happens the clean-up.
QCoro::Task<> runBatch(ModelGuard<InstallHost> model, BatchOrder order, TaskHandle handle) {
    BusyFlag working(model, &InstallHost::setIsWorking);
    std::exception_ptr failure;
    {
        BatchFiles files(model->environment().paths.temporary);
        try {
            auto fetching = fetchAll(model, order, files, handle.token());
            std::optional<QList<StagedPackage>> staged = co_await fetching;
            if (staged && model) {
                auto installing = installAll(model, order, std::move(*staged), files);
                co_await installing;
            }
        } catch (...) {
            failure = std::current_exception();
        }
        if (!model) {
            files.removeAtOnce();
        }
    } // the run's files go here, before anything is published
    if (!model) {
        co_return;
    }
    InstallHost &m = *model.get();
    if (failure) {
        bool cancelled = handle.isCancelled();
        try {
            std::rethrow_exception(failure);
        } catch (const TaskCancelled &) {
            cancelled = true;
        } catch (...) {
        }
        if (cancelled) {
            m.setInstallMessage(kStopped);
            m.setBatchInstallStatus(kStoppedStatus);
            m.inventory().addInstallFailure(kStoppedLine);
        } else {
            const QString text = kFailedPrefix + failureDescription(failure).trimmed();
            qCWarning(lcInstall) << "batch install failed:" << text;
            m.setInstallMessage(text);
            m.setBatchInstallStatus(kFailedStatus);
            m.inventory().addInstallFailure(text);
        }
    }
    working.lower();
    m.installs().batchInstallRun().end();
    m.setInstallingProductKey(std::nullopt);
    m.inventory().finishLocationCollection();
}

QString signInNotice(const BatchInstallScope &scope) {
    return QStringLiteral("请先登录并选择%1，再一键安装全部内容。").arg(scope.membershipTitle);
}

} // namespace

void Installs::installAllMemberProducts() {
    // One batch at a time, and none beside another install.
    if (m_host.isWorking() || m_batchInstallRun.isRunning()) {
        return;
    }
    const BatchInstallScope &scope = batchInstallScope(m_host.account().activeMembershipType());
    if (!m_host.account().canInstallAllMemberProducts() || !m_host.account().hasWechatAccount()) {
        m_host.setInstallMessage(signInNotice(scope));
        return;
    }
    BatchOrder order;
    order.scope = scope;
    order.products = batchProducts(m_host.memberProducts(), scope);
    if (order.products.isEmpty()) {
        m_host.setInstallMessage(QStringLiteral("当前") + scope.name + QStringLiteral("权益中还没有可安装内容。"));
        return;
    }
    order.hybrid = hybridCount(order.products);
    order.token = *m_host.managerAccessToken();
    order.membershipKey = m_host.activatedProductKey();
    const int count = int(order.products.size());

    if (m_host.environment().alerts->runModal(batchConfirmation(scope, count, order.hybrid)) != 0) {
        return;
    }
    // The alert's event loop ran: another action may have started, or a sync may have
    // signed the user out or changed the membership. The confirmation was for what it showed.
    if (m_host.isWorking() || m_batchInstallRun.isRunning()) {
        return;
    }
    if (!m_host.account().hasWechatAccount()) {
        m_host.setInstallMessage(signInNotice(scope));
        return;
    }
    if (m_host.managerAccessToken() != order.token || m_host.activatedProductKey() != order.membershipKey) {
        return; // another account or membership is shown now; the user sees its library
    }

    m_host.setIsWorking(true);
    const std::optional<TaskHandle> handle = m_batchInstallRun.begin();
    m_host.setBatchInstallTotal(count);
    m_host.setBatchInstallCompleted(0);
    m_host.setBatchInstallProgress(0);
    m_host.setBatchInstallStatus(QStringLiteral("准备下载，共 %1 项").arg(count));
    m_host.setInstallingProductKey(scope.sentinel);
    m_host.setInstallMessage(QStringLiteral("正在准备全部%1（0/%2）…").arg(scope.name).arg(count));
    m_host.inventory().beginLocationCollection(true);
    runBatch(guard(), std::move(order), *handle);
}

void Installs::toggleBatchInstallPause() {
    if (!m_batchInstallRun.togglePause()) {
        return;
    }
    m_host.setBatchInstallStatus(m_batchInstallRun.isPaused() ? QStringLiteral("将在当前文件下载完成后暂停")
                                                 : QStringLiteral("正在继续下载"));
}

void Installs::terminateBatchInstall() {
    if (!m_batchInstallRun.isControllable()) {
        return;
    }
    m_host.setBatchInstallStatus(QStringLiteral("正在终止下载…"));
    m_batchInstallRun.stop();
}

QCoro::Task<> Installs::waitWhileBatchInstallPaused(ModelGuard<InstallHost> model, std::stop_token token) {
    for (;;) {
        if (!model) {
            throw TaskCancelled();
        }
        if (!model->installs().batchInstallRun().isPaused()) {
            co_return;
        }
        throwIfCancelled(token);
        auto sleeping = sleepFor(model->environment().timing.batchPauseCheck, token);
        co_await sleeping;
    }
}

} // namespace quillon
