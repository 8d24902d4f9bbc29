#pragma once
// What the process was started with.

#include <QString>
#include <QStringList>

#include <optional>

namespace quillon {

/// The bundle identifier that turns on the location guide preview by itself.
inline const QString kPreviewBundleIdentifier = QStringLiteral("com.vrel.quillon.preview379");

/// True when `arguments` hold exactly "--preview-install-guide", or the bundle is the preview build.
bool isGuidePreview(const QStringList &arguments, const std::optional<QString> &bundleIdentifier);

/// The same for this process, decided once on first use.
bool isGuidePreview();

} // namespace quillon
