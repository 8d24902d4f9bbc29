#pragma once
// The WeChat sign-in sheet: WeChat's authorisation page (it carries the QR code) in an
// embedded web view, the sign-in's status line, and retry and cancel.

#include <QDialog>
#include <QUrl>

class QLabel;
class QPushButton;
class QWebEngineView;

namespace quillon {

class PluginManager;

class WechatLoginSheet final : public QDialog {
    Q_OBJECT
public:
    WechatLoginSheet(PluginManager &manager, QWidget *parent = nullptr);

    QWebEngineView *page() const { return m_page; }
    QLabel *message() const { return m_message; }
    QPushButton *retryButton() const { return m_retry; }
    QPushButton *cancelButton() const { return m_cancel; }

private:
    void refresh();

    PluginManager &m_manager;
    QWebEngineView *m_page;
    QLabel *m_message;
    QPushButton *m_retry;
    QPushButton *m_cancel;
    QUrl m_shownURL;
};

} // namespace quillon
