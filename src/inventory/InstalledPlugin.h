#pragma once

#include <QString>
#include <QStringList>

namespace quillon {

/// One plug-in folder found in the template trees.
struct InstalledPlugin final {
    QString category; ///< "发生器", "字幕", "效果" or "转场"
    QString name;     ///< the folder's name as found on disk
    QStringList paths; ///< every folder of this category and name: the system tree's first

    QString id() const { return category + QStringLiteral("::") + name; }

    friend bool operator==(const InstalledPlugin &, const InstalledPlugin &) = default;
};

} // namespace quillon
