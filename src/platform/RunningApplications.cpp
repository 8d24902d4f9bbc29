#include "platform/RunningApplications.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <array>
#include <climits>

#include <unistd.h>

namespace quillon {

namespace {

const std::array<ApplicationProgram, 1> &table() {
    static const std::array<ApplicationProgram, 1> programs{{
        // Packages handed off for the user to install in the platform's own window.
        {QStringLiteral("com.apple.installer"), QStringLiteral("quillon-installer-app"), QStringLiteral("pkg")},
    }};
    return programs;
}

/// Where the link `path` points, or the empty text when it cannot be read.
QString linkTarget(const QString &path) {
    std::array<char, PATH_MAX> buffer{};
    const ssize_t length = ::readlink(QFile::encodeName(path).constData(), buffer.data(), buffer.size());
    if (length <= 0 || size_t(length) >= buffer.size()) {
        return {};
    }
    return QFile::decodeName(QByteArray(buffer.data(), qsizetype(length)));
}

} // namespace

const ApplicationProgram *applicationProgram(const QString &bundleIdentifier) {
    for (const ApplicationProgram &program : table()) {
        if (program.bundleIdentifier == bundleIdentifier) {
            return &program;
        }
    }
    return nullptr;
}

const ApplicationProgram *applicationOpening(const QString &path) {
    const QString suffix = QFileInfo(path).suffix();
    for (const ApplicationProgram &program : table()) {
        if (!program.opensSuffix.isEmpty() && suffix.compare(program.opensSuffix, Qt::CaseInsensitive) == 0) {
            return &program;
        }
    }
    return nullptr;
}

QList<qint64> runningProcessesOf(const QString &executable) {
    // The kernel names a process's executable by its real path.
    const QString wanted = QFileInfo(executable).canonicalFilePath();
    if (wanted.isEmpty()) {
        return {};
    }
    const uint me = ::getuid();
    QList<qint64> found;
    const QFileInfoList entries = QDir(QStringLiteral("/proc")).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QFileInfo &entry : entries) {
        bool isProcess = false;
        const qint64 id = entry.fileName().toLongLong(&isProcess);
        // Other users' processes are none of ours (and their links cannot be read anyway).
        if (!isProcess || entry.ownerId() != me) {
            continue;
        }
        if (linkTarget(entry.filePath() + QStringLiteral("/exe")) == wanted) {
            found.append(id);
        }
    }
    return found;
}

} // namespace quillon
