// Whether a product of the member library is installed, and whether the service offers a
// newer package than the one installed.

#include "inventory/Inventory.h"
#include "inventory/TemplateNameIndex.h"
#include "inventory/TemplateScan.h"
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

Inventory::StoredProduct &Inventory::storedProduct(const QString &productKey) const {
    const Preferences *preferences = m_host.environment().preferences.get();
    const TemplateScanner *scanner = m_templateScanner.get();
    const quint64 scan = scanner ? scanner->generation() : 0;
    if (preferences != m_storedFrom || preferences->generation() != m_storedGeneration || scanner != m_storedScanner ||
        scan != m_storedScan) {
        m_storedProducts.clear();
        m_storedFrom = preferences;
        m_storedGeneration = preferences->generation();
        m_storedScanner = scanner;
        m_storedScan = scan;
    }
    const auto known = m_storedProducts.find(productKey);
    if (known != m_storedProducts.end()) {
        return *known;
    }
    const InstallRecords records = this->records();
    StoredProduct stored;
    stored.receipt = records.hasInstallReceipt(productKey);
    stored.paths = records.savedInstalledProductPaths(productKey);
    stored.version = records.savedInstalledVersion(productKey);
    return *m_storedProducts.insert(productKey, std::move(stored));
}

bool Inventory::isProductInstalled(const MemberProduct &product) const {
    StoredProduct &stored = storedProduct(product.productKey);
    if (stored.receipt) {
        return true;
    }
    // A folder the product added to a template tree counts as the last scan found it, as
    // the folders matched by name below do, and the rows are laid out again after every
    // scan; any other path is looked at now, every time.
    if (!stored.judged) {
        for (const QString &path : std::as_const(stored.paths)) {
            const std::optional<bool> scanned =
                m_templateScanner ? m_templateScanner->foundInLastScan(path) : std::nullopt;
            if (!scanned) {
                stored.notInScan.append(path);
            }
            stored.foundInScan = stored.foundInScan || scanned.value_or(false);
        }
        stored.judged = true;
    }
    if (stored.foundInScan) {
        return true;
    }
    for (const QString &path : std::as_const(stored.notInScan)) {
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
