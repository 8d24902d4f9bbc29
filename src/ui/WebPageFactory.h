#pragma once
// What the web-engine module offers the application: web views made on demand. The module
// (ui/webengine/) is the only part of the program that links Qt WebEngine; the application
// loads it when the sign-in sheet first needs a page, so a start pays nothing for it.

#include <QtPlugin>

class QUrl;
class QWidget;

namespace quillon {

class WebPageFactory {
public:
    virtual ~WebPageFactory() = default;

    /// A new web view under `parent`, showing nothing yet.
    virtual QWidget *createPage(QWidget *parent) = 0;
    /// Shows `url` in a view made by createPage.
    virtual void load(QWidget *page, const QUrl &url) = 0;
    /// The page a view made by createPage shows.
    virtual QUrl url(const QWidget *page) const = 0;
};

} // namespace quillon

#define QuillonWebPageFactory_iid "cn.vrel.quillon.WebPageFactory/1"
Q_DECLARE_INTERFACE(quillon::WebPageFactory, QuillonWebPageFactory_iid)
