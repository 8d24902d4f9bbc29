#pragma once
// Numeric comparison of dotted version strings ("1.10" is newer than "1.9").

#include <QString>

namespace quillon::AppVersion {

enum class Order { ascending = -1, same = 0, descending = 1 };

/// descending when `lhs` is the newer, ascending when `rhs` is, same otherwise.
/// Each piece between dots counts by its leading digits (0 without any); a missing
/// piece counts as 0, so "1.2" and "1.2.0" are the same. Never fails.
Order compare(const QString &lhs, const QString &rhs);

/// The version of this build (the project's version).
QString current();

} // namespace quillon::AppVersion
