// Whether a product of the member library is installed, and whether the service offers a
// newer package than the one installed.

#include "inventory/Inventory.h"
#include "inventory/TemplateNameIndex.h"
#include "records/AppVersion.h"

#include <QFileInfo>

namespace quillon {

QStringList Inventory::installedPluginPaths(const QString &productName) const {
    const QList<InstalledPlugin> &plugins = m_host.allTemplatePlugins();
    QStringList paths;
    for (qsizetype i : templateNameIndex().matching(productName)) {
        paths.append(plugins.at(i).paths);
    }
    return paths;
}

bool Inventory::isProductInstalled(const MemberProduct &product) const {
    const InstallRecords stored = records();
    if (stored.hasInstallReceipt(product.productKey)) {
        return true;
    }
    for (const QString &path : stored.savedInstalledProductPaths(product.productKey)) {
        if (QFileInfo::exists(path)) {
            return true;
        }
    }
    const QList<InstalledPlugin> &plugins = m_host.allTemplatePlugins();
    for (qsizetype i : templateNameIndex().matching(product.productName)) {
        if (!plugins.at(i).paths.isEmpty()) {
            return true;
        }
    }
    return false;
}

bool Inventory::isProductUpdateAvailable(const MemberProduct &product) const {
    if (!isProductInstalled(product) || !product.packageVersion) {
        return false;
    }
    const QString offered = product.packageVersion->trimmed();
    if (offered.isEmpty()) {
        return false;
    }
    const std::optional<QString> installed = records().savedInstalledVersion(product.productKey);
    if (!installed || installed->isEmpty()) {
        // Installed without a known version: offer the package.
        return true;
    }
    return AppVersion::compare(offered, *installed) == AppVersion::Order::descending;
}

} // namespace quillon
