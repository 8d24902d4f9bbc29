#pragma once
// The fixed addresses of the studio's services.

#include <QStringList>
#include <QUrl>

namespace quillon {

/// The account service; request paths are appended to it.
inline QUrl apiBase() { return QUrl(QStringLiteral("https://api.vrel.cn/")); }

/// Where the self-update manifest lies on its host.
inline QString updateManifestPath() { return QStringLiteral("downloads/vrel-plugin-manager-update.json"); }

/// The self-update manifest.
inline QUrl updateManifestURL() {
    return QUrl(QStringLiteral("https://download.vrel.cn/")).resolved(QUrl(updateManifestPath()));
}

/// The two hosts of the studio's download CDN; packages fetched from them over https
/// carry the shop's root URL as "Referer", which the CDN's hotlink protection asks for.
inline QStringList downloadCDNHosts() {
    return {QStringLiteral("cdn.vrel.cn"), QStringLiteral("dl.vrel.cn")};
}

/// The root URL of the studio's web shop (its https origin followed by "/").
inline QUrl shopRootURL() { return QUrl(QStringLiteral("https://www.vrel.cn/")); }

} // namespace quillon
