#pragma once
// The WeChat sign-in sheet: WeChat's authorisation page (it carries the QR code) in an
// embedded web view, the sign-in's status line, and retry and cancel. The web view comes
// from the web-engine module, loaded when the first sheet opens; without the module the
// sheet offers the page as a link to open in the browser.

#include "ui/WebPageModule.h"

#include <QDialog>
#include <QUrl>

class QLabel;
class QPushButton;

namespace quillon {

class PluginManager;

class WechatLoginSheet final : public QDialog {
    Q_OBJECT
public:
    WechatLoginSheet(PluginManager &manager, QWidget *parent = nullptr,
                     WebPageModule &module = WebPageModule::shared());

    /// The web view, or null when the web-engine module could not be loaded.
    QWidget *page() const { return m_page; }
    /// The page the web view shows (empty before the first).
    QUrl pageURL() const;
    /// Without the web view: what went wrong, and the page as a link (else null).
    QLabel *pageProblem() const { return m_pageProblem; }
    QLabel *pageLink() const { return m_pageLink; }

    QLabel *message() const { return m_message; }
    QPushButton *retryButton() const { return m_retry; }
    QPushButton *cancelButton() const { return m_cancel; }

private:
    void refresh();

    PluginManager &m_manager;
    WebPageFactory *m_pages;
    QWidget *m_page = nullptr;
    QLabel *m_pageProblem = nullptr;
    QLabel *m_pageLink = nullptr;
    QLabel *m_message;
    QPushButton *m_retry;
    QPushButton *m_cancel;
    QUrl m_shownURL;
};

} // namespace quillon
