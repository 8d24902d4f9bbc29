#include "install/SaveWithoutReplacing.h"

#include "install/DownloadFailure.h"
#include "platform/Logging.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace quillon {
namespace {

// More copies of one name than anyone keeps; past them the save fails instead of looping on.
constexpr int kMostCopies = 9999;

/// rename(2) that fails with EEXIST where it would replace something; 0 or the errno.
int renameWithoutReplacing(const QByteArray &from, const QByteArray &to) {
#if defined(__APPLE__)
    const int renamed = ::renamex_np(from.constData(), to.constData(), RENAME_EXCL);
#elif defined(__linux__)
    const int renamed = ::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE);
#else
    errno = ENOSYS;
    const int renamed = -1;
#endif
    if (renamed == 0) {
        return 0;
    }
    const int error = errno;
    if (error != EINVAL && error != ENOSYS && error != ENOTSUP && error != EOPNOTSUPP) {
        return error;
    }
    // A file system without an exclusive rename: a new hard link is exclusive as well.
    if (::link(from.constData(), to.constData()) != 0) {
        return errno;
    }
    if (::unlink(from.constData()) != 0) {
        qCWarning(lcInstall) << "the downloaded file also stays under its temporary name:" << QFile::decodeName(from);
    }
    return 0;
}

} // namespace

QString numberedFileName(const QString &name, int copy) {
    qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot > 0) {
        // A compressed tar archive keeps both of its extensions together.
        const qsizetype tar = name.lastIndexOf(QLatin1Char('.'), dot - 1);
        if (tar > 0 && name.mid(tar, dot - tar).compare(QStringLiteral(".tar"), Qt::CaseInsensitive) == 0) {
            dot = tar;
        }
    } else {
        dot = name.size(); // no extension, or a name that only starts with a dot
    }
    return name.left(dot) + QStringLiteral(" (%1)").arg(copy) + name.mid(dot);
}

QString saveWithoutReplacing(const QString &from, const QString &folder, const QString &name) {
    const QByteArray source = QFile::encodeName(from);
    for (int copy = 1; copy <= kMostCopies; ++copy) {
        const QString target = QDir(folder).filePath(copy == 1 ? name : numberedFileName(name, copy));
        const int error = renameWithoutReplacing(source, QFile::encodeName(target));
        if (error == 0) {
            return target;
        }
        if (error != EEXIST && error != ENOTEMPTY) {
            throw DownloadFailure(error, target);
        }
    }
    throw DownloadFailure(EEXIST, QDir(folder).filePath(name));
}

} // namespace quillon
