// Whether a product of the member library is installed, and whether the service offers a
// newer package than the one installed.

#include "inventory/Inventory.h"
#include "inventory/TemplateNameIndex.h"
#include "inventory/TemplateScan.h"
#include "records/AppVersion.h"

#include <QFile>

#include <unistd.h>

namespace quillon {

QStringList Inventory::installedPluginPaths(const QString &productName) const {
    const QList<InstalledPlugin> &plugins = m_host.allTemplatePlugins();
    QStringList paths;
    for (qsizetype i : templateNameIndex().matching(productName)) {
        paths.append(plugins.at(i).paths);
    }
    return paths;
}

const Inventory::StoredProduct &Inventory::storedProduct(const QString &productKey) const {
    const Preferences *preferences = m_host.environment().preferences.get();
    if (preferences != m_storedFrom || preferences->generation() != m_storedGeneration) {
        m_storedProducts.clear();
        m_storedFrom = preferences;
        m_storedGeneration = preferences->generation();
    }
    const auto known = m_storedProducts.constFind(productKey);
    if (known != m_storedProducts.cend()) {
        return *known;
    }
    const InstallRecords records = this->records();
    StoredProduct stored;
    stored.receipt = records.hasInstallReceipt(productKey);
    for (const QString &path : records.savedInstalledProductPaths(productKey)) {
        stored.paths.append(QFile::encodeName(path));
    }
    stored.version = records.savedInstalledVersion(productKey);
    return *m_storedProducts.insert(productKey, std::move(stored));
}

bool Inventory::isProductInstalled(const MemberProduct &product) const {
    const StoredProduct &stored = storedProduct(product.productKey);
    if (stored.receipt) {
        return true;
    }
    // Looked at now, every time: a folder removed behind the program's back stops counting
    // at once. A file or a folder counts; a link counts when its target exists.
    for (const QByteArray &path : stored.paths) {
        if (!path.isEmpty() && ::access(path.constData(), F_OK) == 0) {
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
    // The offer is read first: it costs nothing, and without one the product's folders
    // need not be looked at.
    if (!product.packageVersion) {
        return false;
    }
    const QString offered = product.packageVersion->trimmed();
    if (offered.isEmpty() || !isProductInstalled(product)) {
        return false;
    }
    const std::optional<QString> &installed = storedProduct(product.productKey).version;
    if (!installed || installed->isEmpty()) {
        // Installed without a known version: offer the package.
        return true;
    }
    return AppVersion::compare(offered, *installed) == AppVersion::Order::descending;
}

} // namespace quillon
