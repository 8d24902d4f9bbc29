#pragma once
// The batch installer script and the reading of its per-package markers.
//
// Line i of the script tries package i and prints "Vrel_OK_<i>" or "Vrel_FAIL_<i>";
// every package is tried whatever happened to the others.

#include <QSet>
#include <QString>
#include <QStringList>

namespace quillon {

namespace BatchInstallResult {

inline constexpr const char *successMarker = "Vrel_OK_";
inline constexpr const char *failureMarker = "Vrel_FAIL_";

/// The script for `packagePaths` (one line each, joined by line feeds) run with `installer`.
QString command(const QStringList &packagePaths, const QString &installer);

/// The indexes n (0 <= n < count) whose success marker stands alone on a line of `output`.
QSet<int> successes(const QString &output, int count);

} // namespace BatchInstallResult

} // namespace quillon
