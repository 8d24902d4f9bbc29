// Which Final Cut Pro categories and folders an install touched or a browse shows.

#include "inventory/Inventory.h"
#include "inventory/PluginInstallMatcher.h"
#include "inventory/TemplateNameIndex.h"

#include <algorithm>

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

void Inventory::beginLocationCollection(bool isBatch) {
    InstallLocationSummary summary;
    summary.isBatch = isBatch;
    m_host.setLocationSummary(summary);
    m_host.setShowLocationGuide(false);
    m_host.setCollectingLocations(true);
}

void Inventory::recordInstallLocation(const QString &name, const std::optional<QString> &productKey,
                                          const QSet<QString> &previousPaths) {
    refreshInstalledPlugins();
    recordInstallLocationsFromLastScan({InstalledProductName{name, productKey}}, previousPaths);
}

void Inventory::recordInstallLocationsFromLastScan(const QList<InstalledProductName> &products,
                                                       const QSet<QString> &previousPaths) {
    const QList<InstalledPlugin> &plugins = m_host.allTemplatePlugins();
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
            const QStringList paths = records().savedInstalledProductPaths(*product.productKey);
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

    InstallLocationSummary summary = m_host.collectingLocations() ? m_host.locationSummary() : InstallLocationSummary();
    summary.recordAll(items);
    m_host.setLocationSummary(summary);
    if (!m_host.collectingLocations()) {
        m_host.setShowLocationGuide(true);
    }
}

void Inventory::addPendingInstall(const QString &name) {
    InstallLocationSummary summary = m_host.collectingLocations() ? m_host.locationSummary() : InstallLocationSummary();
    summary.pending.append(name);
    m_host.setLocationSummary(summary);
    if (!m_host.collectingLocations()) {
        m_host.setShowLocationGuide(true);
    }
}

void Inventory::addInstallFailure(const QString &line) {
    InstallLocationSummary summary = m_host.locationSummary();
    summary.failures.append(line);
    m_host.setLocationSummary(summary);
}

void Inventory::addEntriesOfNewFolders(const QSet<QString> &before) {
    QList<InstallLocationEntry> fallback;
    for (const InstalledPlugin &plugin : m_host.allTemplatePlugins()) {
        const bool isNew = std::any_of(plugin.paths.begin(), plugin.paths.end(),
                                       [&](const QString &path) { return !before.contains(path); });
        const std::optional<FCPLocation> category = fcpLocationFromRawValue(plugin.category);
        if (isNew && category) {
            QString folder = plugin.name;
            folder.remove(QStringLiteral(".localized"));
            fallback.append(InstallLocationEntry{*category, folder});
        }
    }
    if (fallback.isEmpty()) {
        return;
    }
    InstallLocationSummary summary = m_host.locationSummary();
    QList<InstallLocationEntry> entries;
    QSet<InstallLocationEntry> seen;
    for (const QList<InstallLocationEntry> *list : {&summary.entries, &fallback}) {
        for (const InstallLocationEntry &entry : *list) {
            if (!seen.contains(entry)) {
                seen.insert(entry);
                entries.append(entry);
            }
        }
    }
    std::sort(entries.begin(), entries.end(),
              [](const InstallLocationEntry &a, const InstallLocationEntry &b) { return a.id() < b.id(); });
    summary.entries = entries;
    m_host.setLocationSummary(summary);
}

void Inventory::finishLocationCollection() {
    m_host.setCollectingLocations(false);
    const InstallLocationSummary &summary = m_host.locationSummary();
    if (!summary.succeeded.isEmpty()) {
        const QString hint = QStringLiteral("请重启 FCP");
        if (!m_host.installMessage().contains(hint)) {
            m_host.setInstallMessage(m_host.installMessage() + QStringLiteral(" 请重启 FCP。"));
        }
        // Only a batch's own status line gets the hint: after a single or queue install, the
        // line still shows an earlier batch, perhaps one that was stopped and installed nothing.
        if (summary.isBatch && !m_host.batchInstallStatus().isEmpty() && !m_host.batchInstallStatus().contains(hint)) {
            m_host.setBatchInstallStatus(m_host.batchInstallStatus() + QStringLiteral("；请重启 FCP"));
        }
    }
    if (!summary.entries.isEmpty() || !summary.succeeded.isEmpty() || !summary.failures.isEmpty() ||
        !summary.pending.isEmpty()) {
        m_host.setShowLocationGuide(true);
    }
}

void Inventory::viewInstalledLocations(const std::optional<InstalledPlugin> &plugin) {
    if (m_host.isWorking() || m_host.collectingLocations()) {
        return;
    }
    if (!m_host.environment().isGuidePreview) {
        refreshInstalledPlugins();
    }
    const QList<InstalledPlugin> shown = plugin ? QList<InstalledPlugin>{*plugin} : m_host.installedPlugins();

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
    m_host.setLocationSummary(summary);
    m_host.setShowLocationGuide(true);
}

} // namespace quillon
