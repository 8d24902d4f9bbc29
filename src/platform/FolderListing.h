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

/// Every entry of one folder, in listings of the same form as `subfolderListing`'s.
struct FolderEntries final {
    enum class State {
        listed,     ///< the folder was listed to the end
        missing,    ///< there is no such folder (nothing exists inside it)
        unreadable, ///< it could not be listed: nothing is known of what it holds
    };
    State state = State::unreadable;
    QByteArray folders; ///< as `subfolderListing` gives them
    QByteArray links;   ///< symbolic links (whose target may or may not exist)
    QByteArray others;  ///< every other entry: files, devices, sockets, pipes

    friend bool operator==(const FolderEntries &, const FolderEntries &) = default;
};

/// Lists `folder` once; `folders` is empty unless the state is `listed`.
FolderEntries folderEntries(const QString &folder);

/// What the file system says of a folder itself: adding, removing or renaming an entry
/// changes its modification and change times, so an unchanged stamp means unchanged entries
/// as long as those times lay well before the listing that went with it (a change within
/// the same tick of the file system's clock would leave them as they were).
struct FolderStamp final {
    bool valid = false; ///< the folder could be looked at
    quint64 device = 0;
    quint64 inode = 0;
    qint64 modifiedNs = 0;
    qint64 changedNs = 0;
    qint64 size = 0;
    quint64 links = 0;

    friend bool operator==(const FolderStamp &, const FolderStamp &) = default;
};

/// The stamp of `folder` now (not valid where it cannot be looked at, or off Unix).
FolderStamp folderStamp(const QString &folder);

/// The names of a listing, decoded.
QStringList namesOfListing(const QByteArray &listing);

} // namespace quillon
