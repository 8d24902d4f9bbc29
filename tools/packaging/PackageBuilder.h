#pragma once
// Writes flat component packages the way pkgbuild lays them out: a xar archive holding
// PackageInfo (with install-location) and Payload (a gzip cpio archive whose entries
// start with "./"). Tests use it to install real packages through the real runners and
// stand-in tools, and to build malformed or hostile ones; the stand-in studio service
// builds the packages it serves with it.

#include <QByteArray>
#include <QList>
#include <QString>

namespace quillon::packaging {

class PackageBuilder final {
public:
    explicit PackageBuilder(QString installLocation = QStringLiteral("/"));

    PackageBuilder &identifier(const QString &identifier);
    /// Entry paths are written as given when they start with "/" or "."; otherwise "./" is put before them.
    PackageBuilder &folder(const QString &path);
    PackageBuilder &file(const QString &path, const QByteArray &contents, bool executable = false);
    /// The folder `source` on disk and everything below it (folders, files keeping their
    /// executable bit, symbolic links), as the entry `path` and the entries below it.
    /// Throws std::runtime_error when something in it cannot be read.
    PackageBuilder &tree(const QString &path, const QString &source);
    PackageBuilder &symlink(const QString &path, const QString &target);
    /// A second name for the file `existing` written earlier (cpio links share an inode number).
    PackageBuilder &hardlink(const QString &path, const QString &existing);
    PackageBuilder &fifo(const QString &path);
    /// Replaces the generated PackageInfo document.
    PackageBuilder &packageInfo(const QByteArray &document);
    /// Replaces the generated payload with these bytes.
    PackageBuilder &rawPayload(const QByteArray &bytes);
    PackageBuilder &withoutPackageInfo();
    PackageBuilder &withoutPayload();

    /// The gzip cpio payload.
    QByteArray payload() const;
    /// Writes the package to `path`; throws std::runtime_error when that fails.
    void write(const QString &path) const;

private:
    struct Entry {
        QByteArray path;
        unsigned type;
        QByteArray contents;
        QByteArray linkTarget;
        qint64 inode = 0;
        bool executable = false;
    };

    QString m_installLocation;
    QString m_identifier = QStringLiteral("com.vrel.test.package");
    QList<Entry> m_entries;
    QByteArray m_packageInfo;
    QByteArray m_rawPayload;
    bool m_hasPackageInfo = true;
    bool m_hasPayload = true;
};

} // namespace quillon::packaging
