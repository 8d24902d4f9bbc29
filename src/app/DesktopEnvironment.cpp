#include "app/DesktopEnvironment.h"

#include "core/FixedURLs.h"
#include "platform/desktop/DesktopServices.h"
#include "platform/Logging.h"

namespace quillon {

std::optional<QUrl> serviceBaseFromSetting(const QString &setting) {
    QUrl base(setting.trimmed(), QUrl::StrictMode);
    const QString scheme = base.scheme().toLower();
    if (!base.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")) ||
        base.host().isEmpty() || base.hasQuery() || base.hasFragment() || !base.userInfo().isEmpty()) {
        return std::nullopt;
    }
    // Request paths are appended to the base: it names a folder.
    if (!base.path().endsWith(QLatin1Char('/'))) {
        base.setPath(base.path() + QLatin1Char('/'));
    }
    return base;
}

ModelEnvironment desktopEnvironment(const QStringList &arguments, bool isGuidePreview) {
    ModelEnvironment environment;
    environment.preferences = Preferences::standard();
    environment.paths = SystemPaths::current();
    environment.tools = SystemTools::current();
    environment.workspace = std::make_shared<DesktopWorkspace>(SystemTools::standInFolder(), environment.paths.systemRoot);
    environment.pasteboard = std::make_shared<DesktopPasteboard>();
    environment.alerts = std::make_shared<DesktopAlerts>();
    environment.apiBase = apiBase();
    environment.updateManifestURL = updateManifestURL();
#ifndef Q_OS_MACOS
    // The macOS build always talks to the studio's own hosts.
    if (const QString setting = qEnvironmentVariable(serviceBaseVariable); !setting.isEmpty()) {
        if (const std::optional<QUrl> base = serviceBaseFromSetting(setting)) {
            environment.apiBase = *base;
            environment.updateManifestURL = base->resolved(QUrl(updateManifestPath()));
        } else {
            qCWarning(lcPlatform, "%s is not an http or https address (%s): using the studio's service",
                      serviceBaseVariable, qUtf8Printable(setting));
        }
    }
#endif
    environment.timing = Timing::standard();
    environment.arguments = arguments;
    environment.isGuidePreview = isGuidePreview;
    return environment;
}

} // namespace quillon
