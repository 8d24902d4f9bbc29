#include "ui/Sheets.h"
#include "ui/WechatLoginSheet.h"

namespace quillon {

QDialog *makeWechatLoginSheet(PluginManager &manager, QWidget *host) { return new WechatLoginSheet(manager, host); }

} // namespace quillon
