#include "platform/shared/AnnouncedApplications.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <optional>

#include <unistd.h>

namespace quillon {
namespace {

const QString identifierKey = QStringLiteral("bundleIdentifier");
const QString startedKey = QStringLiteral("started");
/// Announcements are a few dozen bytes; anything much larger is not one.
constexpr qint64 largestAnnouncement = 4096;

/// The start time of the live process `id` (clock ticks since boot, from /proc), which
/// tells it apart from an earlier process with the same number; nothing when no such
/// process runs or it has ended and waits to be reaped.
std::optional<QByteArray> startTimeOf(qint64 id) {
    QFile file(QStringLiteral("/proc/%1/stat").arg(id));
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    const QByteArray stat = file.read(largestAnnouncement);
    // "<id> (<name>) <state> <ppid> …": the name may hold anything, so the fields are
    // counted from its closing parenthesis; the state is the first, the start time the 20th.
    const qsizetype nameEnd = stat.lastIndexOf(')');
    if (nameEnd < 0) {
        return std::nullopt;
    }
    const QList<QByteArray> fields = stat.mid(nameEnd + 1).simplified().split(' ');
    if (fields.size() < 20 || fields.at(0) == "Z" || fields.at(0) == "X") {
        return std::nullopt;
    }
    return fields.at(19);
}

bool ownedByThisUser(qint64 id) {
    const QFileInfo process(QStringLiteral("/proc/%1").arg(id));
    return process.exists() && process.ownerId() == ::getuid();
}

} // namespace

QString announcementFolder(const QString &systemRoot) {
    return QDir(systemRoot).filePath(QStringLiteral("var/run/quillon-stand-ins/applications"));
}

QString announceRunningApplication(const QString &systemRoot, const QString &bundleIdentifier, QString &error) {
    const qint64 id = ::getpid();
    const std::optional<QByteArray> started = startTimeOf(id);
    if (!started) {
        error = QStringLiteral("cannot read this process's start time from /proc");
        return {};
    }
    const QString folder = announcementFolder(systemRoot);
    const QString path = QDir(folder).filePath(QString::number(id));
    const QJsonObject announcement{{identifierKey, bundleIdentifier}, {startedKey, QString::fromLatin1(*started)}};
    QSaveFile file(path);
    if (!QDir().mkpath(folder) || !file.open(QIODevice::WriteOnly) ||
        file.write(QJsonDocument(announcement).toJson(QJsonDocument::Compact)) < 0 || !file.commit()) {
        error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return {};
    }
    return path;
}

QList<qint64> announcedProcessesOf(const QString &systemRoot, const QString &bundleIdentifier) {
    QList<qint64> found;
    if (bundleIdentifier.isEmpty()) {
        return found;
    }
    const QFileInfoList entries = QDir(announcementFolder(systemRoot)).entryInfoList(QDir::Files | QDir::Hidden);
    for (const QFileInfo &entry : entries) {
        bool numbered = false;
        const qint64 id = entry.fileName().toLongLong(&numbered);
        if (!numbered || id <= 0 || entry.isSymLink() || entry.size() > largestAnnouncement) {
            continue;
        }
        QFile file(entry.filePath());
        if (!file.open(QIODevice::ReadOnly)) {
            continue;
        }
        const QJsonObject announcement = QJsonDocument::fromJson(file.read(largestAnnouncement)).object();
        if (announcement.value(identifierKey).toString() != bundleIdentifier || !ownedByThisUser(id)) {
            continue;
        }
        const std::optional<QByteArray> started = startTimeOf(id);
        if (started && announcement.value(startedKey).toString() == QString::fromLatin1(*started)) {
            found.append(id);
        }
    }
    return found;
}

} // namespace quillon
