// Whether a product of the member library is installed, and whether the service offers a
// newer package than the one installed.

#include "core/PluginManager.h"
#include "inventory/TemplateNameIndex.h"
#include "update/AppVersion.h"

#include <QFileInfo>

namespace quillon {

QStringList PluginManager::installedPluginPaths(const QString &productName) const {
    const QList<InstalledPlugin> &plugins = allTemplatePlugins();
    QStringList paths;
    for (qsizetype i : templateNameIndex().matching(productName)) {
        paths.append(plugins.at(i).paths);
    }
    return paths;
}

bool PluginManager::isProductInstalled(const MemberProduct &product) const {
    if (hasInstallReceipt(product.productKey)) {
        return true;
    }
    for (const QString &path : savedInstalledProductPaths(product.productKey)) {
        if (QFileInfo::exists(path)) {
            return true;
        }
    }
    const QList<InstalledPlugin> &plugins = allTemplatePlugins();
    for (qsizetype i : templateNameIndex().matching(product.productName)) {
        if (!plugins.at(i).paths.isEmpty()) {
            return true;
        }
    }
    return false;
}

bool PluginManager::isProductUpdateAvailable(const MemberProduct &product) const {
    if (!isProductInstalled(product) || !product.packageVersion) {
        return false;
    }
    const QString offered = product.packageVersion->trimmed();
    if (offered.isEmpty()) {
        return false;
    }
    const std::optional<QString> installed = savedInstalledVersion(product.productKey);
    if (!installed || installed->isEmpty()) {
        // Installed without a known version: offer the package.
        return true;
    }
    return AppVersion::compare(offered, *installed) == AppVersion::Order::descending;
}

} // namespace quillon
