#pragma once
// The real desktop: the user's preferences, folders and tools, the system browser,
// clipboard and message boxes, and the studio's service addresses.

#include "core/ModelEnvironment.h"

namespace quillon {

/// The environment of the running application (`isGuidePreview` from the process).
ModelEnvironment desktopEnvironment(const QStringList &arguments, bool isGuidePreview);

} // namespace quillon
