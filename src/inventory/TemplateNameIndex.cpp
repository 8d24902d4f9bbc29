#include "inventory/TemplateNameIndex.h"

#include <algorithm>

namespace quillon {
namespace {

quint64 trigramAt(const QString &text, qsizetype i) {
    return (quint64(text.at(i).unicode()) << 32) | (quint64(text.at(i + 1).unicode()) << 16) |
           quint64(text.at(i + 2).unicode());
}

// Three UTF-16 units take 48 bits, so this never names a trigram.
constexpr quint64 emptySlot = ~quint64(0);

size_t slotHash(quint64 trigram) {
    return size_t((trigram * 0x9E3779B97F4A7C15ull) >> 20);
}

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

} // namespace

TemplateNameIndex::TemplateNameIndex(const QList<InstalledPlugin> &plugins, const TemplateNameIndex *previous)
    : m_source(plugins) {
    // A rescan that found the same names, in the same order, indexes exactly as before.
    if (previous && sameNames(plugins, previous->m_source)) {
        *this = *previous;
        m_source = plugins;
        return;
    }
    m_folded.reserve(plugins.size());
    m_longEnough.reserve(size_t(plugins.size()));
    m_byName.reserve(plugins.size());
    qsizetype trigramCount = 0;
    for (qsizetype i = 0; i < plugins.size(); ++i) {
        const QString &name = plugins.at(i).name;
        const auto known = previous ? previous->m_byName.constFind(name) : QHash<QString, qsizetype>::const_iterator();
        if (previous && known != previous->m_byName.constEnd()) {
            m_folded.append(previous->m_folded.at(*known));
            m_longEnough.push_back(previous->m_longEnough[size_t(*known)]);
        } else {
            m_folded.append(PluginInstallMatcher::normalized(name));
            m_longEnough.push_back(PluginInstallMatcher::perceivedLength(m_folded.last()) >= 3 ? 1 : 0);
        }
        m_byName.insert(name, i);
        if (m_longEnough.back()) {
            trigramCount += m_folded.last().size() - 2;
        }
    }

    // Every text of at least three characters has at least three UTF-16 units, and a text
    // contained in another shares each of its unit trigrams. Each distinct trigram gets an
    // id in an open-addressed table that grows as they come.
    m_slots.assign(1024, emptySlot);
    m_slotIds.assign(1024, 0);
    std::vector<quint32> counts;
    std::vector<qint32> lastRecord;
    std::vector<std::pair<quint32, quint32>> occurrences; // trigram id, record: once per pair
    occurrences.reserve(size_t(trigramCount));
    for (qsizetype i = 0; i < m_folded.size(); ++i) {
        if (!m_longEnough[size_t(i)]) {
            continue;
        }
        const QString &folded = m_folded.at(i);
        for (qsizetype at = 0; at + 2 < folded.size(); ++at) {
            const quint64 trigram = trigramAt(folded, at);
            const size_t mask = m_slots.size() - 1;
            size_t slot = slotHash(trigram) & mask;
            while (m_slots[slot] != emptySlot && m_slots[slot] != trigram) {
                slot = (slot + 1) & mask;
            }
            quint32 id = 0;
            if (m_slots[slot] == emptySlot) {
                id = quint32(counts.size());
                m_slots[slot] = trigram;
                m_slotIds[slot] = id;
                counts.push_back(0);
                lastRecord.push_back(-1);
                if (counts.size() * 2 > m_slots.size()) {
                    grow();
                }
            } else {
                id = m_slotIds[slot];
            }
            if (lastRecord[id] != qint32(i)) {
                lastRecord[id] = qint32(i);
                ++counts[id];
                occurrences.emplace_back(id, quint32(i));
            }
        }
    }
    m_rangeStart.assign(counts.size() + 1, 0);
    for (size_t id = 0; id < counts.size(); ++id) {
        m_rangeStart[id + 1] = m_rangeStart[id] + counts[id];
    }
    // Records were visited in ascending order, so each range comes out ascending.
    m_records.resize(occurrences.size());
    std::vector<quint32> fill(m_rangeStart.begin(), m_rangeStart.end() - 1);
    for (const auto &[id, record] : occurrences) {
        m_records[fill[id]++] = record;
    }
}

void TemplateNameIndex::grow() {
    std::vector<quint64> table(m_slots.size() * 2, emptySlot);
    std::vector<quint32> ids(table.size(), 0);
    const size_t mask = table.size() - 1;
    for (size_t old = 0; old < m_slots.size(); ++old) {
        if (m_slots[old] == emptySlot) {
            continue;
        }
        size_t slot = slotHash(m_slots[old]) & mask;
        while (table[slot] != emptySlot) {
            slot = (slot + 1) & mask;
        }
        table[slot] = m_slots[old];
        ids[slot] = m_slotIds[old];
    }
    m_slots = std::move(table);
    m_slotIds = std::move(ids);
}

qsizetype TemplateNameIndex::idOf(quint64 trigram) const {
    const size_t mask = m_slots.size() - 1;
    size_t slot = slotHash(trigram) & mask;
    while (m_slots[slot] != emptySlot) {
        if (m_slots[slot] == trigram) {
            return qsizetype(m_slotIds[slot]);
        }
        slot = (slot + 1) & mask;
    }
    return -1;
}

bool TemplateNameIndex::isFor(const QList<InstalledPlugin> &plugins) const {
    return plugins.size() == m_source.size() && plugins.constData() == m_source.constData();
}

template <typename Visit>
void TemplateNameIndex::forEachContaining(const QString &foldedAlias, Visit visit) const {
    if (foldedAlias.size() < 3) {
        return;
    }
    // The rarest trigram of the alias narrows the folders that can contain it.
    qsizetype narrowest = -1;
    for (qsizetype at = 0; at + 2 < foldedAlias.size(); ++at) {
        const qsizetype id = idOf(trigramAt(foldedAlias, at));
        if (id < 0) {
            return;
        }
        if (narrowest < 0 || m_rangeStart[size_t(id) + 1] - m_rangeStart[size_t(id)] <
                                 m_rangeStart[size_t(narrowest) + 1] - m_rangeStart[size_t(narrowest)]) {
            narrowest = id;
        }
    }
    for (quint32 r = m_rangeStart[size_t(narrowest)]; r < m_rangeStart[size_t(narrowest) + 1]; ++r) {
        const qsizetype i = m_records[r];
        if (m_longEnough[size_t(i)] && PluginInstallMatcher::containsAlias(m_folded.at(i), foldedAlias)) {
            visit(i);
        }
    }
}

void TemplateNameIndex::markMatches(const QStringList &foldedAliases, std::vector<char> &marks) const {
    marks.resize(size_t(m_folded.size()), 0);
    for (const QString &alias : foldedAliases) {
        forEachContaining(alias, [&marks](qsizetype i) { marks[size_t(i)] = 1; });
    }
}

QList<qsizetype> TemplateNameIndex::matching(const QString &productName,
                                             const PluginInstallMatcher::AliasTable &table) const {
    const QStringList aliases = PluginInstallMatcher::matchableAliases(productName, table);
    QList<qsizetype> result;
    if (aliases.isEmpty()) {
        return result;
    }
    if (aliases.size() == 1) {
        // One alias visits each folder once, in ascending order.
        forEachContaining(aliases.first(), [&result](qsizetype i) { result.append(i); });
        return result;
    }
    std::vector<char> marks;
    markMatches(aliases, marks);
    for (size_t i = 0; i < marks.size(); ++i) {
        if (marks[i]) {
            result.append(qsizetype(i));
        }
    }
    return result;
}

} // namespace quillon
