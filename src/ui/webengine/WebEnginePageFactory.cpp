// The web-engine module: web views backed by Qt WebEngine, loaded by the application on
// demand (see ui/WebPageFactory.h). Nothing else of the program is linked into it.
#include "ui/WebPageFactory.h"

#include <QCoreApplication>
#include <QObject>
#include <QOpenGLContext>
#include <QUrl>
#include <QWebEngineView>

// Qt's own setter of the context every GL context of the application shares with (exported
// by Qt GUI, declared in a private header).
Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext *context);

namespace quillon {
namespace {

// Qt WebEngine composites through a GL context shared with the application's. Qt makes that
// context at start when asked (Qt::AA_ShareOpenGLContexts), but that costs every start a GL
// context, though most runs never show a web page: the module makes it when it is loaded.
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

class WebEnginePageFactory final : public QObject, public WebPageFactory {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QuillonWebPageFactory_iid)
    Q_INTERFACES(quillon::WebPageFactory)

public:
    WebEnginePageFactory() { shareGLContexts(); }

    QWidget *createPage(QWidget *parent) override { return new QWebEngineView(parent); }
    void load(QWidget *page, const QUrl &url) override { static_cast<QWebEngineView *>(page)->setUrl(url); }
    QUrl url(const QWidget *page) const override { return static_cast<const QWebEngineView *>(page)->url(); }
};

} // namespace quillon

#include "WebEnginePageFactory.moc"
