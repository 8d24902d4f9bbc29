#include "platform/desktop/DesktopEnvironment.h"

#include "core/FixedURLs.h"
#include "platform/desktop/DesktopServices.h"

namespace quillon {

ModelEnvironment desktopEnvironment(const QStringList &arguments, bool isGuidePreview) {
    ModelEnvironment environment;
    environment.preferences = Preferences::standard();
    environment.paths = SystemPaths::current();
    environment.tools = SystemTools::current();
    environment.workspace = std::make_shared<DesktopWorkspace>();
    environment.pasteboard = std::make_shared<DesktopPasteboard>();
    environment.alerts = std::make_shared<DesktopAlerts>();
    environment.apiBase = apiBase();
    environment.updateManifestURL = updateManifestURL();
    environment.timing = Timing::standard();
    environment.arguments = arguments;
    environment.isGuidePreview = isGuidePreview;
    return environment;
}

} // namespace quillon
