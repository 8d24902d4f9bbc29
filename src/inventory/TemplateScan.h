#pragma once
// The listing of the Final Cut Pro and Motion template trees into plug-in records.

#include "inventory/InstalledPlugin.h"
#include "platform/SystemPaths.h"

#include <QList>
#include <QString>
#include <QStringList>

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

/// Compares by Unicode code points (not UTF-16 units); negative, zero or positive.
int compareCodePoints(QStringView a, QStringView b);

/// The brand word of the studio's own folders.
inline constexpr char templateBrandWord[] = "Vrel";

} // namespace quillon
