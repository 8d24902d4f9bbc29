#include "platform/desktop/DesktopServices.h"

#include "platform/RunningApplications.h"
#include "platform/desktop/AlertBox.h"
#include "platform/shared/AnnouncedApplications.h"

#ifdef Q_OS_MACOS
#include "platform/desktop/MacRunningApplications.h"
#endif

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QSet>

#include <csignal>

#include <sys/types.h>

namespace quillon {

DesktopWorkspace::DesktopWorkspace(QString standInFolder, QString systemRoot)
    : m_standInFolder(std::move(standInFolder)), m_systemRoot(std::move(systemRoot)) {}

bool DesktopWorkspace::openURL(const QUrl &url) { return QDesktopServices::openUrl(url); }

bool DesktopWorkspace::openFile(const QString &path) {
    if (!QFileInfo::exists(path)) {
        return false;
    }
#ifndef Q_OS_MACOS
    // A package opens in the stand-in Installer, detached so that it lives on as an
    // application of its own. The absolute path can never be read as an option.
    if (const ApplicationProgram *program = applicationOpening(path)) {
        return QProcess::startDetached(QDir(m_standInFolder).filePath(program->standIn),
                                       {QFileInfo(path).absoluteFilePath()});
    }
#endif
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void DesktopWorkspace::revealInFileManager(const QStringList &paths) {
    // Without a portable "select these files", open the folders that hold them, each once.
    QStringList folders;
    for (const QString &path : paths) {
        const QString folder = QFileInfo(path).absolutePath();
        if (!folders.contains(folder)) {
            folders.append(folder);
        }
    }
    for (const QString &folder : folders) {
        QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
    }
}

#ifdef Q_OS_MACOS

int DesktopWorkspace::runningApplicationCount(const QString &bundleIdentifier) {
    return mac::runningApplicationCount(bundleIdentifier);
}

void DesktopWorkspace::terminateApplications(const QString &bundleIdentifier) {
    mac::terminateApplications(bundleIdentifier);
}

#else

namespace {

/// This user's processes playing `bundleIdentifier`: the table's stand-in, found by its
/// executable, and every stand-in that announced that identifier.
QList<qint64> standInProcesses(const QString &standInFolder, const QString &systemRoot,
                               const QString &bundleIdentifier) {
    QSet<qint64> ids;
    if (const ApplicationProgram *program = applicationProgram(bundleIdentifier)) {
        for (const qint64 id : runningProcessesOf(QDir(standInFolder).filePath(program->standIn))) {
            ids.insert(id);
        }
    }
    for (const qint64 id : announcedProcessesOf(systemRoot, bundleIdentifier)) {
        ids.insert(id);
    }
    return ids.values();
}

} // namespace

int DesktopWorkspace::runningApplicationCount(const QString &bundleIdentifier) {
    return int(standInProcesses(m_standInFolder, m_systemRoot, bundleIdentifier).size());
}

void DesktopWorkspace::terminateApplications(const QString &bundleIdentifier) {
    for (const qint64 id : standInProcesses(m_standInFolder, m_systemRoot, bundleIdentifier)) {
        ::kill(pid_t(id), SIGTERM);
    }
}

#endif

void DesktopPasteboard::setString(const QString &text) {
    QClipboard *clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(text);
}

QString DesktopPasteboard::string() const { return QGuiApplication::clipboard()->text(); }

int DesktopAlerts::runModal(const AlertRequest &request) {
    const AlertBox alert = alertBox(request, QApplication::activeWindow());
    alert.box->exec();
    return static_cast<int>(alert.buttons.indexOf(alert.box->clickedButton()));
}

} // namespace quillon
