#include "platform/SystemTools.h"

#include "platform/SystemPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace quillon {

SystemTools SystemTools::macOS() {
    return SystemTools{
        QStringLiteral("/usr/bin/osascript"),
        QStringLiteral("/usr/sbin/installer"),
        QStringLiteral("/usr/bin/codesign"),
        QStringLiteral("/System/Library/Frameworks/CoreServices.framework/Versions/A/Frameworks/"
                       "LaunchServices.framework/Versions/A/Support/lsregister"),
        QStringLiteral("/usr/bin/pluginkit"),
        QStringLiteral("/bin/rm"),
    };
}

SystemTools SystemTools::standIns(const QString &folder) {
    const QDir dir(folder);
    return SystemTools{
        dir.filePath(QStringLiteral("osascript")),
        dir.filePath(QStringLiteral("installer")),
        dir.filePath(QStringLiteral("codesign")),
        dir.filePath(QStringLiteral("lsregister")),
        dir.filePath(QStringLiteral("pluginkit")),
        QStringLiteral("/bin/rm"),
    };
}

QProcessEnvironment toolProcessEnvironment(const QString &systemRoot) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (!systemRoot.isEmpty() && systemRoot != QStringLiteral("/")) {
        environment.insert(QString::fromLatin1(SystemPaths::sandboxRootVariable), systemRoot);
    }
    return environment;
}

SystemTools SystemTools::current() {
#ifdef Q_OS_MACOS
    return macOS();
#else
    return standIns(standInFolder());
#endif
}

QString SystemTools::standInFolder() {
    // An installed copy keeps its tools beside the executable; a build tree has them in tools/.
    const QString beside = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("tools"));
    if (QFileInfo(QDir(beside).filePath(QStringLiteral("osascript"))).isExecutable()) {
        return beside;
    }
    return QStringLiteral(QUILLON_TOOLS_DIR);
}

} // namespace quillon
