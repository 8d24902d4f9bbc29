#include "platform/Logging.h"

namespace quillon {

Q_LOGGING_CATEGORY(lcAccount, "quillon.account")
Q_LOGGING_CATEGORY(lcInstall, "quillon.install")
Q_LOGGING_CATEGORY(lcInventory, "quillon.inventory")
Q_LOGGING_CATEGORY(lcUpdate, "quillon.update")
Q_LOGGING_CATEGORY(lcPlatform, "quillon.platform")
Q_LOGGING_CATEGORY(lcUi, "quillon.ui")

} // namespace quillon
