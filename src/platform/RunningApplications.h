#pragma once
// Away from macOS, the programs that play the macOS applications the program hands files
// to: a stand-in of our own (in the stand-in folder, see SystemTools::standInFolder) opens
// those files, and while it runs it counts as that application. Here are the table and the
// process listing behind those checks. Other stand-in applications (Motion runtimes) are
// known by their announcements instead (platform/shared/AnnouncedApplications.h); on macOS
// the system itself finds applications by bundle identifier.

#include <QList>
#include <QString>

namespace quillon {

/// One macOS application and what stands for it.
struct ApplicationProgram final {
    QString bundleIdentifier; ///< the macOS application
    QString standIn;          ///< the executable that plays it elsewhere, in the stand-in folder
    QString opensSuffix;      ///< away from macOS, files with this suffix (any case) open in the stand-in
};

/// The table row for `bundleIdentifier`, or nullptr when the application is not known.
const ApplicationProgram *applicationProgram(const QString &bundleIdentifier);

/// The row whose stand-in opens `path` (by its suffix), or nullptr: the desktop's default application opens it.
const ApplicationProgram *applicationOpening(const QString &path);

/// Ids of this user's running processes whose executable is the file `executable` (links
/// resolved). Read from /proc; none where there is no /proc. Ended processes that were not
/// reaped yet are not counted: their executable can no longer be read.
QList<qint64> runningProcessesOf(const QString &executable);

} // namespace quillon
