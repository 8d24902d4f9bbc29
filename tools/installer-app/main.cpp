// Stand-in for the macOS Installer app, which opens the packages the program hands off.
//
//   quillon-installer-app [--install-and-quit] <package>
//
// shows a window with the package's name; "安装" installs it with the stand-in installer
// beside this program (which installs under QUILLON_SANDBOX_ROOT, inherited from the
// environment). Like the real Installer it stays open with the outcome until the user
// closes it, and it cannot be closed while the install runs.
//
// --install-and-quit presses "安装" itself, prints the outcome and quits as soon as the
// install ends, so tests drive the same window without clicking.
//
// Exit status: 0 when the package was installed, 1 when not (failed, or closed before
// installing), 2 on wrong arguments.

#include "InstallerWindow.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QTimer>

#include <cstdio>

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    QStringList arguments = app.arguments().mid(1);
    const bool installAndQuit = arguments.removeAll(QStringLiteral("--install-and-quit")) > 0;
    if (arguments.size() != 1) {
        std::fputs("usage: quillon-installer-app [--install-and-quit] <package>\n", stderr);
        return 2;
    }

    InstallerWindow window(QFileInfo(arguments.first()).absoluteFilePath(),
                           QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("installer")));
    window.show();
    if (installAndQuit) {
        window.onFinished = [&window] {
            const QByteArray line = window.statusText().toUtf8() + '\n';
            std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
            std::fflush(stdout);
            QCoreApplication::quit();
        };
        // From inside the event loop, so that an install ending at once still ends the loop.
        QTimer::singleShot(0, &window, [&window] { window.install(); });
    }
    app.exec();
    return window.succeeded() ? 0 : 1;
}
