#pragma once
// The fixed addresses of the studio's services.

#include <QUrl>

namespace quillon {

/// The account service; request paths are appended to it.
inline QUrl apiBase() { return QUrl(QStringLiteral("https://api.vrel.cn/")); }

/// The self-update manifest.
inline QUrl updateManifestURL() {
    return QUrl(QStringLiteral("https://download.vrel.cn/downloads/vrel-plugin-manager-update.json"));
}

} // namespace quillon
