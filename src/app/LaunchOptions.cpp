#include "app/LaunchOptions.h"

#include "platform/Bundle.h"

#include <QCoreApplication>

namespace quillon {

bool isGuidePreview(const QStringList &arguments, const std::optional<QString> &bundleIdentifier) {
    return arguments.contains(QStringLiteral("--preview-install-guide")) ||
           (bundleIdentifier && *bundleIdentifier == kPreviewBundleIdentifier);
}

bool isGuidePreview() {
    static const bool value = isGuidePreview(QCoreApplication::arguments(), Bundle::mainBundleIdentifier());
    return value;
}

} // namespace quillon
