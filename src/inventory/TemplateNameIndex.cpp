#include "inventory/TemplateNameIndex.h"

#include <algorithm>

namespace quillon {
namespace {

quint64 trigramAt(const QString &text, qsizetype i) {
    return (quint64(text.at(i).unicode()) << 32) | (quint64(text.at(i + 1).unicode()) << 16) |
           quint64(text.at(i + 2).unicode());
}

} // namespace

TemplateNameIndex::TemplateNameIndex(const QList<InstalledPlugin> &plugins) : m_source(plugins) {
    m_folded.reserve(plugins.size());
    m_longEnough.reserve(plugins.size());
    for (qsizetype i = 0; i < plugins.size(); ++i) {
        QString folded = PluginInstallMatcher::normalized(plugins.at(i).name);
        const bool longEnough = PluginInstallMatcher::perceivedLength(folded) >= 3;
        m_longEnough.push_back(longEnough ? 1 : 0);
        if (longEnough) {
            // Every text of at least three characters has at least three UTF-16 units, and
            // a text contained in another shares each of its unit trigrams.
            for (qsizetype at = 0; at + 2 < folded.size(); ++at) {
                std::vector<qsizetype> &posting = m_trigrams[trigramAt(folded, at)];
                if (posting.empty() || posting.back() != i) {
                    posting.push_back(i);
                }
            }
        }
        m_folded.append(std::move(folded));
    }
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
    const std::vector<qsizetype> *narrowest = nullptr;
    for (qsizetype at = 0; at + 2 < foldedAlias.size(); ++at) {
        const auto it = m_trigrams.constFind(trigramAt(foldedAlias, at));
        if (it == m_trigrams.constEnd()) {
            return;
        }
        if (!narrowest || it->size() < narrowest->size()) {
            narrowest = &*it;
        }
    }
    for (qsizetype i : *narrowest) {
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
