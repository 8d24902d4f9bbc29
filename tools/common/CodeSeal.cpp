#include "common/CodeSeal.h"

#include "common/PropertyList.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>

#include <cstdlib>

#include <unistd.h>

namespace standin {

namespace {

const QString filesKey = QStringLiteral("files");
const QString contents = QStringLiteral("Contents");
const QString linkPrefix = QStringLiteral("link:");

/// A link's target as written in the link (QFile::symLinkTarget would resolve it).
QString linkText(const QString &path) {
    QByteArray target(4096, '\0');
    const ssize_t length = ::readlink(QFile::encodeName(path).constData(), target.data(), size_t(target.size()));
    return length < 0 ? QString() : QFile::decodeName(target.left(length));
}

/// The digest of one file or link as the seal records it; empty when it cannot be read.
QString digestOf(const QFileInfo &info) {
    if (info.isSymLink()) {
        const QString target = linkText(info.filePath());
        return target.isEmpty() ? QString() : linkPrefix + target;
    }
    QFile file(info.filePath());
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file)) {
        return QString();
    }
    return QString::fromLatin1(hash.result().toHex());
}

/// Relative path -> digest of every file and link below Contents, the seal excepted.
QMap<QString, QString> currentResources(const QString &bundlePath) {
    QMap<QString, QString> resources;
    // Absolute, so that a bundle named relative to the working folder yields the same names.
    const QDir bundle(QFileInfo(bundlePath).absoluteFilePath());
    QDirIterator it(bundle.filePath(contents), QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        if (info.isDir() && !info.isSymLink()) {
            continue;
        }
        const QString relative = bundle.relativeFilePath(info.filePath());
        if (relative != QLatin1String(sealRelativePath)) {
            resources.insert(relative, digestOf(info));
        }
    }
    return resources;
}

/// The sealed resources, or nothing when the seal is unreadable.
std::optional<QMap<QString, QString>> sealedResources(const QString &sealPath) {
    QString error;
    const Plist seal = readDictionary(sealPath, error);
    plist_t files = seal ? nodeAt(seal.get(), {filesKey}) : nullptr;
    if (!files || plist_get_node_type(files) != PLIST_DICT) {
        return std::nullopt;
    }
    QMap<QString, QString> resources;
    plist_dict_iter iter = nullptr;
    plist_dict_new_iter(files, &iter);
    for (;;) {
        char *key = nullptr;
        plist_t value = nullptr;
        plist_dict_next_item(files, iter, &key, &value);
        if (!value) {
            free(key);
            break;
        }
        const QString path = QString::fromUtf8(key);
        free(key);
        if (plist_get_node_type(value) != PLIST_STRING) {
            free(iter);
            return std::nullopt;
        }
        char *digest = nullptr;
        plist_get_string_val(value, &digest);
        resources.insert(path, QString::fromUtf8(digest));
        free(digest);
    }
    free(iter);
    return resources;
}

/// Whether the link at `relative` (inside the bundle) points at something inside it.
bool linkStaysInside(const QString &relative, const QString &target) {
    if (QDir::isAbsolutePath(target)) {
        return false;
    }
    const QString resolved = QDir::cleanPath(QFileInfo(relative).path() + QLatin1Char('/') + target);
    return resolved != QStringLiteral("..") && !resolved.startsWith(QStringLiteral("../"));
}

SealVerdict verdict(SealVerdict::Kind kind, QStringList details = {}) {
    SealVerdict v;
    v.kind = kind;
    v.details = std::move(details);
    return v;
}

} // namespace

bool writeSeal(const QString &bundlePath, QString &error) {
    const QMap<QString, QString> resources = currentResources(bundlePath);
    Plist root(plist_new_dict());
    plist_t files = plist_new_dict();
    for (auto it = resources.cbegin(); it != resources.cend(); ++it) {
        if (it.value().isEmpty()) {
            error = QStringLiteral("cannot read %1").arg(QDir(bundlePath).filePath(it.key()));
            plist_free(files);
            return false;
        }
        plist_dict_set_item(files, it.key().toUtf8().constData(), plist_new_string(it.value().toUtf8().constData()));
    }
    plist_dict_set_item(root.get(), filesKey.toUtf8().constData(), files);
    return writeXml(root.get(), QDir(bundlePath).filePath(QLatin1String(sealRelativePath)), error);
}

SealVerdict verifySeal(const QString &bundlePath, VerifyOptions options) {
    using Kind = SealVerdict::Kind;
    if (!QFileInfo(bundlePath).isDir()) {
        return verdict(Kind::missing);
    }
    const QDir bundle(bundlePath);
    const QString sealPath = bundle.filePath(QLatin1String(sealRelativePath));
    if (!QFileInfo::exists(sealPath)) {
        return verdict(Kind::notSigned);
    }
    const auto sealed = sealedResources(sealPath);
    if (!sealed) {
        return verdict(Kind::resourcesInvalid, {QStringLiteral("invalid seal: ") + sealPath});
    }

    const QMap<QString, QString> present = currentResources(bundlePath);
    QStringList problems;
    for (auto it = sealed->cbegin(); it != sealed->cend(); ++it) {
        const auto found = present.constFind(it.key());
        if (found == present.cend()) {
            problems.append(QStringLiteral("file missing: ") + bundle.filePath(it.key()));
        } else if (found.value() != it.value()) {
            problems.append(QStringLiteral("file modified: ") + bundle.filePath(it.key()));
        }
    }
    for (auto it = present.cbegin(); it != present.cend(); ++it) {
        if (!sealed->contains(it.key())) {
            problems.append(QStringLiteral("file added: ") + bundle.filePath(it.key()));
        }
    }
    if (!problems.isEmpty()) {
        problems.sort();
        return verdict(Kind::resourcesInvalid, problems);
    }

    const QStringList rootEntries =
        bundle.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    if (rootEntries != QStringList{contents}) {
        return verdict(Kind::unsealedRoot);
    }

    if (options.strict) {
        for (auto it = sealed->cbegin(); it != sealed->cend(); ++it) {
            if (it.value().startsWith(linkPrefix) && !linkStaysInside(it.key(), it.value().mid(linkPrefix.size()))) {
                return verdict(Kind::linkOutside, {QStringLiteral("link: ") + bundle.filePath(it.key())});
            }
        }
    }

    if (options.deep) {
        const QDir plugIns(bundle.filePath(QStringLiteral("Contents/PlugIns")));
        for (const QFileInfo &nested : plugIns.entryInfoList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot,
                                                             QDir::Name)) {
            if (nested.isSymLink()) {
                continue;
            }
            SealVerdict inner = verifySeal(nested.filePath(), options);
            if (!inner.isValid()) {
                if (inner.subcomponent.isEmpty()) {
                    inner.subcomponent = nested.filePath();
                }
                return inner;
            }
        }
    }
    return verdict(Kind::valid);
}

QString SealVerdict::message() const {
    switch (kind) {
    case Kind::valid:
        return QStringLiteral("valid on disk");
    case Kind::missing:
        return QStringLiteral("No such file or directory");
    case Kind::notSigned:
        return QStringLiteral("code object is not signed at all");
    case Kind::resourcesInvalid:
        return QStringLiteral("a sealed resource is missing or invalid");
    case Kind::unsealedRoot:
        return QStringLiteral("unsealed contents present in the bundle root");
    case Kind::linkOutside:
        return QStringLiteral("invalid destination for symbolic link in bundle");
    }
    return QString();
}

} // namespace standin
