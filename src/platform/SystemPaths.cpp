#include "platform/SystemPaths.h"

#include <QDir>
#include <QStandardPaths>

namespace quillon {

SystemPaths SystemPaths::current() {
    SystemPaths paths;
    const QByteArray sandbox = qgetenv(sandboxRootVariable);
    paths.systemRoot = sandbox.isEmpty() ? QStringLiteral("/") : QDir::cleanPath(QString::fromLocal8Bit(sandbox));
    paths.home = QDir::homePath();
#ifdef Q_OS_MACOS
    paths.applicationSupport = QDir(paths.home).filePath(QStringLiteral("Library/Application Support"));
#else
    paths.applicationSupport = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
#endif
    paths.downloads = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    if (paths.downloads.isEmpty()) {
        paths.downloads = QDir(paths.home).filePath(QStringLiteral("Downloads"));
    }
    paths.temporary = QDir::tempPath();
    return paths;
}

QString SystemPaths::underSystemRoot(const QString &absolutePath) const {
    if (systemRoot.isEmpty() || systemRoot == QStringLiteral("/")) {
        return QDir::cleanPath(absolutePath);
    }
    return QDir::cleanPath(systemRoot + QLatin1Char('/') + absolutePath);
}

} // namespace quillon
