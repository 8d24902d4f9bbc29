// The part file a ranged download writes into: its length is set and its blocks taken
// before the first byte arrives.

#include "install/PartFile.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace quillon;

namespace {

struct stat statOf(const QString &path) {
    struct stat info {};
    EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
    return info;
}

// Whether the folder's file system takes blocks ahead of the writes at all.
bool canTakeBlocksAhead(const QString &folder) {
    const QByteArray probe = QFile::encodeName(folder + QStringLiteral("/probe"));
    const int fd = ::open(probe.constData(), O_CREAT | O_WRONLY, 0600);
    const bool can = fd >= 0 && ::fallocate(fd, 0, 0, 4096) == 0;
    if (fd >= 0) {
        ::close(fd);
    }
    ::unlink(probe.constData());
    return can;
}

} // namespace

TEST(PartFile, ASizedPartFileHoldsItsBlocksBeforeAnyByteArrives) {
    QTemporaryDir folder;
    if (!canTakeBlocksAhead(folder.path())) {
        GTEST_SKIP() << "this file system cannot take blocks ahead of the writes";
    }
    constexpr qint64 kLength = 8 * 1024 * 1024;
    PartFile part(folder.filePath(QStringLiteral("package.pkg")));
    part.resize(kLength);
    struct stat info = statOf(part.path());
    EXPECT_EQ(info.st_size, kLength);
    EXPECT_GE(qint64(info.st_blocks) * 512, kLength) << "a sparse file would find the disk full half-way";

    // Sized again, smaller: the length follows.
    part.resize(4096);
    EXPECT_EQ(statOf(part.path()).st_size, 4096);
}
