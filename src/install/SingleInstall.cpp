// One product from the member library to the Mac. Each run is one SingleInstall object,
// kept alive by its task (and, in a queue run, by the commit step it hands back); it holds
// the model weakly and never touches it once it is gone.

#include "install/SingleInstall.h"

#include "core/ServiceClient.h"
#include "install/DownloadAuthorization.h"
#include "install/Installs.h"
#include "install/InstallTexts.h"
#include "install/ProgressDownload.h"
#include "install/SaveWithoutReplacing.h"
#include "inventory/InstallRecords.h"
#include "platform/BusyFlag.h"
#include "platform/DisplayText.h"
#include "platform/Files.h"
#include "platform/Logging.h"
#include "records/InstallError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUuid>

#include <memory>
#include <utility>

namespace quillon {
namespace {

const QString kFailurePrefix = QStringLiteral("安装未完成：");
const QString kAuthorizationRefused = QStringLiteral("下载授权失败，请联系客服。");
const QString kInstalled = QStringLiteral("✓ 安装完成，请重启 FCP。");
const QString kInstalling = QStringLiteral("正在安装，请勿关闭管理器…");

QString trimmedField(const std::optional<QString> &field) { return field.value_or(QString()).trimmed(); }

} // namespace

std::optional<QString> safeFileName(const QString &name) {
    const qsizetype cut = std::max(name.lastIndexOf(QLatin1Char('/')), name.lastIndexOf(QLatin1Char('\\')));
    const QString last = name.mid(cut + 1);
    bool onlyDotsAndBlanks = true;
    for (const QChar c : last) {
        if (c.category() == QChar::Other_Control) {
            return std::nullopt;
        }
        if (c != QLatin1Char('.') && !c.isSpace()) {
            onlyDotsAndBlanks = false;
        }
    }
    if (onlyDotsAndBlanks) { // also the empty name, "." and ".."
        return std::nullopt;
    }
    return last;
}

QString destinationInside(const QString &folder, const QString &name) {
    const QString destination = QDir(folder).filePath(name);
    const QString realFolder = QFileInfo(folder).canonicalFilePath();
    const QString realParent = QFileInfo(QFileInfo(destination).absolutePath()).canonicalFilePath();
    if (realFolder.isEmpty() || realParent != realFolder || safeFileName(name) != name) {
        throw InstallError::invalidPackage();
    }
    return destination;
}

namespace {

class SingleInstall final : public std::enable_shared_from_this<SingleInstall> {
public:
    struct Arguments {
        std::optional<QString> productKey;
        QString productName;
        bool supplementalDelivery = false;
        bool accountMode = false;
        std::optional<QString> authorizationScope;
        PreparePackage preparePackage;
    };

    SingleInstall(InstallHost &model, Arguments arguments, std::stop_token token)
        : m_model(&model, model.lifetimeObject()), m_args(std::move(arguments)), m_token(std::move(token)) {}

    static QCoro::Task<bool> run(std::shared_ptr<SingleInstall> self);

private:
    /// How the downloaded file is used.
    enum class Road { resource, protectedPackage, package };

    InstallHost &model() const {
        if (!m_model) {
            throw TaskCancelled();
        }
        return *m_model.get();
    }

    void begin();
    QCoro::Task<bool> perform();
    void deliverThroughCloudDrive(const QString &deliveryType);
    QCoro::Task<bool> downloadAndInstall(const QUrl &url);
    void saveResource(const QString &downloaded, const QString &destination);
    void handToInstallerApp(const QString &package);
    QCoro::Task<> installWithAdministratorRights(const QString &package);
    void passToQueue(const QString &package);
    void showCompleted(const QString &stage);
    QString commitInstallation(bool batch);
    void fail(const QString &text);
    /// Removes the file this run made and still owns (a package nobody installs any more),
    /// off the main thread: unlinking a large file takes a while.
    QCoro::Task<> discardOwnedFile();

    ModelGuard<InstallHost> m_model;
    const Arguments m_args;
    const std::stop_token m_token;

    std::optional<QString> m_membershipKey;
    DownloadResponse m_reply;
    QString m_displayName;
    std::optional<QString> m_recordKey;
    QSet<QString> m_previousPaths;
    QString m_ownedFile;
};

QCoro::Task<bool> SingleInstall::run(std::shared_ptr<SingleInstall> self) {
    self->begin();
    bool result = false;
    std::exception_ptr failure;
    try {
        auto performing = self->perform();
        result = co_await performing;
    } catch (...) {
        failure = std::current_exception();
    }
    auto discarding = self->discardOwnedFile();
    co_await discarding;
    if (!self->m_model) {
        co_return false; // the model went away: nobody to tell
    }
    if (failure) {
        qCWarning(lcInstall) << "install of" << self->m_args.productName << "failed:" << failureDetail(failure);
        self->fail(failureDescription(failure));
        result = false;
    }
    self->m_model->setInstallingProductKey(std::nullopt);
    co_return result;
}

void SingleInstall::begin() {
    InstallHost &m = model();
    m_membershipKey = m_args.authorizationScope ? m_args.authorizationScope : m.activatedProductKey();
    m.setSingleInstallProgressCycle(m.singleInstallProgressCycle() + 1);
    const bool supplement = m_args.supplementalDelivery;
    m.setInstallingProductKey(supplement ? std::optional<QString>(m_args.productKey.value_or(QString()) +
                                                                  QStringLiteral("__supplement__"))
                                         : m_args.productKey);
    m.setInstallMessage(supplement ? QStringLiteral("正在获取 ") + m_args.productName + QStringLiteral(" 的网盘内容…")
                                   : QStringLiteral("正在准备 ") + m_args.productName + QStringLiteral("…"));
    m.setShowsSingleInstallProgress(!supplement);
    m.setSingleInstallProgress(0.0);
    m.setSingleInstallStage(supplement ? QString() : QStringLiteral("正在准备下载…"));
    m.setSingleInstallShowsPercent(false);
    m.setSingleInstallCompleted(false);
}

QCoro::Task<bool> SingleInstall::perform() {
    DownloadAuthorizationRequest request;
    request.productKey = m_args.productKey;
    request.supplement = m_args.supplementalDelivery;
    if (m_args.accountMode) {
        request.membershipKey = m_membershipKey;
        request.bearer = model().managerAccessToken();
    }
    auto asking = requestDownloadAuthorization(model().account(), std::move(request), m_token);
    const DownloadAuthorizationAnswer answer = co_await asking;
    InstallHost &m = model();
    if (!answer.httpStatus) {
        throw InstallError::invalidResponse();
    }
    if (*answer.httpStatus > 299) {
        // The service's own words, without the failure prefix.
        const QString text = answer.serviceError().value_or(kAuthorizationRefused);
        m.setInstallMessage(text);
        m.setSingleInstallStage(text);
        m.setSingleInstallShowsPercent(false);
        co_return false;
    }
    m_reply = answer.decoded();
    m_displayName = m_reply.productName.value_or(m_args.productName);
    m_recordKey = m_reply.productKey ? m_reply.productKey : m_args.productKey;

    const QString deliveryType = m_reply.deliveryType.value_or(QString());
    if (deliveryType == QLatin1String("baidu_pan") || deliveryType == QLatin1String("partner_pool") ||
        deliveryType == QLatin1String("hybrid")) {
        deliverThroughCloudDrive(deliveryType);
        co_return true;
    }
    // Only a web address: never a local file, a script or plain words.
    const std::optional<QUrl> url = serviceWebURL(m_reply.downloadUrl);
    if (!url) {
        throw InstallError::invalidPackage();
    }
    m.setDeliverySuccessTitle(QStringLiteral("安装成功"));
    auto installing = downloadAndInstall(*url);
    co_return co_await installing;
}

void SingleInstall::deliverThroughCloudDrive(const QString &deliveryType) {
    InstallHost &m = model();
    m.setShowsSingleInstallProgress(false);
    const std::optional<QUrl> link = serviceWebURL(m_reply.shareUrl);
    if (!link) {
        throw InstallError::invalidPackage();
    }
    const QString accessCode = trimmedField(m_reply.accessCode);
    const QString partnerCode = trimmedField(m_reply.partnerActivationCode);
    const QString archivePassword = trimmedField(m_reply.archivePassword);
    const QString note = m_reply.deliveryNote.value_or(QString());
    Workspace &workspace = *m.environment().workspace;

    if (deliveryType == QLatin1String("partner_pool")) {
        // The record keeps the code as the service sent it; the pasteboard and the alert get
        // it without characters that could hide or reorder what the user reads or pastes.
        m.installs().recordClaimedPartnerActivationCode(partnerCode, m_recordKey);
        const QString shownCode = displayLine(partnerCode);
        if (!shownCode.isEmpty()) {
            m.environment().pasteboard->setString(shownCode);
        }
        const QString name = displayLine(m_displayName);
        const bool opened = workspace.openURL(*link);
        // Without a browser the user opens the page by hand, so the link goes into the alert.
        QString message = opened ? QStringLiteral("已在浏览器打开 ") + name + QStringLiteral(" 的百度网盘页面。")
                                 : QStringLiteral("未能自动打开 ") + name +
                                       QStringLiteral(" 的百度网盘页面，请复制链接在浏览器中打开。 链接：") +
                                       link->toString(QUrl::FullyEncoded);
        if (const QString shown = displayLine(accessCode); !shown.isEmpty()) {
            message += QStringLiteral(" 提取码：") + shown + QStringLiteral("。");
        }
        if (!shownCode.isEmpty()) {
            message += QStringLiteral(" 合作方激活码 ") + shownCode + QStringLiteral(" 已复制。每款合作商品仅分配 1 份。");
        }
        if (const QString shown = displayLine(archivePassword); !shown.isEmpty()) {
            message += QStringLiteral(" 压缩包密码：") + shown + QStringLiteral("。");
        }
        if (const QString shown = displayNote(note); !shown.isEmpty()) {
            message += QStringLiteral("\n\n") + shown;
        }
        m.setDeliverySuccessTitle(QStringLiteral("合作商品已领取"));
        m.setLastInstalledProduct(m_displayName);
        m.setLastDeliveryMessage(message);
        m.setInstallMessage(opened ? QStringLiteral("✓ 安装包已打开，合作方激活码已复制。")
                                   : QStringLiteral("✓ 合作方激活码已复制，请手动打开网盘链接。"));
        m.setShowInstallSuccess(true);
        return;
    }

    const bool opened = workspace.openURL(*link);
    m.setNetdiskDelivery(NetdiskDelivery{QUuid::createUuid(), m_displayName, *link, accessCode, archivePassword, note,
                                         opened});
    m.setInstallMessage(opened ? QStringLiteral("✓ 已打开网盘；如未跳转，可在领取信息中直接打开或复制。")
                               : QStringLiteral("✓ 自动打开失败；请在领取信息中直接打开或复制。"));
    m.setShowNetdiskDelivery(true);
}

QCoro::Task<bool> SingleInstall::downloadAndInstall(const QUrl &url) {
    InstallHost &m = model();
    const QString name = m_reply.fileName && !m_reply.fileName->isEmpty() ? *m_reply.fileName : url.fileName();
    const std::optional<QString> safeName = name.isEmpty() ? std::optional<QString>(QString()) : safeFileName(name);
    if (!safeName) {
        throw InstallError::invalidPackage();
    }
    const bool isPackage = safeName->toLower().endsWith(QStringLiteral(".pkg")) ||
                           QFileInfo(url.path()).suffix().toLower() == QLatin1String("pkg");
    const std::optional<QString> protectionKey =
        m_reply.productKey ? m_reply.productKey : (m_args.productKey ? m_args.productKey : m.activatedProductKey());
    const bool isProtected = Installs::usesProtectedFcpTemplatePackage(protectionKey, *safeName);
    const bool isResource = !isPackage && m_reply.productType.value_or(QStringLiteral("plugin")) != QLatin1String("plugin");
    const Road road = isResource ? Road::resource : (isProtected ? Road::protectedPackage : Road::package);

    // Where the download lands; a resource first lands under a hidden name of its own and
    // then takes a name no other file has (see saveResource).
    QString target;
    QString landing;
    switch (road) {
    case Road::resource: {
        if (m.environment().paths.downloads.isEmpty()) {
            throw PlatformError(QStringLiteral("找不到“下载”文件夹。"));
        }
        const QString folder = QDir(m.environment().paths.downloads).filePath(resourceFolderName());
        makeFolder(folder);
        const QString fileName = m_reply.fileName && !m_reply.fileName->isEmpty() ? *m_reply.fileName
                                                                                  : m_displayName + QStringLiteral(".zip");
        const std::optional<QString> safe = safeFileName(fileName);
        if (!safe) {
            throw InstallError::invalidPackage();
        }
        target = destinationInside(folder, *safe);
        landing = destinationInside(folder, QStringLiteral(".Vrel-") + newUuid() + QStringLiteral(".download"));
        break;
    }
    case Road::protectedPackage: {
        const QString folder = m.installs().managedInstallerFolder();
        makeFolder(folder);
        QString base = safeName->isEmpty() ? m_displayName + QStringLiteral(".pkg") : *safeName;
        if (!base.endsWith(QStringLiteral(".pkg"))) {
            base += QStringLiteral(".pkg");
        }
        const std::optional<QString> safeBase = safeFileName(base);
        if (!safeBase) {
            throw InstallError::invalidPackage();
        }
        landing = destinationInside(folder, QStringLiteral("Vrel-") + newUuid() + QStringLiteral("-") + *safeBase);
        break;
    }
    case Road::package: {
        const QString folder = m.environment().paths.temporary;
        makeFolder(folder);
        landing = destinationInside(folder, QStringLiteral("Vrel-") + newUuid() + QStringLiteral(".pkg"));
        break;
    }
    }

    const QString downloading = QStringLiteral("正在下载 ") + m_displayName + QStringLiteral("…");
    m.setInstallMessage(downloading);
    m.setSingleInstallStage(downloading);
    m.setSingleInstallShowsPercent(true);
    m_ownedFile = landing;
    // Progress that arrives once the download has returned (it is delivered from the event
    // loop) belongs to nothing any more.
    auto active = std::make_shared<bool>(true);
    VrelProgressDownload engine(landing, [model = m_model, active](double fraction) {
        if (*active && model) {
            model->setSingleInstallProgress(fraction);
        }
    });
    HttpResponse response;
    try {
        auto fetching = engine.download(url, m_token);
        response = co_await fetching;
    } catch (...) {
        *active = false;
        throw;
    }
    *active = false;
    InstallHost &after = model();
    if (response.statusCode >= 300) {
        QFile::remove(landing);
        throw InstallError::invalidPackage();
    }
    after.setSingleInstallProgress(1.0);

    switch (road) {
    case Road::resource:
        saveResource(landing, target);
        co_return true;
    case Road::protectedPackage:
        after.inventory().refreshInstalledPlugins();
        m_previousPaths = after.inventory().scannedPaths();
        handToInstallerApp(landing);
        co_return true;
    case Road::package:
        after.inventory().refreshInstalledPlugins();
        m_previousPaths = after.inventory().scannedPaths();
        if (m_args.preparePackage) {
            passToQueue(landing);
            co_return true;
        }
        auto installing = installWithAdministratorRights(landing);
        co_await installing;
        co_return true;
    }
    co_return false;
}

void SingleInstall::saveResource(const QString &downloaded, const QString &destination) {
    InstallHost &m = model();
    // Never over a file already there (another product's resource of the same name, say):
    // a name in use gets a number, and the file is revealed under the name it got.
    const QFileInfo wanted(destination);
    const QString saved = saveWithoutReplacing(downloaded, wanted.path(), wanted.fileName());
    m_ownedFile.clear();
    m.setLastInstalledProduct(m_displayName);
    m.setLastDeliveryMessage(m_displayName + QStringLiteral("已下载到“下载/Vrel 素材”。"));
    m.setInstallMessage(QStringLiteral("✓ 下载完成，已保存到“下载/Vrel 素材”。"));
    m.setSingleInstallStage(QStringLiteral("下载完成"));
    m.setSingleInstallShowsPercent(false);
    m.setShowInstallSuccess(true);
    m.environment().workspace->revealInFileManager({saved});
}

void SingleInstall::handToInstallerApp(const QString &package) {
    InstallHost &m = model();
    m.setSingleInstallShowsPercent(false);
    const QString opening = QStringLiteral("正在打开 macOS 安装器…");
    m.setInstallMessage(opening);
    m.setSingleInstallStage(opening);
    m.installs().openPackageWithSystemInstaller(package);
    m.installs().schedulePackageCleanupAfterSystemInstallerCloses(package);
    m_ownedFile.clear(); // the clean-up watcher deletes it once the Installer has quit
    m.setLastDeliveryMessage(m_displayName + QStringLiteral("已交给 macOS 安装器。"));
    m.setInstallMessage(QStringLiteral("✓ 已打开 macOS 安装器，请在系统窗口完成安装。"));
    m.setSingleInstallStage(QStringLiteral("已交给 macOS 安装器"));
    m.inventory().addPendingInstall(m_displayName);
    m.setLastInstalledProduct(m_displayName);
    showCompleted(m.singleInstallStage());
    // No install record: the install happens outside this program.
}

QCoro::Task<> SingleInstall::installWithAdministratorRights(const QString &package) {
    InstallHost &m = model();
    m.setSingleInstallShowsPercent(false);
    m.setInstallMessage(kInstalling);
    m.setSingleInstallStage(kInstalling);
    const PrivilegedTools tools = m.installs().privilegedTools();
    auto installing = runBlocking([package, tools] { Installs::installInBackground({package}, tools); });
    co_await installing;
    // The spent package goes before the records are written: while a large file that was
    // never written out is being dropped, writing the preferences would wait on the disk.
    auto discarding = discardOwnedFile();
    co_await discarding;
    InstallHost &after = model();
    after.setLastDeliveryMessage(m_displayName + QStringLiteral("已安装完成，请重启 FCP。"));
    after.setInstallMessage(kInstalled);
    after.setLastInstalledProduct(m_displayName);
    showCompleted(QStringLiteral("安装完成，请重启 FCP"));
    commitInstallation(false);
}

void SingleInstall::passToQueue(const QString &package) {
    InstallHost &m = model();
    m_ownedFile.clear(); // the queue installs and deletes it
    m_args.preparePackage(package, [self = shared_from_this()] {
        return self->m_model ? self->commitInstallation(true) : QString();
    });
    const QString waiting = waitingForSharedInstallText();
    m.setInstallMessage(waiting);
    m.setSingleInstallStage(waiting);
    m.setSingleInstallShowsPercent(false);
}

void SingleInstall::showCompleted(const QString &stage) {
    InstallHost &m = model();
    m.setSingleInstallStage(stage);
    m.setSingleInstallProgress(1.0);
    m.setSingleInstallShowsPercent(false);
    m.setSingleInstallCompleted(true);
    m.installs().scheduleSingleInstallProgressDismissal();
}

QString SingleInstall::commitInstallation(bool batch) {
    InstallHost &m = model();
    Inventory &inventory = m.inventory();
    const std::optional<QString> &productKey = m_recordKey;
    inventory.refreshInstalledPlugins();
    const QSet<QString> current = inventory.scannedPaths();

    QStringList added;
    if (batch) {
        added = inventory.installedPluginPaths(m_displayName);
    } else {
        for (const InstalledPlugin &plugin : inventory.allTemplatePlugins()) {
            for (const QString &path : plugin.paths) {
                if (!m_previousPaths.contains(path)) {
                    added.append(path);
                }
            }
        }
    }
    InstallRecords records = inventory.records();
    if (!added.isEmpty()) {
        records.saveInstalledPaths(added, QString::fromLatin1(wechatAccountOwnerKey));
        if (productKey) {
            records.saveInstalledProductPaths(added, *productKey);
        }
    }
    if (productKey) {
        const std::optional<QString> version =
            trimmedField(m_reply.packageVersion).isEmpty() ? std::nullopt : m_reply.packageVersion;
        records.recordInstalledProduct(*productKey, entitlementStorageKey(m_membershipKey), version);
    }
    inventory.recordInstallLocation(m_displayName, productKey, batch ? current : m_previousPaths);
    return kInstalled;
}

void SingleInstall::fail(const QString &text) {
    InstallHost &m = model();
    const QString message = kFailurePrefix + text.trimmed();
    m.setInstallMessage(message);
    m.setSingleInstallStage(message);
    m.setSingleInstallShowsPercent(false);
}

QCoro::Task<> SingleInstall::discardOwnedFile() {
    if (m_ownedFile.isEmpty()) {
        co_return;
    }
    const QString file = std::exchange(m_ownedFile, QString());
    const auto remove = [file] { return !QFileInfo(file).isFile() || QFile::remove(file); };
    if (!m_model) {
        // The model is gone, perhaps with the event loop: nothing would resume this run later.
        if (!remove()) {
            qCWarning(lcInstall) << "a package of a finished run could not be deleted:" << file;
        }
        co_return;
    }
    auto removing = runBlocking(remove);
    const bool removed = co_await removing;
    if (!removed) {
        qCWarning(lcInstall) << "a package of a finished run could not be deleted:" << file;
    }
    if (m_model) {
        // A package in the managed folder leaves no emptied folders behind.
        m_model->installs().silentlyDeleteManagedPackage(file);
    }
}

QCoro::Task<> runFromLibrary(ModelGuard<InstallHost> model, std::optional<QString> productKey, QString productName,
                             bool supplementalDelivery, bool accountMode) {
    const BusyFlag working(model, &InstallHost::setIsWorking);
    CancelledWithOwner life(model.owner());
    auto running = model->installs().performDownloadAndInstall(std::move(productKey), std::move(productName),
                                                    supplementalDelivery, accountMode, std::nullopt, {}, life.token());
    co_await running;
}

QCoro::Task<> dismissProgressCard(ModelGuard<InstallHost> model, int cycle) {
    auto waiting = sleepFor(model->environment().timing.singleInstallCardDismissal, model->lifetime());
    co_await waiting;
    if (model && model->singleInstallProgressCycle() == cycle && model->singleInstallCompleted()) {
        model->setShowsSingleInstallProgress(false);
        model->setSingleInstallCompleted(false);
    }
}

void requestMemberProduct(InstallHost &model, const MemberProduct &product, bool supplementalDelivery) {
    if (model.isWorking()) {
        return;
    }
    if (!model.account().hasMemberLibraryLicense() || !model.account().hasWechatAccount()) {
        model.setInstallMessage(QStringLiteral("请先成功激活会员授权。"));
        return;
    }
    model.installs().startDownloadAndInstall(product.productKey, product.productName, supplementalDelivery);
}

} // namespace

Installs::Installs(InstallHost &host) : m_host(host), m_batchInstallRun([&host] { host.batchInstallChanged(); }) {}

void Installs::installMemberProduct(const MemberProduct &product) { requestMemberProduct(m_host, product, false); }

void Installs::claimMemberProductSupplement(const MemberProduct &product) {
    requestMemberProduct(m_host, product, true);
}

void Installs::startDownloadAndInstall(const std::optional<QString> &productKey, const QString &productName,
                                       bool supplementalDelivery) {
    if (m_host.isWorking()) {
        return;
    }
    m_host.setIsWorking(true);
    const bool accountMode = m_host.selectedMembershipUsesWechatAccount() && m_host.account().hasWechatAccount();
    runFromLibrary(guard(), productKey, productName, supplementalDelivery, accountMode);
}

QCoro::Task<bool> Installs::performDownloadAndInstall(std::optional<QString> productKey, QString productName,
                                                      bool supplementalDelivery, bool accountMode,
                                                      std::optional<QString> authorizationScope,
                                                      PreparePackage preparePackage, std::stop_token token) {
    auto run = std::make_shared<SingleInstall>(
        m_host,
        SingleInstall::Arguments{std::move(productKey), std::move(productName), supplementalDelivery, accountMode,
                                 std::move(authorizationScope), std::move(preparePackage)},
        std::move(token));
    return SingleInstall::run(std::move(run));
}

void Installs::scheduleSingleInstallProgressDismissal() {
    dismissProgressCard(guard(), m_host.singleInstallProgressCycle());
}

} // namespace quillon
