#include "packaging/PackageBuilder.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <archive.h>
#include <archive_entry.h>

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

namespace quillon::packaging {

namespace {

using WriteHandle = std::unique_ptr<archive, decltype(&archive_write_free)>;
using EntryHandle = std::unique_ptr<archive_entry, decltype(&archive_entry_free)>;

void check(archive *a, int status, const char *step) {
    if (status < ARCHIVE_WARN) {
        const char *message = archive_error_string(a);
        throw std::runtime_error(std::string(step) + ": " + (message ? message : "libarchive failed"));
    }
}

QByteArray entryPath(const QString &path) {
    const QByteArray bytes = path.toUtf8();
    return bytes.startsWith('/') || bytes.startsWith('.') ? bytes : "./" + bytes;
}

la_ssize_t appendToBuffer(archive *, void *buffer, const void *data, size_t size) {
    static_cast<QByteArray *>(buffer)->append(static_cast<const char *>(data), qsizetype(size));
    return la_ssize_t(size);
}

void addEntry(archive *a, const QByteArray &path, unsigned type, const QByteArray &contents,
              const QByteArray &linkTarget, qint64 inode = 0, bool executable = false) {
    EntryHandle entry(archive_entry_new(), &archive_entry_free);
    archive_entry_set_pathname(entry.get(), path.constData());
    archive_entry_set_filetype(entry.get(), type);
    archive_entry_set_perm(entry.get(), type == AE_IFDIR || executable ? 0755 : 0644);
    archive_entry_set_mtime(entry.get(), 1700000000, 0);
    archive_entry_set_size(entry.get(), type == AE_IFREG ? contents.size() : 0);
    if (type == AE_IFLNK) {
        archive_entry_set_symlink(entry.get(), linkTarget.constData());
    }
    if (inode != 0) {
        archive_entry_set_ino(entry.get(), inode);
        archive_entry_set_nlink(entry.get(), 2);
    }
    check(a, archive_write_header(a, entry.get()), "write header");
    if (type == AE_IFREG && !contents.isEmpty()) {
        if (archive_write_data(a, contents.constData(), size_t(contents.size())) != la_ssize_t(contents.size())) {
            check(a, ARCHIVE_FATAL, "write data");
        }
    }
}

} // namespace

PackageBuilder::PackageBuilder(QString installLocation) : m_installLocation(std::move(installLocation)) {}

PackageBuilder &PackageBuilder::identifier(const QString &identifier) {
    m_identifier = identifier;
    return *this;
}

PackageBuilder &PackageBuilder::folder(const QString &path) {
    m_entries.append({entryPath(path), AE_IFDIR, {}, {}});
    return *this;
}

PackageBuilder &PackageBuilder::file(const QString &path, const QByteArray &contents, bool executable) {
    m_entries.append({entryPath(path), AE_IFREG, contents, {}, 0, executable});
    return *this;
}

PackageBuilder &PackageBuilder::tree(const QString &path, const QString &source) {
    if (!QFileInfo(source).isDir()) {
        throw std::runtime_error("not a folder: " + source.toStdString());
    }
    folder(path);
    // Sorted, so that the same folder always makes the same payload.
    QStringList below;
    QDirIterator it(source, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        below.append(QDir(source).relativeFilePath(it.next()));
    }
    below.sort();
    for (const QString &relative : below) {
        const QFileInfo info(QDir(source).filePath(relative));
        const QString entry = path + QLatin1Char('/') + relative;
        if (info.isSymLink()) {
            // The target as written (a seal names links by it), not the path it resolves to.
            std::error_code error;
            const std::filesystem::path target = std::filesystem::read_symlink(QFile::encodeName(info.filePath()).toStdString(), error);
            if (error) {
                throw std::runtime_error("cannot read the link " + info.filePath().toStdString());
            }
            symlink(entry, QFile::decodeName(QByteArray::fromStdString(target.string())));
        } else if (info.isDir()) {
            folder(entry);
        } else {
            QFile input(info.filePath());
            if (!info.isFile() || !input.open(QIODevice::ReadOnly)) {
                throw std::runtime_error("cannot read " + info.filePath().toStdString());
            }
            file(entry, input.readAll(), info.isExecutable());
        }
    }
    return *this;
}

PackageBuilder &PackageBuilder::symlink(const QString &path, const QString &target) {
    m_entries.append({entryPath(path), AE_IFLNK, {}, target.toUtf8()});
    return *this;
}

PackageBuilder &PackageBuilder::hardlink(const QString &path, const QString &existing) {
    const QByteArray target = entryPath(existing);
    for (qsizetype i = 0; i < m_entries.size(); ++i) {
        if (m_entries[i].path == target) {
            if (m_entries[i].inode == 0) {
                m_entries[i].inode = 1000 + i;
            }
            m_entries.append({entryPath(path), AE_IFREG, m_entries[i].contents, {}, m_entries[i].inode});
            return *this;
        }
    }
    throw std::invalid_argument("hard link to a file the package does not hold");
}

PackageBuilder &PackageBuilder::fifo(const QString &path) {
    m_entries.append({entryPath(path), AE_IFIFO, {}, {}});
    return *this;
}

PackageBuilder &PackageBuilder::packageInfo(const QByteArray &document) {
    m_packageInfo = document;
    return *this;
}

PackageBuilder &PackageBuilder::rawPayload(const QByteArray &bytes) {
    m_rawPayload = bytes;
    return *this;
}

PackageBuilder &PackageBuilder::withoutPackageInfo() {
    m_hasPackageInfo = false;
    return *this;
}

PackageBuilder &PackageBuilder::withoutPayload() {
    m_hasPayload = false;
    return *this;
}

QByteArray PackageBuilder::payload() const {
    if (!m_rawPayload.isNull()) {
        return m_rawPayload;
    }
    QByteArray bytes;
    WriteHandle writer(archive_write_new(), &archive_write_free);
    check(writer.get(), archive_write_set_format_cpio(writer.get()), "cpio format");
    check(writer.get(), archive_write_add_filter_gzip(writer.get()), "gzip filter");
    check(writer.get(), archive_write_open(writer.get(), &bytes, nullptr, &appendToBuffer, nullptr), "open payload");
    addEntry(writer.get(), ".", AE_IFDIR, {}, {});
    for (const Entry &entry : m_entries) {
        addEntry(writer.get(), entry.path, entry.type, entry.contents, entry.linkTarget, entry.inode, entry.executable);
    }
    check(writer.get(), archive_write_close(writer.get()), "close payload");
    return bytes;
}

void PackageBuilder::write(const QString &path) const {
    QByteArray info = m_packageInfo;
    if (info.isEmpty()) {
        const QString location = m_installLocation.toHtmlEscaped();
        info = QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                              "<pkg-info format-version=\"2\" identifier=\"%1\" version=\"1.0\" "
                              "install-location=\"%2\" auth=\"root\">\n</pkg-info>\n")
                   .arg(m_identifier.toHtmlEscaped(), location)
                   .toUtf8();
    }
    WriteHandle writer(archive_write_new(), &archive_write_free);
    check(writer.get(), archive_write_set_format_xar(writer.get()), "xar format");
    check(writer.get(), archive_write_open_filename(writer.get(), QFile::encodeName(path).constData()), "open package");
    if (m_hasPackageInfo) {
        addEntry(writer.get(), "PackageInfo", AE_IFREG, info, {});
    }
    addEntry(writer.get(), "Bom", AE_IFREG, QByteArray("BOMStore"), {});
    if (m_hasPayload) {
        addEntry(writer.get(), "Payload", AE_IFREG, payload(), {});
    }
    check(writer.get(), archive_write_close(writer.get()), "close package");
}

} // namespace quillon::packaging
