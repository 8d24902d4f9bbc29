#pragma once
// The folded names of one scan's plug-in folders, and the folders each product of the
// member library matches, found for all of them in one pass over the names (an
// Aho-Corasick automaton of their folded aliases), so that the published filter and the
// installed test of every library row cost time in proportion to the names and the
// matches, not to products times folders. It answers exactly what
// `PluginInstallMatcher::matches` answers for each folder.

#include "inventory/PluginInstallMatcher.h"
#include "records/InstalledPlugin.h"
#include "records/ReplyRecords.h"

#include <QHash>
#include <QList>

#include <vector>

namespace quillon {

class TemplateNameIndex final {
public:
    /// Matches every product of `products` at once, with the alias table `table` (which
    /// outlives the index).
    /// `previous`, when given, lends what it knows: the folded forms of the names it has,
    /// and its matches when the names, the product names and the table are the same.
    explicit TemplateNameIndex(const QList<InstalledPlugin> &plugins, const QList<MemberProduct> &products = {},
                               const TemplateNameIndex *previous = nullptr,
                               const PluginInstallMatcher::AliasTable &table = PluginInstallMatcher::aliasTable());

    /// Built from these very lists (the same shared data, which it holds, so the answers
    /// it keeps can never belong to other lists).
    bool isFor(const QList<InstalledPlugin> &plugins, const QList<MemberProduct> &products) const;

    /// Positions, ascending, of the records whose name matches the product name (for a
    /// product of the library, shared with the index: no copy is made).
    QList<qsizetype> matching(const QString &productName,
                              const PluginInstallMatcher::AliasTable &table = PluginInstallMatcher::aliasTable()) const;

    /// Per record: whether some product of the member library matches it.
    const std::vector<char> &productFolders() const { return m_productFolders; }
    /// The records the installed plug-ins panel shows, in list order: the studio's own
    /// folders (the brand word in the name, any letter case) and those a product matches.
    const QList<InstalledPlugin> &published() const { return m_published; }

    qsizetype size() const { return m_folded.size(); }

private:
    /// The positions found for a product of the library, or null for any other name.
    const QList<qsizetype> *matchedByLibrary(const QString &productName,
                                             const PluginInstallMatcher::AliasTable &table) const;
    void matchProducts();
    void selectPublished();

    QList<InstalledPlugin> m_source;
    QList<MemberProduct> m_products;
    const PluginInstallMatcher::AliasTable *m_table;
    QStringList m_folded;               ///< normalised name per record
    std::vector<char> m_longEnough;     ///< the folded name has at least 3 characters
    std::vector<char> m_brand;          ///< the name holds the brand word (any letter case)
    /// Product name -> the positions, ascending, of the records it matches (the library's
    /// names only, with `m_table`).
    QHash<QString, QList<qsizetype>> m_byProduct;
    std::vector<char> m_productFolders;
    QList<InstalledPlugin> m_published;
};

} // namespace quillon
