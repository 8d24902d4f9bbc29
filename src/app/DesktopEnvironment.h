#pragma once
// The real desktop: the user's preferences, folders and tools, the system browser,
// clipboard and message boxes, and the studio's service addresses.

#include "records/ModelEnvironment.h"

#include <optional>

namespace quillon {

/// Off macOS, the environment setting that points the program at another studio service
/// (the stand-in of tools/studio-service in a trial run); the update manifest follows it.
inline constexpr const char *serviceBaseVariable = "QUILLON_SERVICE_BASE";

/// The service base a setting names: an http or https address, its path ending in "/";
/// nothing when the setting is empty or names no such address.
std::optional<QUrl> serviceBaseFromSetting(const QString &setting);

/// The environment of the running application (`isGuidePreview` from the process).
ModelEnvironment desktopEnvironment(const QStringList &arguments, bool isGuidePreview);

} // namespace quillon
