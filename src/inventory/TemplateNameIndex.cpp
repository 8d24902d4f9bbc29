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

} // namespace

TemplateNameIndex::TemplateNameIndex(const QList<InstalledPlugin> &plugins, const TemplateNameIndex *previous)
    : m_source(plugins) {
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
    // contained in another shares each of its unit trigrams.
    size_t capacity = 16;
    while (capacity < size_t(trigramCount) * 2) {
        capacity *= 2;
    }
    m_slots.assign(capacity, emptySlot);
    std::vector<quint32> counts(capacity, 0);
    std::vector<qsizetype> lastRecord(capacity, -1);
    std::vector<std::pair<quint32, qsizetype>> occurrences; // slot, record: once per pair
    occurrences.reserve(size_t(trigramCount));
    const size_t mask = capacity - 1;
    for (qsizetype i = 0; i < m_folded.size(); ++i) {
        if (!m_longEnough[size_t(i)]) {
            continue;
        }
        const QString &folded = m_folded.at(i);
        for (qsizetype at = 0; at + 2 < folded.size(); ++at) {
            const quint64 trigram = trigramAt(folded, at);
            size_t slot = slotHash(trigram) & mask;
            while (m_slots[slot] != emptySlot && m_slots[slot] != trigram) {
                slot = (slot + 1) & mask;
            }
            m_slots[slot] = trigram;
            if (lastRecord[slot] != i) {
                lastRecord[slot] = i;
                ++counts[slot];
                occurrences.emplace_back(quint32(slot), i);
            }
        }
    }
    m_rangeStart.assign(capacity + 1, 0);
    for (size_t slot = 0; slot < capacity; ++slot) {
        m_rangeStart[slot + 1] = m_rangeStart[slot] + counts[slot];
    }
    // Records were visited in ascending order, so each range comes out ascending.
    m_records.resize(occurrences.size());
    std::vector<quint32> fill(m_rangeStart.begin(), m_rangeStart.end() - 1);
    for (const auto &[slot, record] : occurrences) {
        m_records[fill[slot]++] = record;
    }
}

qsizetype TemplateNameIndex::slotOf(quint64 trigram) const {
    if (m_slots.empty()) {
        return -1;
    }
    const size_t mask = m_slots.size() - 1;
    size_t slot = slotHash(trigram) & mask;
    while (m_slots[slot] != emptySlot) {
        if (m_slots[slot] == trigram) {
            return qsizetype(slot);
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
        const qsizetype slot = slotOf(trigramAt(foldedAlias, at));
        if (slot < 0) {
            return;
        }
        if (narrowest < 0 || m_rangeStart[size_t(slot) + 1] - m_rangeStart[size_t(slot)] <
                                 m_rangeStart[size_t(narrowest) + 1] - m_rangeStart[size_t(narrowest)]) {
            narrowest = slot;
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
