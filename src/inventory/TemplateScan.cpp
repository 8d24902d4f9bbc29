#include "inventory/TemplateScan.h"

#include "core/PluginManager.h"
#include "inventory/PluginInstallMatcher.h"
#include "inventory/TemplateNameIndex.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QHash>

#include <algorithm>
#include <vector>

namespace quillon {

const QList<TemplateCategory> &templateCategories() {
    static const QList<TemplateCategory> categories{
        {QStringLiteral("发生器"), QStringLiteral("Generators.localized")},
        {QStringLiteral("字幕"), QStringLiteral("Titles.localized")},
        {QStringLiteral("效果"), QStringLiteral("Effects.localized")},
        {QStringLiteral("转场"), QStringLiteral("Transitions.localized")},
    };
    return categories;
}

QStringList templateRoots(const SystemPaths &paths) {
    return {
        paths.underSystemRoot(QStringLiteral("/Library/Application Support/Final Cut Pro/Templates.localized")),
        QDir::cleanPath(paths.home + QStringLiteral("/Movies/Motion Templates.localized")),
    };
}

int compareCodePoints(QStringView a, QStringView b) {
    // UTF-16 orders the units E000-FFFF above the surrogates of later planes; shifting both
    // ranges restores code-point order without decoding.
    const auto rank = [](char16_t u) -> char16_t {
        if (u < 0xD800) {
            return u;
        }
        return u >= 0xE000 ? char16_t(u - 0x800) : char16_t(u + 0x2000);
    };
    const qsizetype n = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t ua = a.at(i).unicode();
        const char16_t ub = b.at(i).unicode();
        if (ua != ub) {
            return rank(ua) < rank(ub) ? -1 : 1;
        }
    }
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

namespace {

// The immediate sub-folders of `folder`, in listing order; symbolic links do not count.
void listPluginFolders(const QString &folder, QStringList &names, QStringList &paths) {
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        const QString name = info.fileName();
        if (name == QStringLiteral(".localized")) {
            continue;
        }
        // The entry's own type: a link to a folder is a link, not a folder.
        if (info.isSymLink() || !info.isDir()) {
            continue;
        }
        names.append(name);
        paths.append(it.filePath());
    }
}

struct SortKey {
    QString category; // composed forms
    QString name;
};

} // namespace

QList<InstalledPlugin> scanTemplateTrees(const QStringList &roots) {
    // Group key -> paths, in the order the keys first appear.
    QHash<QString, qsizetype> positions;
    QStringList keys;
    QList<QStringList> groups;

    for (const TemplateCategory &category : templateCategories()) {
        for (const QString &root : roots) {
            QStringList names;
            QStringList paths;
            listPluginFolders(root + QLatin1Char('/') + category.folder, names, paths);
            for (qsizetype i = 0; i < names.size(); ++i) {
                const QString key = category.word + QStringLiteral("::") + names.at(i);
                const auto found = positions.constFind(key);
                if (found == positions.constEnd()) {
                    positions.insert(key, keys.size());
                    keys.append(key);
                    groups.append(QStringList{paths.at(i)});
                } else {
                    groups[*found].append(paths.at(i));
                }
            }
        }
    }

    QList<InstalledPlugin> records;
    std::vector<SortKey> sortKeys;
    records.reserve(keys.size());
    sortKeys.reserve(size_t(keys.size()));
    for (qsizetype i = 0; i < keys.size(); ++i) {
        // A folder name that itself holds "::" cannot be told apart from the key's separator.
        const QStringList parts = keys.at(i).split(QStringLiteral("::"));
        if (parts.size() != 2) {
            continue;
        }
        records.append(InstalledPlugin{parts.at(0), parts.at(1), groups.at(i)});
        sortKeys.push_back({parts.at(0).normalized(QString::NormalizationForm_C),
                            parts.at(1).normalized(QString::NormalizationForm_C)});
    }

    std::vector<qsizetype> order(size_t(records.size()));
    for (size_t i = 0; i < order.size(); ++i) {
        order[i] = qsizetype(i);
    }
    std::stable_sort(order.begin(), order.end(), [&sortKeys](qsizetype a, qsizetype b) {
        const SortKey &ka = sortKeys[size_t(a)];
        const SortKey &kb = sortKeys[size_t(b)];
        if (const int c = compareCodePoints(ka.category, kb.category); c != 0) {
            return c < 0;
        }
        return compareCodePoints(ka.name, kb.name) < 0;
    });

    QList<InstalledPlugin> sorted;
    sorted.reserve(records.size());
    for (qsizetype i : order) {
        sorted.append(records.at(i));
    }
    return sorted;
}

void PluginManager::refreshInstalledPlugins() {
    QList<InstalledPlugin> all = scanTemplateTrees(templateRoots(environment().paths));
    setAllTemplatePlugins(all);
    m_templateNameIndex = std::make_shared<const TemplateNameIndex>(all);

    // Published: the studio's own folders and those of a member product.
    std::vector<char> productFolders;
    for (const MemberProduct &product : memberProducts()) {
        m_templateNameIndex->markMatches(
            PluginInstallMatcher::matchableAliases(product.productName, PluginInstallMatcher::aliasTable()),
            productFolders);
    }
    productFolders.resize(size_t(all.size()), 0);

    QList<InstalledPlugin> published;
    for (qsizetype i = 0; i < all.size(); ++i) {
        const InstalledPlugin &plugin = all.at(i);
        if (plugin.name.contains(QLatin1String(templateBrandWord), Qt::CaseInsensitive) || productFolders[size_t(i)]) {
            published.append(plugin);
        }
    }
    setInstalledPlugins(published);
}

const TemplateNameIndex &PluginManager::templateNameIndex() const {
    if (!m_templateNameIndex || !m_templateNameIndex->isFor(allTemplatePlugins())) {
        m_templateNameIndex = std::make_shared<const TemplateNameIndex>(allTemplatePlugins());
    }
    return *m_templateNameIndex;
}

} // namespace quillon
