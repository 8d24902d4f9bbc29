#include "install/PartFile.h"

#include "install/DownloadFailure.h"
#include "install/RunLock.h"
#include "platform/Logging.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QScopeGuard>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace quillon {
namespace {

// Enough of the destination's name to recognise the part file, short enough that the
// decorated name stays within the file system's limit on one name.
constexpr qsizetype kNameShown = 64;
constexpr int kNameAttempts = 16;

[[noreturn]] void throwSystemError(int error) { throw DownloadFailure(error); }

} // namespace

PartFile::PartFile(QString destination) : m_destination(std::move(destination)) {
    const QFileInfo info(m_destination);
    const QString folder = info.absolutePath();
    if (!QDir().mkpath(folder)) {
        throw DownloadFailure(errno, folder); // the cause of the last step that failed
    }
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const QString name = QStringLiteral(".%1.%2.part")
                                 .arg(info.fileName().left(kNameShown))
                                 .arg(QRandomGenerator::system()->generate(), 8, 16, QLatin1Char('0'));
        const QString path = QDir(folder).filePath(name);
        // O_EXCL: never an existing file, nor a link planted under the chosen name.
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 && !lockForThisRun(fd)) {
            ::close(fd); // another copy's start-up clean-up took it for a leftover: a new name
            continue;
        }
        if (fd >= 0) {
            m_path = path;
            m_fd = fd;
            return;
        }
        if (errno != EEXIST) {
            throwSystemError(errno);
        }
    }
    throwSystemError(EEXIST);
}

PartFile::~PartFile() {
    close();
    if (!m_committed && ::unlink(QFile::encodeName(m_path).constData()) != 0) {
        qCWarning(lcInstall) << "could not remove the unfinished download" << m_path << qt_error_string(errno);
    }
}

void PartFile::close() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

void PartFile::resize(qint64 length) {
    if (::ftruncate(m_fd, static_cast<off_t>(length)) != 0) {
        throwSystemError(errno);
    }
#ifdef Q_OS_LINUX
    // The blocks are taken now: a disk too small fails here rather than half-way, and the
    // writes need not reserve blocks one page at a time under the file's lock.
    if (length > 0 && ::fallocate(m_fd, 0, 0, static_cast<off_t>(length)) != 0 && errno != EOPNOTSUPP &&
        errno != ENOSYS && errno != EINVAL) {
        throwSystemError(errno);
    }
#endif
}

void PartFile::writeAt(qint64 offset, const char *data, qint64 size) {
    std::lock_guard lock(m_writing);
    while (size > 0) {
        const ssize_t written = ::pwrite(m_fd, data, static_cast<size_t>(size), static_cast<off_t>(offset));
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            throwSystemError(errno);
        }
        data += written;
        offset += written;
        size -= written;
    }
}

void PartFile::writeFromPipe(int pipeFd, qint64 offset, qint64 size) {
    std::lock_guard lock(m_writing);
    while (size > 0 && m_spliceWrites) {
        loff_t at = offset;
        const ssize_t moved = ::splice(pipeFd, nullptr, m_fd, &at, static_cast<size_t>(size), SPLICE_F_MOVE);
        if (moved < 0 && errno == EINTR) {
            continue;
        }
        if (moved < 0 && errno == EINVAL) {
            m_spliceWrites = false; // a file system without splice writes: the buffer below
            break;
        }
        if (moved <= 0) {
            throwSystemError(moved < 0 ? errno : EIO);
        }
        offset += moved;
        size -= moved;
    }
    char buffer[64 * 1024];
    while (size > 0) {
        const ssize_t count = ::read(pipeFd, buffer, static_cast<size_t>(std::min<qint64>(size, sizeof buffer)));
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            throwSystemError(count < 0 ? errno : EIO);
        }
        for (qint64 done = 0; done < count;) {
            const ssize_t written = ::pwrite(m_fd, buffer + done, static_cast<size_t>(count - done),
                                             static_cast<off_t>(offset + done));
            if (written < 0 && errno == EINTR) {
                continue;
            }
            if (written < 0) {
                throwSystemError(errno);
            }
            done += written;
        }
        offset += count;
        size -= count;
    }
}

void PartFile::commit() {
    // The lock stays with a second descriptor until the file has its final name: unlocked, a
    // part file could pass for a leftover.
    const int held = ::dup(m_fd);
    const auto release = qScopeGuard([held] {
        if (held >= 0) {
            ::close(held);
        }
    });
    const bool closed = ::close(m_fd) == 0; // a delayed write error shows here
    const int closeError = errno;
    m_fd = -1;
    if (!closed) {
        throwSystemError(closeError);
    }
    if (::rename(QFile::encodeName(m_path).constData(), QFile::encodeName(m_destination).constData()) != 0) {
        throwSystemError(errno);
    }
    m_committed = true;
}

} // namespace quillon
