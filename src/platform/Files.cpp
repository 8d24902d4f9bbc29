#include "platform/Files.h"

#include <QDir>
#include <QUuid>

namespace quillon {

QString newUuid() { return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper(); }

PlatformError folderNotCreated(const QString &folder) {
    return PlatformError(QStringLiteral("无法创建文件夹“%1”。").arg(folder));
}

void makeFolder(const QString &folder) {
    if (!QDir().mkpath(folder)) {
        throw folderNotCreated(folder);
    }
}

} // namespace quillon
