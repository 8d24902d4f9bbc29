#pragma once
// One logging category per subsystem. Every failure the program deliberately ignores
// (a probe that selects the plain download, a clean-up that could not delete, a reply
// that arrived for an old selection) is recorded here, never swallowed without a trace.

#include <QLoggingCategory>

namespace quillon {

Q_DECLARE_LOGGING_CATEGORY(lcAccount)   // "quillon.account": sign-in, account sync, member library
Q_DECLARE_LOGGING_CATEGORY(lcInstall)   // "quillon.install": downloads, installs, hand-off, clean-up
Q_DECLARE_LOGGING_CATEGORY(lcInventory) // "quillon.inventory": template scan, uninstall, repair
Q_DECLARE_LOGGING_CATEGORY(lcUpdate)    // "quillon.update": the update check
Q_DECLARE_LOGGING_CATEGORY(lcPlatform)  // "quillon.platform": preferences, desktop services
Q_DECLARE_LOGGING_CATEGORY(lcUi)        // "quillon.ui": windows, sheets

} // namespace quillon
