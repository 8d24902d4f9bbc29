// Which Final Cut Pro categories and folders an install touched or a browse shows.

#include "core/PluginManager.h"
#include "inventory/PluginInstallMatcher.h"
#include "inventory/TemplateNameIndex.h"

namespace quillon {
namespace {

// The entry of a scanned folder; nothing when its category word is not one of the four.
std::optional<InstallLocationEntry> locationEntry(const InstalledPlugin &plugin) {
    const auto category = fcpLocationFromRawValue(plugin.category);
    if (!category) {
        return std::nullopt;
    }
    QString folder = plugin.name;
    folder.remove(QStringLiteral(".localized"), Qt::CaseSensitive);
    return InstallLocationEntry{*category, folder};
}

bool containsAny(const QStringList &paths, const QSet<QString> &set) {
    for (const QString &path : paths) {
        if (set.contains(path)) {
            return true;
        }
    }
    return false;
}

bool containsOutside(const QStringList &paths, const QSet<QString> &set) {
    for (const QString &path : paths) {
        if (!set.contains(path)) {
            return true;
        }
    }
    return false;
}

} // namespace

void PluginManager::beginLocationCollection(bool isBatch) {
    InstallLocationSummary summary;
    summary.isBatch = isBatch;
    setLocationSummary(summary);
    setShowLocationGuide(false);
    setCollectingLocations(true);
}

void PluginManager::recordInstallLocation(const QString &name, const std::optional<QString> &productKey,
                                          const QSet<QString> &previousPaths) {
    refreshInstalledPlugins();
    recordInstallLocationsFromLastScan({InstalledProductName{name, productKey}}, previousPaths);
}

void PluginManager::recordInstallLocationsFromLastScan(const QList<InstalledProductName> &products,
                                                       const QSet<QString> &previousPaths) {
    const QList<InstalledPlugin> &plugins = allTemplatePlugins();
    // Folders that appeared with the install count for every product alike.
    std::vector<char> appeared(size_t(plugins.size()), 0);
    for (qsizetype i = 0; i < plugins.size(); ++i) {
        appeared[size_t(i)] = containsOutside(plugins.at(i).paths, previousPaths);
    }

    QList<std::pair<QString, QList<InstallLocationEntry>>> items;
    items.reserve(products.size());
    for (const InstalledProductName &product : products) {
        QSet<QString> recorded;
        if (product.productKey) {
            const QStringList paths = savedInstalledProductPaths(*product.productKey);
            recorded = QSet<QString>(paths.begin(), paths.end());
        }
        std::vector<char> candidate = appeared;
        for (qsizetype i : templateNameIndex().matching(product.name)) {
            candidate[size_t(i)] = 1;
        }
        QList<InstallLocationEntry> entries;
        for (qsizetype i = 0; i < plugins.size(); ++i) {
            const InstalledPlugin &plugin = plugins.at(i);
            if (!candidate[size_t(i)] && !containsAny(plugin.paths, recorded)) {
                continue;
            }
            if (const auto entry = locationEntry(plugin)) {
                entries.append(*entry);
            }
        }
        items.append({product.name, entries});
    }

    InstallLocationSummary summary = collectingLocations() ? locationSummary() : InstallLocationSummary();
    summary.recordAll(items);
    setLocationSummary(summary);
    if (!collectingLocations()) {
        setShowLocationGuide(true);
    }
}

void PluginManager::finishLocationCollection() {
    setCollectingLocations(false);
    const InstallLocationSummary &summary = locationSummary();
    if (!summary.succeeded.isEmpty()) {
        const QString hint = QStringLiteral("请重启 FCP");
        if (!installMessage().contains(hint)) {
            setInstallMessage(installMessage() + QStringLiteral(" 请重启 FCP。"));
        }
        if (!batchInstallStatus().isEmpty() && !batchInstallStatus().contains(hint)) {
            setBatchInstallStatus(batchInstallStatus() + QStringLiteral("；请重启 FCP"));
        }
    }
    if (!summary.entries.isEmpty() || !summary.succeeded.isEmpty() || !summary.failures.isEmpty() ||
        !summary.pending.isEmpty()) {
        setShowLocationGuide(true);
    }
}

void PluginManager::viewInstalledLocations(const std::optional<InstalledPlugin> &plugin) {
    if (isWorking() || collectingLocations()) {
        return;
    }
    if (!environment().isGuidePreview) {
        refreshInstalledPlugins();
    }
    const QList<InstalledPlugin> shown = plugin ? QList<InstalledPlugin>{*plugin} : installedPlugins();

    QList<std::pair<QString, QList<InstallLocationEntry>>> items;
    items.reserve(shown.size());
    for (const InstalledPlugin &each : shown) {
        QList<InstallLocationEntry> entries;
        if (const auto entry = locationEntry(each)) {
            entries.append(*entry);
        }
        items.append({each.name, entries});
    }
    InstallLocationSummary summary;
    summary.recordAll(items);
    summary.isBatch = false;
    summary.isBrowsing = true;
    setLocationSummary(summary);
    setShowLocationGuide(true);
}

} // namespace quillon
