#include "core/PluginManager.h"

namespace quillon {

// The template scan arrives with the installed plug-ins panel; until then nothing is listed.
void PluginManager::refreshInstalledPlugins() {}

} // namespace quillon
