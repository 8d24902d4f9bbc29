#include "ui/AccountPanel.h"

#include "core/PluginManager.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace quillon {

AccountPanel::AccountPanel(PluginManager &manager, QWidget *parent)
    : ModelView(manager, parent), m_userName(new QLabel(this)), m_message(new QLabel(this)),
      m_signIn(new QPushButton(QStringLiteral("微信扫码登录"), this)),
      m_sync(new QPushButton(QStringLiteral("同步"), this)),
      m_signOut(new QPushButton(QStringLiteral("退出登录"), this)), m_memberships(new QComboBox(this)) {
    auto *layout = new QVBoxLayout(this);
    QFont bold = m_userName->font();
    bold.setBold(true);
    m_userName->setFont(bold);
    m_message->setWordWrap(true);
    layout->addWidget(m_userName);
    layout->addWidget(m_message);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_signIn);
    buttons->addWidget(m_sync);
    buttons->addWidget(m_signOut);
    layout->addLayout(buttons);
    layout->addWidget(m_memberships);

    connect(m_signIn, &QPushButton::clicked, this, [this] { m_manager.startWechatLogin(); });
    connect(m_sync, &QPushButton::clicked, this, [this] { m_manager.refreshWechatAccount(); });
    connect(m_signOut, &QPushButton::clicked, this, [this] { m_manager.signOutWechat(); });
    connect(m_memberships, &QComboBox::activated, this, &AccountPanel::membershipChosen);
    refreshNow();
}

void AccountPanel::refresh() {
    const bool signedIn = m_manager.isWechatLoggedIn();
    m_userName->setText(signedIn ? m_manager.wechatUserName() : QStringLiteral("微信账户"));
    m_message->setText(m_manager.wechatLoginMessage());
    m_signIn->setVisible(!signedIn);
    m_signIn->setEnabled(!m_manager.isWorking());
    m_signOut->setVisible(signedIn);
    m_sync->setEnabled(!m_manager.isRestoringAccount());

    const QList<ManagerLicense> memberships = m_manager.memberLibraryMemberships();
    const QSignalBlocker blocker(m_memberships);
    m_memberships->clear();
    int current = -1;
    for (const ManagerLicense &license : memberships) {
        m_memberships->addItem(m_manager.membershipLibraryTitle(license));
        m_memberships->setItemData(m_memberships->count() - 1, m_manager.membershipLibrarySubtitle(license),
                                   Qt::ToolTipRole);
        m_memberships->setItemData(m_memberships->count() - 1, license.id(), Qt::UserRole);
        if (current < 0 && license.productKey == m_manager.activatedProductKey()) {
            current = m_memberships->count() - 1;
        }
    }
    m_memberships->setCurrentIndex(current);
    m_memberships->setVisible(!memberships.isEmpty());
}

void AccountPanel::membershipChosen(int index) {
    // The list shown may be a turn behind the model's: choose by identity, not by position.
    const QString chosen = m_memberships->itemData(index, Qt::UserRole).toString();
    for (const ManagerLicense &license : m_manager.memberLibraryMemberships()) {
        if (license.id() == chosen) {
            m_manager.selectMemberLibrary(license);
            return;
        }
    }
}

} // namespace quillon
