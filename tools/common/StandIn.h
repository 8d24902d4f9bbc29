#pragma once
// What every stand-in for a macOS system tool shares: the folder that stands for "/",
// without which none of them runs, and plain messages on the standard streams.

#include <QByteArray>
#include <QString>

#include <cstdio>
#include <optional>

namespace standin {

/// Names the folder that stands for "/" (set by the program and the tests).
inline constexpr char sandboxRootVariable[] = "QUILLON_SANDBOX_ROOT";

/// The sandbox root, resolved; nothing, with `error` set, when the variable is unset, not
/// absolute or not an existing folder.
std::optional<QString> sandboxRoot(QString &error);

/// Writes `line` and a line feed to `stream` at once.
void writeLine(FILE *stream, const QString &line);

} // namespace standin
