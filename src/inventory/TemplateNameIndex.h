#pragma once
// The folded names of one scan's plug-in folders, with a trigram index over them, so that
// matching hundreds of products against thousands of folders stays within a frame. It
// answers exactly what `PluginInstallMatcher::matches` answers for each folder.

#include "inventory/InstalledPlugin.h"
#include "inventory/PluginInstallMatcher.h"

#include <QHash>
#include <QList>

#include <vector>

namespace quillon {

class TemplateNameIndex final {
public:
    explicit TemplateNameIndex(const QList<InstalledPlugin> &plugins);

    /// Built from this very list (the same shared data), so its answers hold for it.
    bool isFor(const QList<InstalledPlugin> &plugins) const;

    /// Positions, ascending, of the records whose name matches the product name.
    QList<qsizetype> matching(const QString &productName,
                              const PluginInstallMatcher::AliasTable &table = PluginInstallMatcher::aliasTable()) const;

    /// Sets `marks[i]` for every record i that one of the folded aliases matches.
    void markMatches(const QStringList &foldedAliases, std::vector<char> &marks) const;

    qsizetype size() const { return m_folded.size(); }

private:
    template <typename Visit>
    void forEachContaining(const QString &foldedAlias, Visit visit) const;

    QList<InstalledPlugin> m_source;
    QStringList m_folded;           ///< normalised name per record
    std::vector<char> m_longEnough; ///< the folded name has at least 3 characters
    QHash<quint64, std::vector<qsizetype>> m_trigrams;
};

} // namespace quillon
