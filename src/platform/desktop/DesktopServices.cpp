#include "platform/desktop/DesktopServices.h"

#include "platform/DisplayText.h"
#include "platform/RunningApplications.h"
#include "platform/desktop/PlainTextWidgets.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>

#include <csignal>
#include <optional>

#include <sys/types.h>
#include <unistd.h>

namespace quillon {

DesktopWorkspace::DesktopWorkspace(QString standInFolder) : m_standInFolder(std::move(standInFolder)) {}

QString DesktopWorkspace::standInOf(const QString &bundleIdentifier) const {
    const ApplicationProgram *program = applicationProgram(bundleIdentifier);
    return program ? QDir(m_standInFolder).filePath(program->standIn) : QString();
}

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

namespace {

/// Runs pgrep or pkill over this user's processes named like the application; nullopt when it cannot run.
std::optional<QByteArray> runProcessTool(const QString &tool, QStringList arguments, const ApplicationProgram &program) {
    arguments << QStringLiteral("-x") << QStringLiteral("-U") << QString::number(::getuid()) << program.macOSProcessName;
    QProcess process;
    process.start(tool, arguments);
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished();
    }
    // Both tools exit 0 when some process matched, 1 when none did, higher on errors.
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() > 1) {
        return std::nullopt;
    }
    return process.exitCode() == 0 ? process.readAllStandardOutput().trimmed() : QByteArray();
}

} // namespace

// Qt lists no running applications, so the known applications are found by their process
// name among this user's processes. Applications outside the table count as not running.
int DesktopWorkspace::runningApplicationCount(const QString &bundleIdentifier) {
    const ApplicationProgram *program = applicationProgram(bundleIdentifier);
    if (!program) {
        return 0;
    }
    const std::optional<QByteArray> ids = runProcessTool(QStringLiteral("/usr/bin/pgrep"), {}, *program);
    // When pgrep cannot tell, the application counts as running: a package is better kept a
    // while than pulled away from an Installer that still reads it (the clean-up's hour
    // limit ends the wait anyway).
    if (!ids) {
        return 1;
    }
    return ids->isEmpty() ? 0 : int(ids->split('\n').size());
}

void DesktopWorkspace::terminateApplications(const QString &bundleIdentifier) {
    if (const ApplicationProgram *program = applicationProgram(bundleIdentifier)) {
        runProcessTool(QStringLiteral("/usr/bin/pkill"), {QStringLiteral("-TERM")}, *program);
    }
}

#else

// The stand-ins are found among this user's processes by their executable.
int DesktopWorkspace::runningApplicationCount(const QString &bundleIdentifier) {
    const QString standIn = standInOf(bundleIdentifier);
    return standIn.isEmpty() ? 0 : int(runningProcessesOf(standIn).size());
}

void DesktopWorkspace::terminateApplications(const QString &bundleIdentifier) {
    const QString standIn = standInOf(bundleIdentifier);
    if (standIn.isEmpty()) {
        return;
    }
    for (const qint64 id : runningProcessesOf(standIn)) {
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
    QMessageBox box(QApplication::activeWindow());
    switch (request.style) {
    case AlertRequest::Style::Informational:
        box.setIcon(QMessageBox::Information);
        break;
    case AlertRequest::Style::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case AlertRequest::Style::Critical:
        box.setIcon(QMessageBox::Critical);
        break;
    }
    // Alerts carry names and codes from the service: shown as the words they are.
    box.setText(displayLine(request.messageText));
    box.setInformativeText(displayNote(request.informativeText));
    keepPlainText(box);
    const QStringList titles = request.buttons.isEmpty() ? QStringList{QStringLiteral("好的")} : request.buttons;
    QList<QAbstractButton *> buttons;
    for (const QString &title : titles) {
        buttons.append(box.addButton(title, buttons.isEmpty() ? QMessageBox::AcceptRole : QMessageBox::RejectRole));
    }
    box.setDefaultButton(qobject_cast<QPushButton *>(buttons.first()));
    box.exec();
    return static_cast<int>(buttons.indexOf(box.clickedButton()));
}

} // namespace quillon
