#pragma once
// Whether a template folder belongs to a product of the studio. Folder names differ from
// product names in case, width, spacing, punctuation and a ".localized" ending, so both
// are compared in a folded form; a few products install under other names entirely,
// which the alias table lists.

#include <QHash>
#include <QString>
#include <QStringList>

namespace quillon::PluginInstallMatcher {

/// Product name (exact text as the service sends it) -> the folder names it installs under.
using AliasTable = QHash<QString, QStringList>;

/// The studio's alias table.
const AliasTable &aliasTable();

/// The comparison form: every ".localized" removed (any case), case, diacritics and width
/// folded, lower-cased, and only letters, marks and digits of every script kept.
QString normalized(const QString &text);

/// The product name itself, then its folder names from `table` in table order.
QStringList aliases(const QString &productName, const AliasTable &table);
QStringList aliases(const QString &productName);

/// The number of user-perceived characters (grapheme clusters) of `text`.
qsizetype perceivedLength(const QString &text);

/// True when the folded folder name has at least 3 characters and contains the folded form
/// (of at least 3 characters) of the product name or one of its aliases.
bool matches(const QString &productName, const QString &folderName, const AliasTable &table);
bool matches(const QString &productName, const QString &folderName);

/// The folded aliases of a product that can match at all (at least 3 characters each).
QStringList matchableAliases(const QString &productName, const AliasTable &table);

/// The containment test of `matches` on folded texts.
inline bool containsAlias(const QString &foldedFolder, const QString &foldedAlias) {
    return foldedFolder.contains(foldedAlias, Qt::CaseSensitive);
}

} // namespace quillon::PluginInstallMatcher
