#pragma once
// The listing of the Final Cut Pro and Motion template trees into plug-in records.

#include "platform/FolderListing.h"
#include "platform/SystemPaths.h"
#include "records/InstalledPlugin.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <unordered_set>
#include <vector>

namespace quillon {

/// One category folder of a template tree and the category word it stands for.
struct TemplateCategory final {
    QString word;   ///< "发生器", "字幕", "效果", "转场"
    QString folder; ///< "Generators.localized", ...
};

/// The four categories in scan order: generators, titles, effects, transitions.
const QList<TemplateCategory> &templateCategories();

/// The system tree, then the user's tree.
QStringList templateRoots(const SystemPaths &paths);

/// Every plug-in folder of the given trees, one record per category and folder name
/// (canonically equivalent names are one name, spelt as first found), sorted by category
/// and then name (code points of the composed forms). Missing or
/// unreadable folders count as empty; symbolic links and plain files are not plug-ins.
QList<InstalledPlugin> scanTemplateTrees(const QStringList &roots);

/// Scans as `scanTemplateTrees` does, again and again. Every scan lists every category
/// folder anew; a category whose listings are byte for byte those of the previous scan
/// (the same folder names in the same order, under the same roots) gives the records it
/// gave then, since they are made from nothing else, and only a changed category is
/// decoded, sorted and grouped anew. When nothing changed, the list itself is the
/// previous one (the same shared data).
class TemplateScanner final {
public:
    /// `now` gives the wall-clock time in nanoseconds since the epoch (the system clock
    /// unless given), against which the folders' own times are judged.
    explicit TemplateScanner(std::function<qint64()> now = {});

    QList<InstalledPlugin> scan(const QStringList &roots);

    /// Whether the last scan found an entry at `path` when `path` names an entry of a
    /// category folder it listed (the folder's path, "/", a name): true for a folder or a
    /// file, false for no entry at all; nothing when that scan cannot tell (any other path,
    /// a folder it could not list, a symbolic link, whose target it did not look at).
    std::optional<bool> foundInLastScan(const QString &path) const;
    /// Changes whenever a scan found a listing changed (and so may answer
    /// `foundInLastScan` otherwise).
    quint64 generation() const { return m_generation; }

private:
    struct Category {
        QStringList roots;
        QList<FolderEntries> listings; ///< one per root
        QList<InstalledPlugin> records;
        /// Per root: the folder's stamp taken before its listing, kept only when its times
        /// lay well before that listing (a folder with that stamp still has those entries).
        QList<FolderStamp> settled;
    };
    /// The listing of one category folder, or the previous one while the folder is settled.
    FolderEntries listing(const QString &folder, const Category *previous, qsizetype root, FolderStamp &settled) const;

    std::function<qint64()> m_now;
    quint64 m_generation = 0;
    /// Looks names up by view, so that a path's last part is found without a copy.
    struct NameHash {
        using is_transparent = void;
        size_t operator()(QStringView name) const noexcept { return qHash(name); }
    };
    using NameSet = std::unordered_set<QString, NameHash, std::equal_to<>>;
    /// One category folder that was listed or found missing: the names of its entries other
    /// than links, and the names of which that listing tells nothing (links, and names
    /// that do not decode back to their bytes).
    struct Names {
        QString folder;
        NameSet present;
        NameSet unknown;
    };
    const std::vector<Names> &namesByFolder() const;

    std::vector<Category> m_categories;
    QList<InstalledPlugin> m_all;
    /// Made from the listings when first asked after they changed.
    mutable std::optional<std::vector<Names>> m_namesByFolder;
};

/// Compares by Unicode code points (not UTF-16 units); negative, zero or positive.
int compareCodePoints(QStringView a, QStringView b);

/// The brand word of the studio's own folders.
inline constexpr char templateBrandWord[] = "Vrel";

} // namespace quillon
