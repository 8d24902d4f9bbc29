#include "ui/WebPageModule.h"

#include "ui/WebPageFactory.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPluginLoader>

namespace quillon {

WebPageModule::WebPageModule(QStringList folders) : m_folders(std::move(folders)) {}

// The loader stays loaded: views made by the module live until the application ends.
WebPageModule::~WebPageModule() = default;

WebPageModule &WebPageModule::shared() {
    static WebPageModule module({QCoreApplication::applicationDirPath(), QStringLiteral(QUILLON_WEBENGINE_BUILD_DIR)});
    return module;
}

WebPageFactory *WebPageModule::factory() {
    if (m_tried) {
        return m_factory;
    }
    m_tried = true;
    const QString name = QStringLiteral(QUILLON_WEBENGINE_MODULE_NAME);
    for (const QString &folder : m_folders) {
        const QString path = QDir(folder).filePath(name);
        if (!QFileInfo::exists(path)) {
            continue;
        }
        auto loader = std::make_unique<QPluginLoader>(path);
        m_factory = qobject_cast<WebPageFactory *>(loader->instance());
        if (m_factory) {
            m_loader = std::move(loader);
            m_error.clear();
            return m_factory;
        }
        m_error = loader->errorString();
    }
    if (m_error.isEmpty()) {
        m_error = QStringLiteral("%1 not found in %2").arg(name, m_folders.join(QStringLiteral(", ")));
    }
    return nullptr;
}

} // namespace quillon
