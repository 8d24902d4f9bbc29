#include "ui/Sheets.h"

#include "core/PluginManager.h"

#include <QDialog>

namespace quillon {

QDialog *makeWechatLoginSheet(PluginManager &manager, QWidget *host) {
    Q_UNUSED(manager)
    return makePlaceholderSheet(QStringLiteral("微信扫码登录"), host);
}

} // namespace quillon
