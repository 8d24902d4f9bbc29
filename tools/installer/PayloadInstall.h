#pragma once
// Installing a package's payload (a gzip cpio archive) under the sandbox root.
//
// Every entry is checked before anything is written: no absolute paths, no "..", only
// files, folders, symbolic links and hard links, no link that leads outside the install
// location, and nothing written through a symbolic link (in the payload or already on disk).

#include <QByteArray>
#include <QString>

#include <optional>

namespace installer {

/// `name` as a relative path without "." or empty components; nothing when it is
/// absolute or climbs with "..". The empty result is the install location itself.
std::optional<QByteArray> normalisedEntryPath(const QByteArray &name);

/// Installs the payload into `installLocation` (absolute, as PackageInfo names it) inside
/// `sandboxRoot`. False with `error` set when the payload is malformed or unsafe; an
/// unsafe payload writes nothing at all.
bool installPayload(const QString &payloadPath, const QString &installLocation, const QString &sandboxRoot,
                    QString &error);

} // namespace installer
