#include "ui/WechatLoginSheet.h"

#include "model/PluginManager.h"
#include "platform/DisplayText.h"
#include "platform/Logging.h"
#include "platform/Workspace.h"
#include "ui/ActionButton.h"
#include "ui/WebPageFactory.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace quillon {

WechatLoginSheet::WechatLoginSheet(PluginManager &manager, QWidget *parent, WebPageModule &module)
    : QDialog(parent, Qt::Sheet), m_manager(manager), m_pages(module.factory()), m_message(new QLabel(this)),
      m_retry(new ActionButton(QStringLiteral("重新获取二维码"), this)),
      m_cancel(new ActionButton(QStringLiteral("取消"), this)) {
    setWindowTitle(QStringLiteral("微信扫码登录"));
    m_message->setWordWrap(true);
    m_message->setTextFormat(Qt::PlainText); // may be the service's own words
    m_message->setAlignment(Qt::AlignCenter);

    auto *layout = new QVBoxLayout(this);
    if (m_pages) {
        m_page = m_pages->createPage(this);
        m_page->setMinimumSize(360, 420);
        layout->addWidget(m_page, 1);
    } else {
        // No embedded browser: the page (and its QR code) opens in the user's browser.
        m_pageProblem = new QLabel(QStringLiteral("无法加载内置网页组件。请点击下方链接，在浏览器中打开微信扫码页面完成登录。"), this);
        m_pageProblem->setWordWrap(true);
        m_pageLink = new QLabel(this);
        m_pageLink->setWordWrap(true);
        m_pageLink->setTextFormat(Qt::RichText);
        m_pageLink->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard |
                                            Qt::TextSelectableByMouse);
        m_pageLink->setMinimumWidth(360);
        connect(m_pageLink, &QLabel::linkActivated, this,
                [this] { m_manager.environment().workspace->openURL(m_shownURL); });
        layout->addWidget(m_pageProblem);
        layout->addWidget(m_pageLink, 1, Qt::AlignTop);
        qCWarning(lcUi) << "the web-engine module could not be loaded:" << module.errorString();
    }
    layout->addWidget(m_message);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_retry);
    buttons->addWidget(m_cancel);
    layout->addLayout(buttons);

    connect(m_retry, &QPushButton::clicked, this, [this] { m_manager.startWechatLogin(); });
    // The model closes the sheet through its flag.
    connect(m_cancel, &QPushButton::clicked, this, [this] { m_manager.cancelWechatLogin(); });
    connect(&manager, &PluginManager::changed, this, &WechatLoginSheet::refresh);
    refresh();
}

QUrl WechatLoginSheet::pageURL() const { return m_page ? m_pages->url(m_page) : QUrl(); }

void WechatLoginSheet::refresh() {
    m_message->setText(displayLine(m_manager.wechatLoginMessage()));
    m_retry->setEnabled(!m_manager.isWorking());
    // Load a page only when it is a new one: reloading would show a fresh code.
    const QUrl url = m_manager.wechatAuthorizeURL().value_or(QUrl());
    if (url.isValid() && url != m_shownURL) {
        m_shownURL = url;
        if (m_page) {
            m_pages->load(m_page, url);
        } else {
            const QString text = url.toString(QUrl::FullyEncoded);
            m_pageLink->setText(QStringLiteral("<a href=\"%1\">%1</a>").arg(text.toHtmlEscaped()));
        }
    }
}

} // namespace quillon
