#include "ui/AccountPanel.h"

#include "core/PluginManager.h"

#include <QLabel>
#include <QVBoxLayout>

namespace quillon {

AccountPanel::AccountPanel(PluginManager &manager, QWidget *parent)
    : ModelView(manager, parent), m_message(new QLabel(this)) {
    auto *layout = new QVBoxLayout(this);
    m_message->setWordWrap(true);
    layout->addWidget(m_message);
    refreshNow();
}

void AccountPanel::refresh() {
    m_message->setText(m_manager.isWechatLoggedIn() ? m_manager.wechatUserName() : m_manager.wechatLoginMessage());
}

} // namespace quillon
