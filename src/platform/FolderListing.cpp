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
QByteArray subfolderListing(const QString &folder) {
    QByteArray listing;
    DIR *dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir) {
        return listing;
    }
    for (;;) {
        errno = 0;
        const dirent *entry = ::readdir(dir);
        if (!entry) {
            if (errno != 0) {
                listing.clear();
            }
            break;
        }
        const char *name = entry->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) {
            continue;
        }
        bool isFolder = entry->d_type == DT_DIR;
        if (entry->d_type == DT_UNKNOWN) {
            struct stat status {};
            isFolder = ::fstatat(::dirfd(dir), name, &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(status.st_mode);
        }
        if (isFolder) {
            listing.append(name, qsizetype(std::strlen(name)) + 1);
        }
    }
    ::closedir(dir);
    return listing;
}

#else

QByteArray subfolderListing(const QString &folder) {
    QByteArray listing;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        if (!info.isSymLink() && info.isDir()) {
            listing.append(QFile::encodeName(info.fileName()));
            listing.append('\0');
        }
    }
    return listing;
}

#endif

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
