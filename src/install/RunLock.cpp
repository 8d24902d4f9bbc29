#include "install/RunLock.h"

#include "platform/Failure.h"
#include "platform/Files.h"
#include "platform/Logging.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace quillon {

bool lockForThisRun(int fd) {
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            qCInfo(lcInstall) << "a run's file stays unlocked:" << qt_error_string(errno);
            return true;
        }
    }
    // Removed between its creation and this lock by another copy's start-up clean-up.
    struct stat info {};
    return ::fstat(fd, &info) != 0 || info.st_nlink > 0;
}

RunFolder::RunFolder(RunFolder &&other) noexcept
    : m_path(std::move(other.m_path)), m_fd(std::exchange(other.m_fd, -1)) {}

RunFolder &RunFolder::operator=(RunFolder &&other) noexcept {
    if (this != &other) {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
        m_path = std::move(other.m_path);
        m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
}

RunFolder::~RunFolder() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

RunFolder RunFolder::create(const QString &path) {
    const auto refuse = [&path] { throw folderNotCreated(path); };
    QDir().mkpath(QFileInfo(path).absolutePath()); // a parent that cannot be made fails the mkdir below
    const QByteArray encoded = QFile::encodeName(path);
    if (::mkdir(encoded.constData(), 0700) != 0) {
        qCWarning(lcInstall) << "a run's folder could not be made:" << path << qt_error_string(errno);
        refuse();
    }
    RunFolder folder;
    folder.m_path = path;
    folder.m_fd = ::open(encoded.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folder.m_fd < 0 || !lockForThisRun(folder.m_fd)) {
        qCWarning(lcInstall) << "a run's folder could not be held:" << path;
        refuse();
    }
    return folder;
}

} // namespace quillon
