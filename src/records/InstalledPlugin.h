#pragma once

#include <QHashFunctions>
#include <QTypeInfo>
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

/// Covers the same fields as equality, so plug-ins can be kept in sets.
inline size_t qHash(const InstalledPlugin &plugin, size_t seed = 0) {
    return qHashMulti(seed, plugin.category, plugin.name, plugin.paths);
}

} // namespace quillon

// Its members move by their pointers, so lists of records grow without copying them.
Q_DECLARE_TYPEINFO(quillon::InstalledPlugin, Q_RELOCATABLE_TYPE);
