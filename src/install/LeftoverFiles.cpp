#include "install/LeftoverFiles.h"

#include "install/Installs.h"
#include "install/InstallTexts.h"
#include "platform/Failure.h"
#include "platform/Logging.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QThreadPool>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>

namespace quillon {
namespace {

const QString kUuid = QStringLiteral("[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}");
// The names the program gives them (PartFile, BatchInstall), nothing else.
const QRegularExpression kPartFile(QStringLiteral("\\A\\..+\\.[0-9a-f]{8}\\.part\\z"));
const QRegularExpression kStagingFolder(QStringLiteral("\\AVrel-批量安装-") + kUuid + QStringLiteral("\\z"));
const QRegularExpression kManagedBatchFolder(QStringLiteral("\\A批量安装-") + kUuid + QStringLiteral("\\z"));

/// An open file or folder, closed (and so unlocked) when it goes.
class Descriptor final {
    Q_DISABLE_COPY_MOVE(Descriptor)
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    int get() const { return m_fd; }
    explicit operator bool() const { return m_fd >= 0; }

private:
    int m_fd;
};

bool sameEntry(const struct stat &a, const struct stat &b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

/// The names in the open folder `folder` ("." and ".." aside); nothing when it cannot be read.
std::optional<QList<QByteArray>> namesIn(const Descriptor &folder) {
    const int listing = ::dup(folder.get()); // the listing closes its own descriptor
    DIR *dir = listing >= 0 ? ::fdopendir(listing) : nullptr;
    if (!dir) {
        if (listing >= 0) {
            ::close(listing);
        }
        return std::nullopt;
    }
    QList<QByteArray> names;
    while (const dirent *each = ::readdir(dir)) {
        const QByteArray name(each->d_name);
        if (name != "." && name != "..") {
            names.append(name);
        }
    }
    ::closedir(dir);
    return names;
}

/// Opens `name` in `folder` without following a link, as this user's entry of the wanted kind,
/// and takes its lock unless another open file holds it.
std::optional<struct stat> openAndLock(const Descriptor &entry, bool wantFolder) {
    struct stat info {};
    if (!entry || ::fstat(entry.get(), &info) != 0 || info.st_uid != ::geteuid()) {
        return std::nullopt;
    }
    if (wantFolder ? !S_ISDIR(info.st_mode) : !S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    if (::flock(entry.get(), LOCK_EX | LOCK_NB) != 0) {
        return std::nullopt; // a running copy holds it (or locks are not to be had here)
    }
    return info;
}

/// The name still stands for the entry we hold: it was not swapped meanwhile.
bool stillNames(int folder, const QByteArray &name, const struct stat &held) {
    struct stat now {};
    return ::fstatat(folder, name.constData(), &now, AT_SYMLINK_NOFOLLOW) == 0 && sameEntry(now, held);
}

bool removePartFile(int folder, const QByteArray &name) {
    const Descriptor entry(::openat(folder, name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    const std::optional<struct stat> held = openAndLock(entry, false);
    return held && stillNames(folder, name, *held) && ::unlinkat(folder, name.constData(), 0) == 0;
}

/// Empties a batch folder of its files (and links), then removes it. A folder holding a
/// folder is not of the program's making and stays as it is.
bool removeBatchFolder(int folder, const QByteArray &name) {
    const Descriptor entry(::openat(folder, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    const std::optional<struct stat> held = openAndLock(entry, true);
    if (!held) {
        return false;
    }
    const std::optional<QList<QByteArray>> names = namesIn(entry);
    if (!names) {
        return false;
    }
    for (const QByteArray &child : *names) {
        struct stat info {};
        if (::fstatat(entry.get(), child.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0 || S_ISDIR(info.st_mode)) {
            return false;
        }
    }
    for (const QByteArray &child : *names) {
        ::unlinkat(entry.get(), child.constData(), 0);
    }
    return stillNames(folder, name, *held) && ::unlinkat(folder, name.constData(), AT_REMOVEDIR) == 0;
}

/// Goes through one place: `pattern` picks the names, `removeOne` removes one of them.
void clean(const QString &place, const QRegularExpression &pattern, bool (*removeOne)(int, const QByteArray &),
           QStringList &removed) {
    if (place.isEmpty()) {
        return;
    }
    const Descriptor folder(::open(QFile::encodeName(place).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!folder) {
        return; // missing, or a link: nothing of ours to look at
    }
    const std::optional<QList<QByteArray>> names = namesIn(folder);
    if (!names) {
        return;
    }
    for (const QByteArray &name : *names) {
        if (!pattern.match(QFile::decodeName(name)).hasMatch()) {
            continue;
        }
        const QString path = QDir(place).filePath(QFile::decodeName(name));
        if (removeOne(folder.get(), name)) {
            qCInfo(lcInstall) << "removed a leftover of an earlier run:" << path;
            removed.append(path);
        }
    }
}

} // namespace

QStringList removeLeftoversOfEarlierRuns(const LeftoverPlaces &places) {
    QStringList removed;
    clean(places.resources, kPartFile, removePartFile, removed);
    clean(places.managed, kPartFile, removePartFile, removed);
    if (!places.keepManagedBatchFolders) {
        clean(places.managed, kManagedBatchFolder, removeBatchFolder, removed);
    }
    clean(places.temporary, kStagingFolder, removeBatchFolder, removed);
    return removed;
}

void Installs::removeLeftoversOfEarlierRuns() {
    LeftoverPlaces places;
    if (!m_host.environment().paths.downloads.isEmpty()) {
        places.resources = QDir(m_host.environment().paths.downloads).filePath(resourceFolderName());
    }
    try {
        places.managed = managedInstallerFolder();
    } catch (const PlatformError &error) {
        qCInfo(lcInstall) << "no managed folder to look at:" << error.what();
    }
    const QString &temporary = m_host.environment().paths.temporary;
    places.temporary = temporary.isEmpty() ? QDir::tempPath() : temporary;
    // Asked here, on the main thread: a package an earlier run handed to the Installer app
    // stays while the Installer may still be showing it.
    places.keepManagedBatchFolders =
        m_host.environment().workspace->runningApplicationCount(QStringLiteral("com.apple.installer")) > 0;
    // Hundreds of megabytes may be waiting: the window does not wait for them.
    QThreadPool::globalInstance()->start([places] { quillon::removeLeftoversOfEarlierRuns(places); });
}

} // namespace quillon
