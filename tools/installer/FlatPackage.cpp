#include "FlatPackage.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QXmlStreamReader>

#include <archive.h>
#include <archive_entry.h>

namespace installer {

namespace {

constexpr qint64 maximumPackageInfoSize = 1 << 20;

struct ArchiveReader {
    archive *handle = archive_read_new();
    ~ArchiveReader() { archive_read_free(handle); }
};

QString archiveError(archive *a) {
    const char *text = archive_error_string(a);
    return text ? QString::fromUtf8(text) : QStringLiteral("unreadable archive");
}

/// install-location and identifier of a PackageInfo document.
bool readPackageInfo(const QByteArray &xml, FlatPackage &package, QString &error) {
    QXmlStreamReader reader(xml);
    while (reader.readNextStartElement()) {
        if (reader.name() != QStringLiteral("pkg-info")) {
            error = QStringLiteral("PackageInfo does not describe a package (root element <%1>)").arg(reader.name());
            return false;
        }
        const QXmlStreamAttributes attributes = reader.attributes();
        package.identifier = attributes.value(QStringLiteral("identifier")).toString();
        package.installLocation = attributes.hasAttribute(QStringLiteral("install-location"))
                                      ? attributes.value(QStringLiteral("install-location")).toString()
                                      : QStringLiteral("/");
        return true;
    }
    error = reader.hasError() ? QStringLiteral("PackageInfo is not valid XML: ") + reader.errorString()
                              : QStringLiteral("PackageInfo is empty");
    return false;
}

bool copyEntryData(archive *a, QIODevice &to, qint64 limit, QString &error) {
    const void *block = nullptr;
    size_t size = 0;
    la_int64_t offset = 0;
    qint64 written = 0;
    for (;;) {
        const int status = archive_read_data_block(a, &block, &size, &offset);
        if (status == ARCHIVE_EOF) {
            return true;
        }
        if (status < ARCHIVE_WARN) {
            error = archiveError(a);
            return false;
        }
        written += qint64(size);
        if (limit > 0 && written > limit) {
            error = QStringLiteral("entry too large");
            return false;
        }
        if (to.write(static_cast<const char *>(block), qint64(size)) != qint64(size)) {
            error = to.errorString();
            return false;
        }
    }
}

} // namespace

std::optional<FlatPackage> readFlatPackage(const QString &path, QString &error) {
    if (!QFileInfo(path).isFile()) {
        error = QStringLiteral("the package %1 does not exist").arg(path);
        return std::nullopt;
    }
    ArchiveReader reader;
    archive_read_support_format_xar(reader.handle);
    if (archive_read_open_filename(reader.handle, QFile::encodeName(path).constData(), 64 * 1024) != ARCHIVE_OK) {
        error = QStringLiteral("the package is not a flat package: ") + archiveError(reader.handle);
        return std::nullopt;
    }

    FlatPackage package;
    std::optional<QByteArray> packageInfo;
    archive_entry *entry = nullptr;
    for (;;) {
        const int status = archive_read_next_header(reader.handle, &entry);
        if (status == ARCHIVE_EOF) {
            break;
        }
        if (status < ARCHIVE_WARN) {
            error = QStringLiteral("the package is damaged: ") + archiveError(reader.handle);
            return std::nullopt;
        }
        const QByteArray name = archive_entry_pathname(entry);
        if (name.endsWith("/PackageInfo") || name.endsWith("/Payload")) {
            error = QStringLiteral("product archives with component packages are not supported (%1)")
                        .arg(QString::fromUtf8(name));
            return std::nullopt;
        }
        if (name == "PackageInfo" || name == "Payload") {
            if ((name == "PackageInfo" && packageInfo) || (name == "Payload" && package.payload)) {
                error = QStringLiteral("the package holds %1 twice").arg(QString::fromUtf8(name));
                return std::nullopt;
            }
            if (archive_entry_filetype(entry) != AE_IFREG) {
                error = QStringLiteral("%1 is not a file").arg(QString::fromUtf8(name));
                return std::nullopt;
            }
        }
        if (name == "PackageInfo") {
            QBuffer buffer;
            buffer.open(QIODevice::WriteOnly);
            if (!copyEntryData(reader.handle, buffer, maximumPackageInfoSize, error)) {
                error = QStringLiteral("cannot read PackageInfo: ") + error;
                return std::nullopt;
            }
            packageInfo = buffer.data();
        } else if (name == "Payload") {
            auto payload = std::make_unique<QTemporaryFile>();
            if (!payload->open()) {
                error = QStringLiteral("cannot create a temporary file: ") + payload->errorString();
                return std::nullopt;
            }
            if (!copyEntryData(reader.handle, *payload, 0, error) || !payload->flush()) {
                error = QStringLiteral("cannot read Payload: ") + error;
                return std::nullopt;
            }
            package.payload = std::move(payload);
        }
        // Bom, Scripts and anything else are not used: the stand-in runs no package scripts.
    }
    if (!packageInfo) {
        error = QStringLiteral("the package has no PackageInfo");
        return std::nullopt;
    }
    if (!package.payload) {
        error = QStringLiteral("the package has no Payload");
        return std::nullopt;
    }
    if (!readPackageInfo(*packageInfo, package, error)) {
        return std::nullopt;
    }
    return package;
}

} // namespace installer
