#pragma once
// A flat component package: a xar archive holding PackageInfo (where to install) and
// Payload (a gzip cpio archive of what to install).

#include <QString>
#include <QTemporaryFile>

#include <memory>
#include <optional>

namespace installer {

struct FlatPackage {
    QString identifier;
    /// Absolute folder the payload is relative to ("/" when PackageInfo names none).
    QString installLocation;
    /// The Payload, copied out of the archive.
    std::unique_ptr<QTemporaryFile> payload;
};

/// Reads the package at `path`; nothing, with `error` set, when it is missing or malformed.
std::optional<FlatPackage> readFlatPackage(const QString &path, QString &error);

} // namespace installer
