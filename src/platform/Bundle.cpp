#include "platform/Bundle.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <plist/plist.h>

#include <memory>

namespace quillon {
namespace {

struct PlistFree {
    void operator()(plist_t node) const { plist_free(node); }
};
using PlistPtr = std::unique_ptr<std::remove_pointer_t<plist_t>, PlistFree>;

std::optional<QString> stringItem(plist_t dict, const char *key) {
    plist_t node = plist_dict_get_item(dict, key);
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
    QFile file(QDir(path).filePath(QStringLiteral("Contents/Info.plist")));
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    const QByteArray bytes = file.readAll();
    if (bytes.isEmpty() || bytes.size() > 16 * 1024 * 1024) {
        return std::nullopt;
    }
    plist_t raw = nullptr;
    plist_from_memory(bytes.constData(), static_cast<uint32_t>(bytes.size()), &raw);
    PlistPtr root(raw);
    if (!root || plist_get_node_type(root.get()) != PLIST_DICT) {
        return std::nullopt;
    }
    Bundle bundle;
    bundle.m_path = QDir::cleanPath(path);
    bundle.m_identifier = stringItem(root.get(), "CFBundleIdentifier");
    bundle.m_executableName = stringItem(root.get(), "CFBundleExecutable");
    return bundle;
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
