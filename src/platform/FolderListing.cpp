#include "platform/FolderListing.h"

#include <QFile>

#include <cstring>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#else
#include <QDirIterator>
#include <QFileInfo>
#endif

namespace quillon {

#ifdef Q_OS_UNIX

// The directory stream directly: QDirIterator builds a file information record per entry,
// which costs more than the listing itself when a folder holds thousands of entries.
FolderEntries folderEntries(const QString &folder) {
    FolderEntries entries;
    DIR *dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir) {
        entries.state = errno == ENOENT || errno == ENOTDIR ? FolderEntries::State::missing
                                                            : FolderEntries::State::unreadable;
        return entries;
    }
    entries.state = FolderEntries::State::listed;
    for (;;) {
        errno = 0;
        const dirent *entry = ::readdir(dir);
        if (!entry) {
            if (errno != 0) {
                entries = FolderEntries();
            }
            break;
        }
        const char *name = entry->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) {
            continue;
        }
        unsigned char type = entry->d_type;
        if (type == DT_UNKNOWN) {
            struct stat status {};
            if (::fstatat(::dirfd(dir), name, &status, AT_SYMLINK_NOFOLLOW) != 0) {
                // Gone since it was listed, or not to be looked at: nothing can be said of it.
                type = DT_LNK;
            } else {
                type = S_ISDIR(status.st_mode) ? DT_DIR : S_ISLNK(status.st_mode) ? DT_LNK : DT_REG;
            }
        }
        QByteArray &list = type == DT_DIR ? entries.folders : type == DT_LNK ? entries.links : entries.others;
        list.append(name, qsizetype(std::strlen(name)) + 1);
    }
    ::closedir(dir);
    return entries;
}

FolderStamp folderStamp(const QString &folder) {
    FolderStamp stamp;
    struct stat status {};
    if (::stat(QFile::encodeName(folder).constData(), &status) != 0 || !S_ISDIR(status.st_mode)) {
        return stamp;
    }
    stamp.valid = true;
    stamp.device = quint64(status.st_dev);
    stamp.inode = quint64(status.st_ino);
#ifdef Q_OS_MACOS
    stamp.modifiedNs = qint64(status.st_mtimespec.tv_sec) * 1000000000 + status.st_mtimespec.tv_nsec;
    stamp.changedNs = qint64(status.st_ctimespec.tv_sec) * 1000000000 + status.st_ctimespec.tv_nsec;
#else
    stamp.modifiedNs = qint64(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
    stamp.changedNs = qint64(status.st_ctim.tv_sec) * 1000000000 + status.st_ctim.tv_nsec;
#endif
    stamp.size = qint64(status.st_size);
    stamp.links = quint64(status.st_nlink);
    return stamp;
}

#else

FolderStamp folderStamp(const QString &) { return FolderStamp(); }

FolderEntries folderEntries(const QString &folder) {
    FolderEntries entries;
    const QFileInfo self(folder);
    if (!self.exists()) {
        entries.state = FolderEntries::State::missing;
        return entries;
    }
    if (!self.isDir() || !self.isReadable()) {
        return entries;
    }
    entries.state = FolderEntries::State::listed;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        QByteArray &list = info.isSymLink() ? entries.links : info.isDir() ? entries.folders : entries.others;
        list.append(QFile::encodeName(info.fileName()));
        list.append('\0');
    }
    return entries;
}

#endif

QByteArray subfolderListing(const QString &folder) { return folderEntries(folder).folders; }

QStringList namesOfListing(const QByteArray &listing) {
    QStringList names;
    for (qsizetype at = 0; at < listing.size();) {
        const char *name = listing.constData() + at;
        const auto length = qsizetype(std::strlen(name));
        names.append(QFile::decodeName(QByteArray::fromRawData(name, length)));
        at += length + 1;
    }
    return names;
}

} // namespace quillon
