#pragma once
// Advisory locks that tell the copies of the program which of their files are in use. A run
// holds one on every part file and batch folder it makes, for as long as it needs them; the
// start-up clean-up removes only leftovers whose lock it can take. These are flock locks:
// they belong to one open file, not to a process (so a second open in this same process sees
// them too), and they go when that file is closed or the process ends, however it ends.

#include <QString>
#include <QtGlobal>

namespace quillon {

/// Locks the open file or folder `fd` for the caller's run. It waits while a start-up
/// clean-up holds the lock (a moment at most). False when that clean-up removed the entry
/// before the lock was taken: the caller makes another one under a new name. A file
/// system without locks leaves the entry unlocked (and the clean-up then leaves it alone).
bool lockForThisRun(int fd);

/// A folder made for one run, held under its lock while this object lives.
class RunFolder final {
    Q_DISABLE_COPY(RunFolder)
public:
    RunFolder() = default;
    RunFolder(RunFolder &&other) noexcept;
    RunFolder &operator=(RunFolder &&other) noexcept;
    /// Closes the folder, which releases the lock; the folder itself stays.
    ~RunFolder();

    /// Makes the new folder `path` (its parents as needed; the folder itself must not exist
    /// yet) and locks it. Throws PlatformError.
    static RunFolder create(const QString &path);

    const QString &path() const { return m_path; }
    bool isHeld() const { return m_fd >= 0; }

private:
    QString m_path;
    int m_fd = -1;
};

} // namespace quillon
