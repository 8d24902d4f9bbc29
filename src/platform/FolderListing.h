#pragma once
// Listing the sub-folders of one folder, as the template scan needs it: many entries,
// their type read from the listing itself where the file system gives it, and the names
// left as bytes, so that a listing can be compared with an earlier one before anything
// is decoded.

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace quillon {

/// The names of the entries of `folder` that are folders themselves (a link to a folder is
/// a link, not a folder), hidden ones included, in the order the file system lists them:
/// the file system's bytes of each name followed by a NUL byte. A folder that cannot be
/// listed, or whose listing fails part way, gives nothing.
QByteArray subfolderListing(const QString &folder);

/// The names of a listing, decoded.
QStringList namesOfListing(const QByteArray &listing);

} // namespace quillon
