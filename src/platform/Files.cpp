#include "platform/Files.h"

#include "platform/Failure.h"

#include <QDir>
#include <QUuid>

namespace quillon {

QString newUuid() { return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper(); }

void makeFolder(const QString &folder) {
    if (!QDir().mkpath(folder)) {
        throw PlatformError(QStringLiteral("无法创建文件夹“%1”。").arg(folder));
    }
}

} // namespace quillon
