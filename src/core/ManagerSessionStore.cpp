#include "core/ManagerSessionStore.h"

#include "core/BearerToken.h"
#include "platform/Logging.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon {
namespace {

const QString kFolderName = QStringLiteral("Quillon");
const QString kFileName = QStringLiteral("manager-session");

// Creates `path` and any missing parents, each new folder owner-only from the start.
bool makeOwnerOnlyPath(const QString &path) {
    QFileInfo info(path);
    if (info.isDir()) {
        return true;
    }
    if (info.exists()) {
        return false; // something else is in the way
    }
    const QString parent = info.absolutePath();
    if (parent != info.absoluteFilePath() && !makeOwnerOnlyPath(parent)) {
        return false;
    }
    const QByteArray native = QFile::encodeName(path);
    return ::mkdir(native.constData(), 0700) == 0 || errno == EEXIST;
}

bool writeAll(int fd, const QByteArray &bytes) {
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + written, static_cast<size_t>(bytes.size() - written));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        written += n;
    }
    return true;
}

} // namespace

ManagerSessionStore::ManagerSessionStore(QString applicationSupport)
    : m_applicationSupport(std::move(applicationSupport)) {}

std::optional<QString> ManagerSessionStore::fileURL() const {
    if (m_applicationSupport.isEmpty()) {
        return std::nullopt;
    }
    return QDir(m_applicationSupport).filePath(kFolderName + QLatin1Char('/') + kFileName);
}

void ManagerSessionStore::saveManagerToken(const QString &token) const {
    const std::optional<QString> file = fileURL();
    if (!file) {
        return;
    }
    const QString folder = QFileInfo(*file).absolutePath();
    // A token that cannot be saved lives for this run only; the log says why.
    auto failed = [&](const char *step) {
        qCWarning(lcAccount) << "could not save the sign-in token:" << step << std::strerror(errno);
    };
    if (!makeOwnerOnlyPath(folder)) {
        return failed("create the folder");
    }
    const QByteArray nativeFolder = QFile::encodeName(folder);
    if (::chmod(nativeFolder.constData(), 0700) != 0) {
        return failed("narrow the folder");
    }

    // mkstemp creates the temporary file 0600 in the same folder, so the rename is atomic
    // and at no moment does a reader find a half-written token or a wider mode.
    QByteArray tempName = QFile::encodeName(*file) + ".XXXXXX";
    const int fd = ::mkstemp(tempName.data());
    if (fd < 0) {
        return failed("create the file");
    }
    const bool written = ::fchmod(fd, 0600) == 0 && writeAll(fd, token.toUtf8()) && ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || ::rename(tempName.constData(), QFile::encodeName(*file).constData()) != 0) {
        failed("write the file");
        ::unlink(tempName.constData());
        return;
    }
    // The file is 0600 already; setting it again is the last step of the save.
    ::chmod(QFile::encodeName(*file).constData(), 0600);
}

void ManagerSessionStore::deleteManagerToken() const {
    const std::optional<QString> file = fileURL();
    if (!file) {
        return;
    }
    QFile token(*file);
    if ((token.exists() || QFileInfo(*file).isSymLink()) && !token.remove()) {
        qCWarning(lcAccount) << "could not delete the sign-in token:" << token.errorString();
    }
}

std::optional<QString> ManagerSessionStore::readManagerToken() const {
    const std::optional<QString> path = fileURL();
    if (!path) {
        return std::nullopt;
    }
    QFile file(*path);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        return std::nullopt;
    }
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(bytes);
    if (decoder.hasError()) {
        return std::nullopt;
    }
    const QString token = text.trimmed();
    if (token.isEmpty()) {
        return std::nullopt;
    }
    if (!isUsableBearerToken(token)) {
        // Written by hand or by something else: it could not be sent safely, so it is no token.
        qCWarning(lcAccount) << "the token file holds characters a token cannot have; ignoring it";
        return std::nullopt;
    }
    return token;
}

} // namespace quillon
