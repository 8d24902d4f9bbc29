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

    std::vector<Category> m_categories;
    QList<InstalledPlugin> m_all;
};

/// Compares by Unicode code points (not UTF-16 units); negative, zero or positive.
int compareCodePoints(QStringView a, QStringView b);

/// The brand word of the studio's own folders.
inline constexpr char templateBrandWord[] = "Vrel";

} // namespace quillon
