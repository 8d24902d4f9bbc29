#pragma once
// Property lists (XML or binary) through libplist, owned by a smart pointer. Files are read
// through the program's own guarded reader: the bundles the stand-ins check are as hostile
// as the ones the program finds.

#include "platform/shared/PropertyListFile.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace standin {

using Plist = quillon::PropertyList;

/// The property list in the file at `path` when its top level is a dictionary; null, with
/// `error` set, when the path is not a regular file of at most 64 MiB, or the file holds no
/// acceptable property list (see quillon::readPropertyListFile) or something else.
Plist readDictionary(const QString &path, QString &error);

/// The node at `keys` (each key but the last naming a nested dictionary), or null.
plist_t nodeAt(plist_t dictionary, const QStringList &keys);

/// The text at `keys`, when that node is a string.
std::optional<QString> stringAt(plist_t dictionary, const QStringList &keys);

/// Writes `root` to `path` as an XML property list, replacing the file whole.
bool writeXml(plist_t root, const QString &path, QString &error);

/// What a bundle names in its Contents/Info.plist.
struct BundleInfo {
    QString identifier;     ///< CFBundleIdentifier
    QString executablePath; ///< Contents/MacOS/<CFBundleExecutable>, an existing file
    Plist info;             ///< the whole dictionary
};

/// The bundle at `path`, or nothing with `error` set to why it is not a usable bundle.
std::optional<BundleInfo> readBundle(const QString &path, QString &error);

} // namespace standin
