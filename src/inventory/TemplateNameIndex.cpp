#include "inventory/TemplateNameIndex.h"

#include "inventory/TemplateScan.h"

#include <algorithm>
#include <utility>

namespace quillon {
namespace {

bool sameNames(const QList<InstalledPlugin> &a, const QList<InstalledPlugin> &b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (a.at(i).name != b.at(i).name) {
            return false;
        }
    }
    return true;
}

bool sameProductNames(const QList<MemberProduct> &a, const QList<MemberProduct> &b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (a.at(i).productName != b.at(i).productName) {
            return false;
        }
    }
    return true;
}

// An Aho-Corasick automaton over UTF-16 units: fed a text unit by unit, it stands after
// each unit at the longest alias prefix that ends there, and the aliases ending there are
// found along its output links. Each alias carries the products (owners) it belongs to.
class AliasAutomaton final {
public:
    void add(const QString &alias, quint32 owner) {
        quint32 node = 0;
        for (const QChar c : alias) {
            qint32 child = next(node, c.unicode());
            if (child < 0) {
                child = qint32(m_parent.size());
                m_parent.push_back(node);
                m_unit.push_back(c.unicode());
                m_depth.push_back(m_depth[node] + 1);
                m_firstOwner.push_back(-1);
                insertEdge(node, c.unicode(), quint32(child));
            }
            node = quint32(child);
        }
        m_owners.push_back({m_firstOwner[node], owner});
        m_firstOwner[node] = qint32(m_owners.size() - 1);
    }

    /// Computes the failure and output links; call once, after the last `add`.
    void finish() {
        const size_t count = m_parent.size();
        m_fail.assign(count, 0);
        m_output.assign(count, -1);
        // Shallower nodes first: a node's links are made from its parent's.
        quint32 maxDepth = 0;
        for (quint32 d : m_depth) {
            maxDepth = std::max(maxDepth, d);
        }
        std::vector<quint32> start(maxDepth + 2, 0);
        for (quint32 d : m_depth) {
            ++start[d + 1];
        }
        for (size_t d = 1; d < start.size(); ++d) {
            start[d] += start[d - 1];
        }
        std::vector<quint32> byDepth(count);
        for (quint32 v = 0; v < count; ++v) {
            byDepth[start[m_depth[v]]++] = v;
        }
        for (quint32 v : byDepth) {
            if (v == 0) {
                continue;
            }
            const quint32 parent = m_parent[v];
            quint32 fail = 0;
            if (parent != 0) {
                quint32 f = m_fail[parent];
                for (;;) {
                    const qint32 to = next(f, m_unit[v]);
                    if (to >= 0) {
                        fail = quint32(to);
                        break;
                    }
                    if (f == 0) {
                        break;
                    }
                    f = m_fail[f];
                }
            }
            m_fail[v] = fail;
            m_output[v] = m_firstOwner[fail] >= 0 ? qint32(fail) : m_output[fail];
        }
    }

    /// Calls `found(owner)` for every alias occurrence in `text` (an owner once per occurrence).
    template <typename Found>
    void search(const QString &text, Found found) const {
        quint32 node = 0;
        for (const QChar c : text) {
            for (;;) {
                const qint32 to = next(node, c.unicode());
                if (to >= 0) {
                    node = quint32(to);
                    break;
                }
                if (node == 0) {
                    break;
                }
                node = m_fail[node];
            }
            for (qint32 t = m_firstOwner[node] >= 0 ? qint32(node) : m_output[node]; t >= 0; t = m_output[t]) {
                for (qint32 o = m_firstOwner[t]; o >= 0; o = m_owners[size_t(o)].first) {
                    found(m_owners[size_t(o)].second);
                }
            }
        }
    }

private:
    static constexpr quint64 emptySlot = ~quint64(0);

    static size_t slotHash(quint64 key) { return size_t((key * 0x9E3779B97F4A7C15ull) >> 24); }

    qint32 next(quint32 node, char16_t unit) const {
        if (node == 0) {
            return m_rootEdges[unit];
        }
        const quint64 key = (quint64(node) << 16) | unit;
        const size_t mask = m_slots.size() - 1;
        for (size_t slot = slotHash(key) & mask;; slot = (slot + 1) & mask) {
            if (m_slots[slot] == key) {
                return qint32(m_targets[slot]);
            }
            if (m_slots[slot] == emptySlot) {
                return -1;
            }
        }
    }

    void insertEdge(quint32 node, char16_t unit, quint32 child) {
        if (node == 0) {
            m_rootEdges[unit] = qint32(child);
            return;
        }
        if ((m_edgeCount + 1) * 2 > m_slots.size()) {
            grow();
        }
        place((quint64(node) << 16) | unit, child);
        ++m_edgeCount;
    }

    void place(quint64 key, quint32 child) {
        const size_t mask = m_slots.size() - 1;
        size_t slot = slotHash(key) & mask;
        while (m_slots[slot] != emptySlot) {
            slot = (slot + 1) & mask;
        }
        m_slots[slot] = key;
        m_targets[slot] = child;
    }

    void grow() {
        const std::vector<quint64> oldSlots = std::move(m_slots);
        const std::vector<quint32> oldTargets = std::move(m_targets);
        m_slots.assign(oldSlots.size() * 2, emptySlot);
        m_targets.assign(m_slots.size(), 0);
        for (size_t i = 0; i < oldSlots.size(); ++i) {
            if (oldSlots[i] != emptySlot) {
                place(oldSlots[i], oldTargets[i]);
            }
        }
    }

    // Per node; node 0 is the root.
    std::vector<quint32> m_parent{0};
    std::vector<char16_t> m_unit{0};
    std::vector<quint32> m_depth{0};
    std::vector<qint32> m_firstOwner{-1}; ///< the first alias ending here, in m_owners
    std::vector<quint32> m_fail;
    std::vector<qint32> m_output; ///< the next node on the failure chain where an alias ends
    std::vector<std::pair<qint32, quint32>> m_owners; ///< (next alias of the same node, owner)
    // Edges: the root's in a table by unit, the others in an open-addressed table keyed by
    // node and unit (at most half full).
    std::vector<qint32> m_rootEdges = std::vector<qint32>(0x10000, -1);
    std::vector<quint64> m_slots = std::vector<quint64>(1024, emptySlot);
    std::vector<quint32> m_targets = std::vector<quint32>(1024, 0);
    size_t m_edgeCount = 0;
};


// The order of the scan: category, then name, both by the code points of their composed
// forms; 0 for the same name.
int scanOrder(const InstalledPlugin &a, const InstalledPlugin &b) {
    if (a.category != b.category) {
        return compareCodePoints(a.category.normalized(QString::NormalizationForm_C),
                                 b.category.normalized(QString::NormalizationForm_C));
    }
    if (a.name == b.name) {
        return 0;
    }
    const int byName = compareCodePoints(a.name.normalized(QString::NormalizationForm_C),
                                         b.name.normalized(QString::NormalizationForm_C));
    // Equivalent spellings are different names here: order them by their units.
    return byName != 0 ? byName : compareCodePoints(a.name, b.name);
}

} // namespace

TemplateNameIndex::TemplateNameIndex(const QList<InstalledPlugin> &plugins, const QList<MemberProduct> &products,
                                     const TemplateNameIndex *previous, const PluginInstallMatcher::AliasTable &table)
    : m_source(plugins), m_products(products), m_table(&table) {
    // A rescan that found the same names, in the same order, folds them as before, and
    // with the same product names matches them as before.
    if (previous && sameNames(plugins, previous->m_source)) {
        m_folded = previous->m_folded;
        m_longEnough = previous->m_longEnough;
        m_brand = previous->m_brand;
        if (m_table == previous->m_table && sameProductNames(products, previous->m_products)) {
            m_byProduct = previous->m_byProduct;
            m_productFolders = previous->m_productFolders;
        } else {
            matchProducts();
        }
        selectPublished();
        return;
    }
    m_folded.reserve(plugins.size());
    m_longEnough.reserve(size_t(plugins.size()));
    m_brand.reserve(size_t(plugins.size()));
    // Both lists come in scan order, so one walk through both meets every name they share
    // and lends its folded form; a name the walk does not meet (in a list put together in
    // another order) is only folded anew.
    const QList<InstalledPlugin> *before = previous ? &previous->m_source : nullptr;
    qsizetype b = 0;
    for (qsizetype i = 0; i < plugins.size(); ++i) {
        const InstalledPlugin &plugin = plugins.at(i);
        int order = 1;
        while (before && b < before->size() && (order = scanOrder(before->at(b), plugin)) < 0) {
            ++b;
        }
        if (before && b < before->size() && order == 0) {
            m_folded.append(previous->m_folded.at(b));
            m_longEnough.push_back(previous->m_longEnough[size_t(b)]);
            m_brand.push_back(previous->m_brand[size_t(b)]);
            ++b;
            continue;
        }
        m_folded.append(PluginInstallMatcher::normalized(plugin.name));
        m_longEnough.push_back(PluginInstallMatcher::perceivedLength(m_folded.last()) >= 3 ? 1 : 0);
        m_brand.push_back(plugin.name.contains(QLatin1String(templateBrandWord), Qt::CaseInsensitive) ? 1 : 0);
    }
    matchProducts();
    selectPublished();
}

void TemplateNameIndex::selectPublished() {
    qsizetype count = 0;
    for (qsizetype i = 0; i < m_source.size(); ++i) {
        count += m_productFolders[size_t(i)] || m_brand[size_t(i)] ? 1 : 0;
    }
    m_published.reserve(count);
    for (qsizetype i = 0; i < m_source.size(); ++i) {
        if (m_productFolders[size_t(i)] || m_brand[size_t(i)]) {
            m_published.append(m_source.at(i));
        }
    }
}

void TemplateNameIndex::matchProducts() {
    m_productFolders.assign(size_t(m_folded.size()), 0);
    m_byProduct.clear();
    QStringList owners;
    AliasAutomaton automaton;
    for (const MemberProduct &product : std::as_const(m_products)) {
        if (m_byProduct.contains(product.productName)) {
            continue;
        }
        m_byProduct.insert(product.productName, {});
        const quint32 owner = quint32(owners.size());
        owners.append(product.productName);
        for (const QString &alias : PluginInstallMatcher::matchableAliases(product.productName, *m_table)) {
            automaton.add(alias, owner);
        }
    }
    if (owners.isEmpty()) {
        return;
    }
    automaton.finish();
    std::vector<QList<qsizetype>> found(size_t(owners.size()));
    for (qsizetype i = 0; i < m_folded.size(); ++i) {
        if (!m_longEnough[size_t(i)]) {
            continue;
        }
        automaton.search(m_folded.at(i), [&](quint32 owner) {
            QList<qsizetype> &positions = found[owner];
            if (positions.isEmpty() || positions.last() != i) {
                positions.append(i);
            }
            m_productFolders[size_t(i)] = 1;
        });
    }
    for (size_t owner = 0; owner < found.size(); ++owner) {
        m_byProduct[owners.at(qsizetype(owner))] = std::move(found[owner]);
    }
}

bool TemplateNameIndex::isFor(const QList<InstalledPlugin> &plugins, const QList<MemberProduct> &products) const {
    return plugins.size() == m_source.size() && plugins.constData() == m_source.constData() &&
           products.size() == m_products.size() && products.constData() == m_products.constData();
}

const QList<qsizetype> *TemplateNameIndex::matchedByLibrary(const QString &productName,
                                                             const PluginInstallMatcher::AliasTable &table) const {
    if (&table != m_table) {
        return nullptr;
    }
    const auto it = m_byProduct.constFind(productName);
    return it == m_byProduct.constEnd() ? nullptr : &*it;
}

QList<qsizetype> TemplateNameIndex::matching(const QString &productName,
                                             const PluginInstallMatcher::AliasTable &table) const {
    if (const QList<qsizetype> *known = matchedByLibrary(productName, table)) {
        return *known;
    }
    // Any other name (a product outside the library) is compared with every folder.
    QList<qsizetype> result;
    const QStringList aliases = PluginInstallMatcher::matchableAliases(productName, table);
    if (aliases.isEmpty()) {
        return result;
    }
    for (qsizetype i = 0; i < m_folded.size(); ++i) {
        if (!m_longEnough[size_t(i)]) {
            continue;
        }
        for (const QString &alias : aliases) {
            if (PluginInstallMatcher::containsAlias(m_folded.at(i), alias)) {
                result.append(i);
                break;
            }
        }
    }
    return result;
}

} // namespace quillon
