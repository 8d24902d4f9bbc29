#include "platform/Bundle.h"

#include "platform/Logging.h"
#include "platform/shared/PropertyListFile.h"

#include <QCoreApplication>
#include <QDir>

#include <memory>

namespace quillon {
namespace {

/// No bundle needs a larger Info.plist; a larger one is not read at all.
constexpr qint64 largestInfoPlist = 16 * 1024 * 1024;

std::optional<QString> stringValue(plist_t node) {
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

} // namespace

std::optional<Bundle> Bundle::open(const QString &path) {
    QString error;
    PropertyList info = readPropertyListFile(QDir(path).filePath(QStringLiteral("Contents/Info.plist")),
                                             largestInfoPlist, error);
    if (!info) {
        qCInfo(lcPlatform) << "not read as a bundle:" << error;
        return std::nullopt;
    }
    plist_t raw = info.get();
    std::shared_ptr<void> root(info.release(), plist_free);
    if (plist_get_node_type(raw) != PLIST_DICT) {
        return std::nullopt;
    }
    Bundle bundle;
    bundle.m_path = QDir::cleanPath(path);
    bundle.m_identifier = stringValue(plist_dict_get_item(raw, "CFBundleIdentifier"));
    bundle.m_executableName = stringValue(plist_dict_get_item(raw, "CFBundleExecutable"));
    bundle.m_info = std::move(root);
    return bundle;
}

bool Bundle::hasInfoKey(const QString &key) const {
    return m_info && plist_dict_get_item(m_info.get(), key.toUtf8().constData()) != nullptr;
}

std::optional<QString> Bundle::infoString(const QStringList &keyPath) const {
    plist_t node = m_info.get();
    for (const QString &key : keyPath) {
        if (!node || plist_get_node_type(node) != PLIST_DICT) {
            return std::nullopt;
        }
        node = plist_dict_get_item(node, key.toUtf8().constData());
    }
    return keyPath.isEmpty() ? std::nullopt : stringValue(node);
}

std::optional<QString> Bundle::executablePath() const {
    if (!m_executableName || m_executableName->isEmpty()) {
        return std::nullopt;
    }
    return QDir(m_path).filePath(QStringLiteral("Contents/MacOS/") + *m_executableName);
}

std::optional<QString> Bundle::mainBundleIdentifier() {
#ifdef Q_OS_MACOS
    // <App>.app/Contents/MacOS/<executable>
    QDir dir(QCoreApplication::applicationDirPath());
    if (dir.cdUp() && dir.cdUp()) {
        if (auto bundle = open(dir.path())) {
            return bundle->identifier();
        }
    }
#endif
    return std::nullopt;
}

} // namespace quillon
