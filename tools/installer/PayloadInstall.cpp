#include "PayloadInstall.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QSet>

#include <archive.h>
#include <archive_entry.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

namespace installer {

namespace {

struct Entry {
    QByteArray path;     ///< normalised, relative to the install location
    mode_t type = 0;     ///< AE_IFREG, AE_IFDIR, AE_IFLNK
    QByteArray symlink;  ///< target of a symbolic link
    QByteArray hardlink; ///< normalised path of the file a hard link repeats
};

using ReadHandle = std::unique_ptr<archive, decltype(&archive_read_free)>;
using WriteHandle = std::unique_ptr<archive, decltype(&archive_write_free)>;

QString text(const QByteArray &bytes) { return QString::fromUtf8(bytes); }

QString archiveError(archive *a) {
    const char *message = archive_error_string(a);
    return message ? QString::fromUtf8(message) : QStringLiteral("unreadable payload");
}

ReadHandle openPayload(const QString &payloadPath, QString &error) {
    ReadHandle reader(archive_read_new(), &archive_read_free);
    archive_read_support_filter_gzip(reader.get());
    archive_read_support_format_cpio(reader.get());
    if (archive_read_open_filename(reader.get(), QFile::encodeName(payloadPath).constData(), 64 * 1024) !=
        ARCHIVE_OK) {
        error = QStringLiteral("the Payload is not a gzip cpio archive: ") + archiveError(reader.get());
        return ReadHandle(nullptr, &archive_read_free);
    }
    return reader;
}

bool isSymlinkOnDisk(const QString &path) {
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISLNK(info.st_mode);
}

/// Whether `relative` below `base`, or a folder on the way to it, is a symbolic link on disk.
/// Looked at folder by folder from `base`: a whole path beyond the system's path limit
/// cannot be looked at directly, but it can still be written to.
bool isSymlinkBelow(const QString &base, const QByteArray &relative) {
    int at = ::open(QFile::encodeName(base).constData(), O_DIRECTORY | O_RDONLY | O_CLOEXEC);
    const QList<QByteArray> components = relative.split('/');
    bool link = false;
    for (qsizetype i = 0; at >= 0 && i < components.size(); ++i) {
        struct stat info {};
        if (::fstatat(at, components[i].constData(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
            break; // nothing there yet
        }
        if (S_ISLNK(info.st_mode)) {
            link = true;
            break;
        }
        if (i + 1 == components.size() || !S_ISDIR(info.st_mode)) {
            break;
        }
        const int next = ::openat(at, components[i].constData(), O_DIRECTORY | O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        ::close(at);
        at = next;
    }
    if (at >= 0) {
        ::close(at);
    }
    return link;
}

QByteArray joined(const QList<QByteArray> &components) { return components.join('/'); }

/// Every entry's header, read without its data.
bool readEntries(const QString &payloadPath, QList<Entry> &entries, QString &error) {
    ReadHandle reader = openPayload(payloadPath, error);
    if (!reader) {
        return false;
    }
    archive_entry *header = nullptr;
    for (;;) {
        const int status = archive_read_next_header(reader.get(), &header);
        if (status == ARCHIVE_EOF) {
            return true;
        }
        if (status < ARCHIVE_WARN) {
            error = QStringLiteral("the Payload is damaged: ") + archiveError(reader.get());
            return false;
        }
        const QByteArray name = archive_entry_pathname(header);
        const std::optional<QByteArray> path = normalisedEntryPath(name);
        if (!path) {
            error = QStringLiteral("unsafe payload entry \"%1\": it leaves the install location").arg(text(name));
            return false;
        }
        Entry entry;
        entry.path = *path;
        entry.type = archive_entry_filetype(header);
        if (const char *hardlink = archive_entry_hardlink(header)) {
            const std::optional<QByteArray> target = normalisedEntryPath(hardlink);
            if (!target || target->isEmpty()) {
                error = QStringLiteral("unsafe hard link \"%1\" to \"%2\"").arg(text(name), text(hardlink));
                return false;
            }
            entry.hardlink = *target;
            entry.type = AE_IFREG;
        } else if (entry.type == AE_IFLNK) {
            entry.symlink = archive_entry_symlink(header);
        }
        if (entry.type != AE_IFREG && entry.type != AE_IFDIR && entry.type != AE_IFLNK) {
            error = QStringLiteral("payload entry \"%1\" is a special file").arg(text(name));
            return false;
        }
        if (entry.path.isEmpty() && entry.type != AE_IFDIR) {
            error = QStringLiteral("payload entry \"%1\" would replace the install location").arg(text(name));
            return false;
        }
        entries.append(entry);
        archive_read_data_skip(reader.get());
    }
}

/// Whether a symbolic link at `linkPath` with `target` stays inside the install location
/// without passing through another link.
bool symlinkStaysInside(const Entry &link, const QSet<QByteArray> &payloadLinks, const QString &location,
                        QString &why) {
    if (link.symlink.isEmpty() || link.symlink.startsWith('/')) {
        why = QStringLiteral("it points to an absolute or empty path");
        return false;
    }
    QList<QByteArray> resolved = link.path.split('/');
    resolved.removeLast();
    const QList<QByteArray> steps = link.symlink.split('/');
    for (qsizetype i = 0; i < steps.size(); ++i) {
        const QByteArray &step = steps[i];
        if (step.isEmpty() || step == ".") {
            continue;
        }
        if (step == "..") {
            if (resolved.isEmpty()) {
                why = QStringLiteral("it leads outside the install location");
                return false;
            }
            resolved.removeLast();
            continue;
        }
        resolved.append(step);
        const QByteArray here = joined(resolved);
        const bool last = i == steps.size() - 1;
        if ((!last && payloadLinks.contains(here)) ||
            (isSymlinkBelow(location, here) && !payloadLinks.contains(here))) {
            why = QStringLiteral("it passes through another symbolic link");
            return false;
        }
    }
    return true;
}

/// The whole payload is safe to write into `location`.
bool checkEntries(const QList<Entry> &entries, const QString &location, QString &error) {
    QSet<QByteArray> links;
    QSet<QByteArray> others;
    for (const Entry &entry : entries) {
        (entry.type == AE_IFLNK ? links : others).insert(entry.path);
    }
    QSet<QByteArray> filesSoFar;
    for (const Entry &entry : entries) {
        const QString name = text(entry.path);
        if (entry.type == AE_IFLNK && others.contains(entry.path)) {
            error = QStringLiteral("payload entry \"%1\" is both a symbolic link and something else").arg(name);
            return false;
        }
        // Nothing may be written through a link, neither one of the payload nor one on disk.
        const QList<QByteArray> components = entry.path.split('/');
        for (qsizetype n = 1; n <= components.size(); ++n) {
            const QByteArray prefix = joined(components.mid(0, n));
            const bool isSelf = n == components.size();
            if (prefix.isEmpty()) {
                continue;
            }
            if ((!isSelf && links.contains(prefix)) ||
                (isSymlinkBelow(location, prefix) && !(isSelf && entry.type == AE_IFLNK))) {
                error = QStringLiteral("payload entry \"%1\" would be written through a symbolic link").arg(name);
                return false;
            }
        }
        if (entry.type == AE_IFLNK) {
            QString why;
            if (!symlinkStaysInside(entry, links, location, why)) {
                error = QStringLiteral("unsafe symbolic link \"%1\" -> \"%2\": %3").arg(name, text(entry.symlink), why);
                return false;
            }
        }
        if (!entry.hardlink.isEmpty() && !filesSoFar.contains(entry.hardlink)) {
            error = QStringLiteral("hard link \"%1\" names no earlier file of the payload").arg(name);
            return false;
        }
        if (entry.type == AE_IFREG && entry.hardlink.isEmpty()) {
            filesSoFar.insert(entry.path);
        }
    }
    return true;
}

/// The install location under the sandbox, created folder by folder; no component may be a link.
std::optional<QString> prepareLocation(const QString &installLocation, const QString &sandboxRoot, QString &error) {
    QString current = sandboxRoot;
    for (const QString &component : installLocation.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (component == QStringLiteral(".")) {
            continue;
        }
        current += QLatin1Char('/') + component;
        if (isSymlinkOnDisk(current)) {
            error = QStringLiteral("the install location passes through the symbolic link %1").arg(current);
            return std::nullopt;
        }
        const QFileInfo info(current);
        if (info.exists() && !info.isDir()) {
            error = QStringLiteral("the install location %1 is not a folder").arg(current);
            return std::nullopt;
        }
        if (!info.exists() && !QDir().mkdir(current)) {
            error = QStringLiteral("cannot create the folder %1").arg(current);
            return std::nullopt;
        }
    }
    return current;
}

bool extract(const QString &payloadPath, const QString &location, QString &error) {
    ReadHandle reader = openPayload(payloadPath, error);
    if (!reader) {
        return false;
    }
    // Entries are written relative to the install location; libarchive re-checks them.
    if (!QDir::setCurrent(location)) {
        error = QStringLiteral("cannot enter %1").arg(location);
        return false;
    }
    WriteHandle writer(archive_write_disk_new(), &archive_write_free);
    archive_write_disk_set_options(writer.get(), ARCHIVE_EXTRACT_TIME | ARCHIVE_EXTRACT_SECURE_SYMLINKS |
                                                     ARCHIVE_EXTRACT_SECURE_NODOTDOT |
                                                     ARCHIVE_EXTRACT_SECURE_NOABSOLUTEPATHS);
    archive_entry *header = nullptr;
    for (;;) {
        int status = archive_read_next_header(reader.get(), &header);
        if (status == ARCHIVE_EOF) {
            break;
        }
        if (status < ARCHIVE_WARN) {
            error = QStringLiteral("the Payload is damaged: ") + archiveError(reader.get());
            return false;
        }
        const QByteArray path = normalisedEntryPath(archive_entry_pathname(header)).value_or(QByteArray());
        if (path.isEmpty()) {
            continue; // the install location itself, already there
        }
        archive_entry_set_pathname(header, path.constData());
        if (const char *hardlink = archive_entry_hardlink(header)) {
            archive_entry_set_hardlink(header, normalisedEntryPath(hardlink).value_or(QByteArray()).constData());
        }
        status = archive_write_header(writer.get(), header);
        if (status < ARCHIVE_WARN) {
            error = QStringLiteral("cannot install \"%1\": ").arg(text(path)) + archiveError(writer.get());
            return false;
        }
        if (archive_entry_size(header) > 0) {
            const void *block = nullptr;
            size_t size = 0;
            la_int64_t offset = 0;
            while ((status = archive_read_data_block(reader.get(), &block, &size, &offset)) == ARCHIVE_OK) {
                if (archive_write_data_block(writer.get(), block, size, offset) < ARCHIVE_WARN) {
                    error = QStringLiteral("cannot write \"%1\": ").arg(text(path)) + archiveError(writer.get());
                    return false;
                }
            }
            if (status < ARCHIVE_WARN) {
                error = QStringLiteral("the Payload is damaged at \"%1\": ").arg(text(path)) + archiveError(reader.get());
                return false;
            }
        }
        if (archive_write_finish_entry(writer.get()) < ARCHIVE_WARN) {
            error = QStringLiteral("cannot finish \"%1\": ").arg(text(path)) + archiveError(writer.get());
            return false;
        }
    }
    if (archive_write_close(writer.get()) < ARCHIVE_WARN) {
        error = QStringLiteral("cannot finish the install: ") + archiveError(writer.get());
        return false;
    }
    return true;
}

} // namespace

std::optional<QByteArray> normalisedEntryPath(const QByteArray &name) {
    if (name.startsWith('/')) {
        return std::nullopt;
    }
    QList<QByteArray> kept;
    for (const QByteArray &component : name.split('/')) {
        if (component.isEmpty() || component == ".") {
            continue;
        }
        if (component == "..") {
            return std::nullopt;
        }
        kept.append(component);
    }
    return joined(kept);
}

bool installPayload(const QString &payloadPath, const QString &installLocation, const QString &sandboxRoot,
                    QString &error) {
    if (!installLocation.startsWith(QLatin1Char('/')) ||
        installLocation.split(QLatin1Char('/')).contains(QStringLiteral(".."))) {
        error = QStringLiteral("unsafe install-location \"%1\"").arg(installLocation);
        return false;
    }
    QList<Entry> entries;
    if (!readEntries(payloadPath, entries, error)) {
        return false;
    }
    const QString location = QDir::cleanPath(sandboxRoot + QLatin1Char('/') + installLocation);
    if (!checkEntries(entries, location, error)) {
        return false;
    }
    const std::optional<QString> prepared = prepareLocation(installLocation, sandboxRoot, error);
    return prepared && extract(payloadPath, *prepared, error);
}

} // namespace installer
