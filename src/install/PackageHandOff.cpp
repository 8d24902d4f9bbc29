// Packages handed to the Installer app: they wait in one managed folder while the
// Installer may still read them, and a watcher per package deletes each once the
// Installer has quit.

#include "install/Installs.h"
#include "platform/Failure.h"
#include "platform/Files.h"
#include "platform/Logging.h"
#include "records/InstallError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace quillon {

namespace {

const QString installerBundleIdentifier = QStringLiteral("com.apple.installer");
/// At most this many waits (one hour at the product's interval), even if the Installer stays open.
constexpr int maximumWaits = 720;
/// Checks after the first without ever seeing the Installer before the package goes anyway.
constexpr int absentChecksBeforeDeleting = 6;

QString standardised(const QString &path) {
    return QDir::cleanPath(QDir::isAbsolutePath(path) ? path : QDir::current().absoluteFilePath(path));
}

/// `path` is `folder` or lies below it (a sibling that merely shares the name's start does not).
bool isInside(const QString &path, const QString &folder) {
    return path == folder || path.startsWith(folder + QLatin1Char('/'));
}

bool installerIsRunning(InstallHost &model) {
    return model.environment().workspace->runningApplicationCount(installerBundleIdentifier) > 0;
}

/// Waits until the Installer has closed, then deletes the package. Holds the model weakly.
QCoro::Task<> deletePackageAfterInstallerCloses(ModelGuard<InstallHost> model, QString path, TaskHandle handle) {
    bool seen = installerIsRunning(*model.get());
    if (handle.isCancelled()) {
        co_return;
    }
    int absentChecks = 0;
    int checks = 1;
    for (;;) {
        try {
            auto wait = sleepFor(model->environment().timing.packageCleanupCheck, handle.token());
            co_await wait;
        } catch (const TaskCancelled &) {
            // A wait cut short ends like a full one; the cancellation is handled below.
        }
        if (!model) {
            co_return;
        }
        const bool running = installerIsRunning(*model.get());
        // A cancelled watcher never deletes: a newer watcher may be responsible for this
        // file now (the same package handed over again), or the model is going away.
        if (handle.isCancelled()) {
            co_return;
        }
        if (seen && !running) {
            break;
        }
        if (!seen && !running && ++absentChecks >= absentChecksBeforeDeleting) {
            break;
        }
        if (checks >= maximumWaits) {
            break;
        }
        seen = seen || running;
        ++checks;
    }
    model->installs().silentlyDeleteManagedPackage(path);
    if (!model) {
        co_return;
    }
    // Only this watcher's own entry goes; a replacement keeps its place.
    auto &tasks = model->installs().packageCleanupTasks();
    if (const auto entry = tasks.find(path); entry != tasks.end() && entry->second == handle) {
        tasks.erase(entry);
    }
}

} // namespace

QString Installs::managedInstallerFolder() const {
    const QString support = m_host.environment().paths.applicationSupport;
    if (support.isEmpty()) {
        throw PlatformError(QStringLiteral("找不到“应用程序支持”文件夹。"));
    }
    makeFolder(support);
    return QDir(support).filePath(QStringLiteral("Vrel 插件管理器/临时安装包"));
}

void Installs::openPackageWithSystemInstaller(const QString &packagePath) {
    if (QFileInfo(packagePath).suffix().toLower() != QStringLiteral("pkg")) {
        throw InstallError::invalidPackage();
    }
    if (!m_host.environment().workspace->openFile(packagePath)) {
        throw InstallError::invalidPackage();
    }
}

void Installs::schedulePackageCleanupAfterSystemInstallerCloses(const QString &packagePath) {
    const QString key = packagePath;
    if (const auto older = m_packageCleanupTasks.find(key); older != m_packageCleanupTasks.end()) {
        older->second.cancel();
    }
    TaskHandle handle;
    m_packageCleanupTasks[key] = handle;
    deletePackageAfterInstallerCloses(guard(), packagePath, handle);
}

void Installs::silentlyDeleteManagedPackage(const QString &packagePath) {
    QString root;
    try {
        root = standardised(managedInstallerFolder());
    } catch (const PlatformError &error) {
        qCInfo(lcInstall) << "a handed-off package stays: no managed folder:" << error.what();
        return;
    }
    const QString path = standardised(packagePath);
    if (!path.startsWith(root + QLatin1Char('/'))) {
        return;
    }
    // The folder that really holds the file must be inside too, so that a link inside the
    // managed folder cannot lead the deletion elsewhere.
    const QString folder = QFileInfo(path).absolutePath();
    const QString realFolder = QFileInfo(folder).canonicalFilePath();
    const QString realRoot = QFileInfo(root).canonicalFilePath();
    if (realFolder.isEmpty() || realRoot.isEmpty() || !isInside(realFolder, realRoot)) {
        return;
    }
    const QFileInfo package(path);
    bool removed = true;
    if (package.isFile() || package.isSymLink()) {
        removed = QFile::remove(path); // a link goes itself, never what it points to
    } else if (package.isDir() && package.suffix().compare(QLatin1String("pkg"), Qt::CaseInsensitive) == 0) {
        // A package kept as a folder. Its own path is a real folder here (not a link), and
        // the removal takes links inside it away without entering them.
        removed = QDir(path).removeRecursively();
    }
    if (!removed) {
        qCWarning(lcInstall) << "could not delete the handed-off package" << path;
    }
    removeEmptyManagedInstallerFolders(folder, root);
}

void Installs::removeEmptyManagedInstallerFolders(const QString &startingAt, const QString &root) {
    // Real paths only: a link inside the managed folder must not carry the pruning (nor
    // the climb back up) to folders elsewhere.
    const QString rootPath = QFileInfo(standardised(root)).canonicalFilePath();
    QString folder = QFileInfo(standardised(startingAt)).canonicalFilePath();
    while (!rootPath.isEmpty() && !folder.isEmpty() && isInside(folder, rootPath)) {
        const QDir dir(folder);
        if (!QFileInfo(folder).isDir() ||
            !dir.isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
            return;
        }
        QDir().rmdir(folder);
        if (folder == rootPath) {
            return; // the managed folder goes when empty, "Vrel 插件管理器" never
        }
        folder = QFileInfo(folder).absolutePath();
    }
}

} // namespace quillon
