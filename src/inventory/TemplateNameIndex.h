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
    /// `previous`, when given, lends what it knows: its whole index when the names are the
    /// same, else the folded forms of the names it has.
    explicit TemplateNameIndex(const QList<InstalledPlugin> &plugins, const TemplateNameIndex *previous = nullptr);

    /// Built from this very list (the same shared data), so its answers hold for it.
    bool isFor(const QList<InstalledPlugin> &plugins) const;

    /// Positions, ascending, of the records whose name matches the product name.
    QList<qsizetype> matching(const QString &productName,
                              const PluginInstallMatcher::AliasTable &table = PluginInstallMatcher::aliasTable()) const;

    /// Sets `marks[i]` for every record i that one of the folded aliases matches.
    void markMatches(const QStringList &foldedAliases, std::vector<char> &marks) const;

    qsizetype size() const { return m_folded.size(); }

private:
    /// The id of `trigram`, or -1 when no folded name holds it.
    qsizetype idOf(quint64 trigram) const;
    /// Doubles the trigram table.
    void grow();

    template <typename Visit>
    void forEachContaining(const QString &foldedAlias, Visit visit) const;

    QList<InstalledPlugin> m_source;
    QStringList m_folded;                   ///< normalised name per record
    std::vector<char> m_longEnough;         ///< the folded name has at least 3 characters
    QHash<QString, qsizetype> m_byName;     ///< name -> a record with it
    // Trigram -> records: an open-addressed table of the distinct trigrams with their ids
    // (a power-of-two size, at most half full), and per id a range of `m_records`.
    std::vector<quint64> m_slots;
    std::vector<quint32> m_slotIds;
    std::vector<quint32> m_rangeStart; ///< per id, plus one past the last
    std::vector<quint32> m_records;
};

} // namespace quillon
