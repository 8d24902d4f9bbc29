#pragma once
// Away from macOS nothing knows an application by its bundle identifier, so the stand-ins
// that play applications (a Motion runtime, started for a trial) announce themselves: one
// file per process under the sandbox root,
//   <root>/var/run/quillon-stand-ins/applications/<process id>
// a JSON object { "bundleIdentifier": …, "started": the process's start time }, written
// when the process starts and removed when it quits. The desktop layer finds, counts and
// asks applications to quit through these files. A file whose process has ended, belongs
// to another user, or whose number now names a process started at another time (a crash
// left the file, the number was used again) is passed over.

#include <QList>
#include <QString>

namespace quillon {

/// The folder of the announcements under the sandbox root `systemRoot`.
QString announcementFolder(const QString &systemRoot);

/// Announces this process as the running application `bundleIdentifier`. Returns the file to
/// remove when the process quits, or the empty text with `error` set.
QString announceRunningApplication(const QString &systemRoot, const QString &bundleIdentifier, QString &error);

/// This user's running processes that announced `bundleIdentifier`.
QList<qint64> announcedProcessesOf(const QString &systemRoot, const QString &bundleIdentifier);

} // namespace quillon
