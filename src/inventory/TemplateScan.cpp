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

// Calls `found(name, path)` for each immediate sub-folder of `folder`, in listing order.
template <typename Found>
void listPluginFolders(const QString &folder, Found found) {
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        // The entry's own type, as the listing reports it: a link to a folder is a link.
        if (info.isSymLink() || !info.isDir()) {
            continue;
        }
        QString name = info.fileName();
        if (name == QLatin1String(".localized")) {
            continue;
        }
        found(std::move(name), it.filePath());
    }
}

} // namespace

QList<InstalledPlugin> scanTemplateTrees(const QStringList &roots) {
    // One record per category word and folder name, in the order first found. Names are
    // told apart by their composed forms: one tree may hold a name composed and the other
    // the same name decomposed (file systems differ in what they keep), and that is still
    // one plug-in. The record takes the spelling found first, which is the system tree's,
    // and each path stays exactly as on disk.
    QList<InstalledPlugin> records;
    QStringList composedNames;
    std::vector<int> categoryOfRecord;
    const QList<TemplateCategory> &categories = templateCategories();
    for (int c = 0; c < categories.size(); ++c) {
        const TemplateCategory &category = categories.at(c);
        QHash<QString, qsizetype> positions;
        for (const QString &root : roots) {
            listPluginFolders(root + QLatin1Char('/') + category.folder, [&](QString name, QString path) {
                QString composed = name.normalized(QString::NormalizationForm_C);
                const auto found = positions.constFind(composed);
                if (found != positions.constEnd()) {
                    records[*found].paths.append(std::move(path));
                    return;
                }
                // The record's identity is word + "::" + name; a name that itself holds "::"
                // would not split back into the two, so it gives no record.
                if (name.contains(QLatin1String("::"))) {
                    return;
                }
                positions.insert(composed, records.size());
                composedNames.append(std::move(composed));
                records.append(InstalledPlugin{category.word, std::move(name), QStringList{std::move(path)}});
                categoryOfRecord.push_back(c);
            });
        }
    }

    // Stable sort by category word, then name, both by code points of their composed forms.
    std::vector<int> categoryRank(size_t(categories.size()), 0);
    for (int c = 0; c < categories.size(); ++c) {
        const QString word = categories.at(c).word.normalized(QString::NormalizationForm_C);
        for (int d = 0; d < categories.size(); ++d) {
            if (compareCodePoints(categories.at(d).word.normalized(QString::NormalizationForm_C), word) < 0) {
                ++categoryRank[size_t(c)];
            }
        }
    }
    std::vector<qsizetype> order(size_t(records.size()));
    for (size_t i = 0; i < order.size(); ++i) {
        order[i] = qsizetype(i);
    }
    std::stable_sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) {
        const int ra = categoryRank[size_t(categoryOfRecord[size_t(a)])];
        const int rb = categoryRank[size_t(categoryOfRecord[size_t(b)])];
        if (ra != rb) {
            return ra < rb;
        }
        return compareCodePoints(composedNames.at(a), composedNames.at(b)) < 0;
    });

    QList<InstalledPlugin> sorted;
    sorted.reserve(records.size());
    for (qsizetype i : order) {
        sorted.append(std::move(records[i]));
    }
    return sorted;
}

void PluginManager::refreshInstalledPlugins() {
    QList<InstalledPlugin> all = scanTemplateTrees(templateRoots(environment().paths));
    setAllTemplatePlugins(all);
    // The previous index lends the folded forms of the names that are still there.
    m_templateNameIndex = std::make_shared<const TemplateNameIndex>(all, m_templateNameIndex.get());

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
