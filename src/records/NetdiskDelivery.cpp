#include "records/NetdiskDelivery.h"

#include <QStringList>

namespace quillon {

QString NetdiskDelivery::allClaimInformation() const {
    QStringList lines{QStringLiteral("百度网盘链接：") + shareURL.toString(QUrl::FullyEncoded)};
    if (!accessCode.isEmpty()) {
        lines.append(QStringLiteral("提取码：") + accessCode);
    }
    if (!archivePassword.isEmpty()) {
        lines.append(QStringLiteral("压缩包密码：") + archivePassword);
    }
    if (!note.trimmed().isEmpty()) {
        lines.append(QStringLiteral("说明：") + note);
    }
    return lines.join(QLatin1Char('\n'));
}

} // namespace quillon
