#include "ui/Sheets.h"

#include "core/PluginManager.h"

#include <QDialog>

namespace quillon {

QDialog *makeLocationGuideSheet(PluginManager &manager, QWidget *host) {
    Q_UNUSED(manager)
    return makePlaceholderSheet(QStringLiteral("安装位置"), host);
}

} // namespace quillon
