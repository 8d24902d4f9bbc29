#include "ui/WebPageModule.h"

#include "ui/WebPageFactory.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QOpenGLContext>
#include <QPluginLoader>

// Qt's own setter of the context every GL context of the application shares with (exported
// by Qt GUI, declared in a private header).
Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext *context);

namespace quillon {
namespace {

// Qt WebEngine composites through a GL context shared with the application's, which it looks
// for as its libraries load (without one it warns that it was started from a plugin). Qt makes
// that context at start when asked (Qt::AA_ShareOpenGLContexts), but that costs every start a
// GL context, though most runs never show a web page: it is made here, just before the module.
void shareGLContexts() {
    if (QOpenGLContext::globalShareContext() != nullptr) {
        return;
    }
    // Set even when it cannot be created (no GL, as offscreen), as Qt does: the web engine
    // then renders in software, where it would fail on no context at all.
    auto *context = new QOpenGLContext(QCoreApplication::instance());
    context->create();
    qt_gl_set_global_share_context(context);
}

} // namespace

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
        shareGLContexts();
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
