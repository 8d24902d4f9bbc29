#include "inventory/TemplateScan.h"

#include "inventory/Inventory.h"
#include "inventory/TemplateNameIndex.h"
#include "platform/FolderListing.h"

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QFile>

#include <algorithm>
#include <cstring>
#include <numeric>
#include <string_view>
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

namespace {

// UTF-16 orders the units E000-FFFF above the surrogates of later planes; shifting both
// ranges restores code-point order without decoding.
char16_t codePointRank(char16_t u) {
    if (u < 0xD800) {
        return u;
    }
    return u >= 0xE000 ? char16_t(u - 0x800) : char16_t(u + 0x2000);
}

} // namespace

int compareCodePoints(QStringView a, QStringView b) {
    const qsizetype n = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t ua = a.at(i).unicode();
        const char16_t ub = b.at(i).unicode();
        if (ua != ub) {
            return codePointRank(ua) < codePointRank(ub) ? -1 : 1;
        }
    }
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

namespace {

/// One sub-folder of a category folder, in scan order.
struct FoundFolder {
    QString name;
    QString path;
    /// Where the sort key of its composed name lies in the category's key bytes.
    quint32 keyStart;
    quint32 keySize;
};

/// Appends the sort key of `composed`: each unit's code-point rank, high byte first, so
/// that comparing keys byte by byte orders names by code points. Equal keys are equal
/// names. The keys of a whole category lie side by side, which keeps the sort in cache.
void appendSortKey(const QString &composed, std::vector<unsigned char> &bytes) {
    for (const QChar c : composed) {
        const char16_t rank = codePointRank(c.unicode());
        bytes.push_back(static_cast<unsigned char>(rank >> 8));
        bytes.push_back(static_cast<unsigned char>(rank & 0xFF));
    }
}

/// The categories in sort order: by the code points of their composed words.
std::vector<qsizetype> categoriesInSortOrder() {
    const QList<TemplateCategory> &categories = templateCategories();
    std::vector<qsizetype> order(size_t(categories.size()));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) {
        return compareCodePoints(categories.at(a).word.normalized(QString::NormalizationForm_C),
                                 categories.at(b).word.normalized(QString::NormalizationForm_C)) < 0;
    });
    return order;
}

/// The records of one category from its listings, one per root in root order.
QList<InstalledPlugin> categoryRecords(const TemplateCategory &category, const QStringList &roots,
                                       const QList<FolderEntries> &listings) {
    std::vector<FoundFolder> found;
    std::vector<unsigned char> keys;
    for (qsizetype r = 0; r < roots.size(); ++r) {
        const QString folder = roots.at(r) + QLatin1Char('/') + category.folder;
        for (QString &name : namesOfListing(listings.at(r).folders)) {
            // The marker folder is no plug-in. The record's identity is word + "::" + name;
            // a name that itself holds "::" would not split back into the two, so it gives
            // no record.
            if (name == QLatin1String(".localized") || name.contains(QLatin1String("::"))) {
                continue;
            }
            const auto keyStart = quint32(keys.size());
            appendSortKey(name.normalized(QString::NormalizationForm_C), keys);
            QString path = folder + QLatin1Char('/') + name;
            found.push_back(FoundFolder{std::move(name), std::move(path), keyStart, quint32(keys.size()) - keyStart});
        }
    }

    // Sorted by the code points of the composed names; equal ones stay in scan order.
    // Names are told apart by their composed forms: one tree may hold a name composed and
    // the other the same name decomposed (file systems differ in what they keep), and that
    // is still one plug-in. The record takes the spelling found first, which is the system
    // tree's, and each path stays exactly as on disk.
    const auto keyOf = [&](quint32 i) {
        return std::string_view(reinterpret_cast<const char *>(keys.data()) + found[i].keyStart, found[i].keySize);
    };
    std::vector<quint32> order(found.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](quint32 a, quint32 b) {
        const int byName = keyOf(a).compare(keyOf(b));
        return byName != 0 ? byName < 0 : a < b;
    });
    QList<InstalledPlugin> records;
    records.reserve(qsizetype(found.size()));
    for (size_t n = 0; n < order.size(); ++n) {
        FoundFolder &folder = found[order[n]];
        if (n > 0 && keyOf(order[n - 1]) == keyOf(order[n])) {
            records.last().paths.append(std::move(folder.path));
            continue;
        }
        records.append(InstalledPlugin{category.word, std::move(folder.name), QStringList{std::move(folder.path)}});
    }
    return records;
}

} // namespace

TemplateScanner::TemplateScanner(std::function<qint64()> now) : m_now(std::move(now)) {
    if (!m_now) {
        m_now = [] { return QDateTime::currentDateTimeUtc().toMSecsSinceEpoch() * 1000000; };
    }
}

FolderEntries TemplateScanner::listing(const QString &folder, const Category *previous, qsizetype root,
                                       FolderStamp &settled) const {
    // Times this far behind the listing cannot share a tick of the file system's clock with a
    // later change, even where it counts whole seconds or two.
    constexpr qint64 settledNs = 3'000'000'000;
    const qint64 now = m_now();
    const FolderStamp stamp = folderStamp(folder);
    if (previous && stamp.valid && root < previous->settled.size() && previous->settled.at(root) == stamp &&
        root < previous->listings.size()) {
        settled = stamp;
        return previous->listings.at(root);
    }
    FolderEntries entries = folderEntries(folder);
    const bool isSettled = stamp.valid && entries.state == FolderEntries::State::listed &&
                           stamp.modifiedNs < now - settledNs && stamp.changedNs < now - settledNs;
    settled = isSettled ? stamp : FolderStamp();
    return entries;
}

QList<InstalledPlugin> TemplateScanner::scan(const QStringList &roots) {
    const std::vector<qsizetype> order = categoriesInSortOrder();
    m_categories.resize(order.size());
    bool changed = false;
    for (size_t n = 0; n < order.size(); ++n) {
        const TemplateCategory &category = templateCategories().at(order[n]);
        Category &previous = m_categories[n];
        const bool sameRoots = previous.roots == roots;
        QList<FolderEntries> listings;
        QList<FolderStamp> settled(roots.size());
        for (qsizetype r = 0; r < roots.size(); ++r) {
            const QString folder = roots.at(r) + QLatin1Char('/') + category.folder;
            listings.append(listing(folder, sameRoots ? &previous : nullptr, r, settled[r]));
        }
        if (sameRoots && previous.listings == listings) {
            previous.settled = settled;
            continue;
        }
        // Files and links are no plug-ins: when only they changed, the records stand.
        const bool sameFolders = previous.roots == roots && previous.listings.size() == listings.size() &&
                                 std::equal(listings.begin(), listings.end(), previous.listings.begin(),
                                            [](const FolderEntries &a, const FolderEntries &b) {
                                                return a.folders == b.folders;
                                            });
        if (sameFolders) {
            previous.listings = listings;
            previous.settled = settled;
            continue;
        }
        previous = Category{roots, listings, categoryRecords(category, roots, listings), settled};
        changed = true;
    }
    if (changed) {
        qsizetype count = 0;
        for (const Category &category : m_categories) {
            count += category.records.size();
        }
        m_all = QList<InstalledPlugin>();
        m_all.reserve(count);
        for (const Category &category : m_categories) {
            m_all.append(category.records);
        }
    }
    return m_all;
}

QList<InstalledPlugin> scanTemplateTrees(const QStringList &roots) { return TemplateScanner().scan(roots); }

Inventory::Inventory(InventoryHost &host) : m_host(host) {}

Inventory::~Inventory() = default;

void Inventory::refreshInstalledPlugins() {
    if (!m_templateScanner) {
        m_templateScanner = std::make_shared<TemplateScanner>();
    }
    m_host.setAllTemplatePlugins(m_templateScanner->scan(templateRoots(m_host.environment().paths)));
    // Published: the studio's own folders and those of a member product.
    m_host.setInstalledPlugins(templateNameIndex().published());
}

QSet<QString> Inventory::scannedPaths() const {
    QSet<QString> paths;
    for (const InstalledPlugin &plugin : m_host.allTemplatePlugins()) {
        for (const QString &path : plugin.paths) {
            paths.insert(path);
        }
    }
    return paths;
}

const TemplateNameIndex &Inventory::templateNameIndex() const {
    const QList<InstalledPlugin> &plugins = m_host.allTemplatePlugins();
    const QList<MemberProduct> &products = m_host.memberProducts();
    if (!m_templateNameIndex || !m_templateNameIndex->isFor(plugins, products)) {
        m_templateNameIndex = std::make_shared<const TemplateNameIndex>(plugins, products, m_templateNameIndex.get());
    }
    return *m_templateNameIndex;
}

} // namespace quillon
