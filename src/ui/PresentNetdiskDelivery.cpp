#include "ui/Sheets.h"

#include "core/PluginManager.h"

#include <QDialog>

namespace quillon {

QDialog *makeNetdiskDeliverySheet(PluginManager &manager, QWidget *host) {
    Q_UNUSED(manager)
    return makePlaceholderSheet(QStringLiteral("网盘内容"), host);
}

} // namespace quillon
