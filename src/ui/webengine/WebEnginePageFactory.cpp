// The web-engine module: web views backed by Qt WebEngine, loaded by the application on
// demand (see ui/WebPageFactory.h). Nothing else of the program is linked into it.
#include "ui/WebPageFactory.h"

#include <QObject>
#include <QUrl>
#include <QWebEngineView>

namespace quillon {

// The GL context Qt WebEngine shares with the application's is made by the loader before
// this module's libraries load (WebPageModule::factory).
class WebEnginePageFactory final : public QObject, public WebPageFactory {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QuillonWebPageFactory_iid)
    Q_INTERFACES(quillon::WebPageFactory)

public:
    QWidget *createPage(QWidget *parent) override { return new QWebEngineView(parent); }
    void load(QWidget *page, const QUrl &url) override { static_cast<QWebEngineView *>(page)->setUrl(url); }
    QUrl url(const QWidget *page) const override { return static_cast<const QWebEngineView *>(page)->url(); }
};

} // namespace quillon

#include "WebEnginePageFactory.moc"
