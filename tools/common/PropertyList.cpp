#include "common/PropertyList.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cstdlib>

namespace standin {

namespace {

/// Larger Info.plists or seals are not something a stand-in needs to read.
constexpr qint64 maximumSize = 64 * 1024 * 1024;

} // namespace

Plist readDictionary(const QString &path, QString &error) {
    Plist root = quillon::readPropertyListFile(path, maximumSize, error);
    if (!root) {
        return nullptr;
    }
    if (plist_get_node_type(root.get()) != PLIST_DICT) {
        error = QStringLiteral("%1 is not a property list dictionary").arg(path);
        return nullptr;
    }
    return root;
}

plist_t nodeAt(plist_t dictionary, const QStringList &keys) {
    plist_t node = dictionary;
    for (const QString &key : keys) {
        if (!node || plist_get_node_type(node) != PLIST_DICT) {
            return nullptr;
        }
        node = plist_dict_get_item(node, key.toUtf8().constData());
    }
    return node;
}

std::optional<QString> stringAt(plist_t dictionary, const QStringList &keys) {
    plist_t node = nodeAt(dictionary, keys);
    if (!node || plist_get_node_type(node) != PLIST_STRING) {
        return std::nullopt;
    }
    char *value = nullptr;
    plist_get_string_val(node, &value);
    if (!value) {
        return std::nullopt;
    }
    QString text = QString::fromUtf8(value);
    free(value);
    return text;
}

bool writeXml(plist_t root, const QString &path, QString &error) {
    char *xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(root, &xml, &length);
    if (!xml) {
        error = QStringLiteral("cannot encode %1").arg(path);
        return false;
    }
    const QByteArray bytes(xml, qsizetype(length));
    plist_to_xml_free(xml);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

std::optional<BundleInfo> readBundle(const QString &path, QString &error) {
    if (!QFileInfo(path).isDir()) {
        error = QStringLiteral("no bundle at this path");
        return std::nullopt;
    }
    BundleInfo bundle;
    bundle.info = readDictionary(QDir(path).filePath(QStringLiteral("Contents/Info.plist")), error);
    if (!bundle.info) {
        return std::nullopt;
    }
    bundle.identifier = stringAt(bundle.info.get(), {QStringLiteral("CFBundleIdentifier")}).value_or(QString());
    if (bundle.identifier.isEmpty()) {
        error = QStringLiteral("Info.plist names no CFBundleIdentifier");
        return std::nullopt;
    }
    const QString executable = stringAt(bundle.info.get(), {QStringLiteral("CFBundleExecutable")}).value_or(QString());
    if (executable.isEmpty() || executable.contains(QLatin1Char('/'))) {
        error = QStringLiteral("Info.plist names no usable CFBundleExecutable");
        return std::nullopt;
    }
    bundle.executablePath = QDir(path).filePath(QStringLiteral("Contents/MacOS/") + executable);
    if (!QFileInfo(bundle.executablePath).isFile()) {
        error = QStringLiteral("the executable Contents/MacOS/%1 is missing").arg(executable);
        return std::nullopt;
    }
    return bundle;
}

} // namespace standin
