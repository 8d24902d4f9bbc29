#include "ui/WechatLoginSheet.h"

#include "core/PluginManager.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWebEngineView>

namespace quillon {

WechatLoginSheet::WechatLoginSheet(PluginManager &manager, QWidget *parent)
    : QDialog(parent), m_manager(manager), m_page(new QWebEngineView(this)), m_message(new QLabel(this)),
      m_retry(new QPushButton(QStringLiteral("重新获取二维码"), this)),
      m_cancel(new QPushButton(QStringLiteral("取消"), this)) {
    setWindowTitle(QStringLiteral("微信扫码登录"));
    m_page->setMinimumSize(360, 420);
    m_message->setWordWrap(true);
    m_message->setAlignment(Qt::AlignCenter);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_retry);
    buttons->addWidget(m_cancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_page, 1);
    layout->addWidget(m_message);
    layout->addLayout(buttons);

    connect(m_retry, &QPushButton::clicked, this, [this] { m_manager.startWechatLogin(); });
    // The model closes the sheet through its flag.
    connect(m_cancel, &QPushButton::clicked, this, [this] { m_manager.cancelWechatLogin(); });
    connect(&manager, &PluginManager::changed, this, &WechatLoginSheet::refresh);
    refresh();
}

void WechatLoginSheet::refresh() {
    m_message->setText(m_manager.wechatLoginMessage());
    m_retry->setEnabled(!m_manager.isWorking());
    // Load a page only when it is a new one: reloading would show a fresh code.
    const QUrl url = m_manager.wechatAuthorizeURL().value_or(QUrl());
    if (url.isValid() && url != m_shownURL) {
        m_shownURL = url;
        m_page->setUrl(url);
    }
}

} // namespace quillon
