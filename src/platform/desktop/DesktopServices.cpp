#include "platform/desktop/DesktopServices.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

namespace quillon {

bool DesktopWorkspace::openURL(const QUrl &url) { return QDesktopServices::openUrl(url); }

bool DesktopWorkspace::openFile(const QString &path) {
    if (!QFileInfo::exists(path)) {
        return false;
    }
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

int DesktopWorkspace::runningApplicationCount(const QString &bundleIdentifier) {
    // Application bundles exist only on macOS; elsewhere no bundle is ever running.
    Q_UNUSED(bundleIdentifier)
    return 0;
}

void DesktopWorkspace::terminateApplications(const QString &bundleIdentifier) { Q_UNUSED(bundleIdentifier) }

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
    box.setText(request.messageText);
    box.setInformativeText(request.informativeText);
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
