#include "ui/AccountPanel.h"

#include "model/PluginManager.h"
#include "platform/DisplayText.h"
#include "records/MembershipTypes.h"
#include "ui/ActionButton.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace quillon {

AccountPanel::AccountPanel(PluginManager &manager, QWidget *parent)
    : ModelView(manager, parent), m_userName(new QLabel(this)), m_message(new QLabel(this)),
      m_signIn(new ActionButton(QStringLiteral("微信扫码登录"), this)),
      m_sync(new ActionButton(QStringLiteral("同步"), this)),
      m_signOut(new ActionButton(QStringLiteral("退出登录"), this)), m_memberships(new QComboBox(this)),
      m_purchasesTitle(new QLabel(QStringLiteral("已购商品"), this)), m_purchases(new QListWidget(this)),
      m_installPurchase(new ActionButton(QStringLiteral("安装所选商品"), this)) {
    auto *layout = new QVBoxLayout(this);
    QFont bold = m_userName->font();
    bold.setBold(true);
    m_userName->setFont(bold);
    m_message->setWordWrap(true);
    // The nickname and the service's messages are shown as the words they are.
    m_userName->setTextFormat(Qt::PlainText);
    m_message->setTextFormat(Qt::PlainText);
    layout->addWidget(m_userName);
    layout->addWidget(m_message);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_signIn);
    buttons->addWidget(m_sync);
    buttons->addWidget(m_signOut);
    layout->addLayout(buttons);
    layout->addWidget(m_memberships);
    layout->addWidget(m_purchasesTitle);
    layout->addWidget(m_purchases);
    layout->addWidget(m_installPurchase);
    m_purchases->setSelectionMode(QAbstractItemView::SingleSelection);

    connect(m_signIn, &QPushButton::clicked, this, [this] { m_manager.startWechatLogin(); });
    connect(m_sync, &QPushButton::clicked, this, [this] { m_manager.refreshWechatAccount(); });
    connect(m_signOut, &QPushButton::clicked, this, [this] { m_manager.signOutWechat(); });
    connect(m_memberships, &QComboBox::activated, this, &AccountPanel::membershipChosen);
    connect(m_purchases, &QListWidget::itemSelectionChanged, this, &AccountPanel::updatePurchaseButton);
    connect(m_installPurchase, &QPushButton::clicked, this, &AccountPanel::installChosenPurchase);
    refreshNow();
}

void AccountPanel::refresh() {
    const bool signedIn = m_manager.isWechatLoggedIn();
    m_userName->setText(signedIn ? displayLine(m_manager.wechatUserName()) : QStringLiteral("微信账户"));
    m_message->setText(displayLine(m_manager.wechatLoginMessage()));
    m_signIn->setVisible(!signedIn);
    const bool idle = !m_manager.isWorking();
    m_signIn->setEnabled(idle);
    m_signOut->setVisible(signedIn);
    m_signOut->setEnabled(idle);
    // A sync may select another membership.
    m_sync->setEnabled(idle && !m_manager.isRestoringAccount());
    m_memberships->setEnabled(idle);

    const QList<ManagerLicense> memberships = m_manager.memberLibraryMemberships();
    const QSignalBlocker blocker(m_memberships);
    // Rebuilt only when the memberships change: a rebuild takes the highlight off the row the
    // user is moving to in the open list, and the model changes for many other reasons.
    if (memberships != m_shownMemberships) {
        m_shownMemberships = memberships;
        m_memberships->clear();
        for (const ManagerLicense &license : memberships) {
            m_memberships->addItem(m_manager.membershipLibraryTitle(license));
            m_memberships->setItemData(m_memberships->count() - 1, m_manager.membershipLibrarySubtitle(license),
                                       Qt::ToolTipRole);
            m_memberships->setItemData(m_memberships->count() - 1, license.id(), Qt::UserRole);
        }
    }
    int current = -1;
    for (qsizetype i = 0; i < memberships.size() && current < 0; ++i) {
        if (memberships[i].productKey == m_manager.activatedProductKey()) {
            current = int(i);
        }
    }
    if (m_memberships->currentIndex() != current) {
        m_memberships->setCurrentIndex(current);
    }
    m_memberships->setVisible(!memberships.isEmpty());

    // Bought products that open no member library are installed one by one from here.
    QList<ManagerLicense> purchases;
    for (const ManagerLicense &license : m_manager.accountPurchases()) {
        if (license.productKey && !isMemberLibraryType(canonicalMembershipType(license))) {
            purchases.append(license);
        }
    }
    if (purchases != m_shownPurchases) {
        m_shownPurchases = purchases;
        const QSignalBlocker listBlocker(m_purchases);
        m_purchases->clear();
        for (const ManagerLicense &license : m_shownPurchases) {
            m_purchases->addItem(displayLine(license.productName));
        }
    }
    m_purchasesTitle->setVisible(!m_shownPurchases.isEmpty());
    m_purchases->setVisible(!m_shownPurchases.isEmpty());
    m_installPurchase->setVisible(!m_shownPurchases.isEmpty());
    updatePurchaseButton();
}

void AccountPanel::updatePurchaseButton() {
    const int row = m_purchases->currentRow();
    const bool chosen = row >= 0 && row < m_shownPurchases.size() && m_purchases->currentItem()->isSelected();
    m_installPurchase->setEnabled(chosen && !m_manager.isWorking());
}

void AccountPanel::installChosenPurchase() {
    const int row = m_purchases->currentRow();
    if (row >= 0 && row < m_shownPurchases.size()) {
        m_manager.installAccountPurchase(m_shownPurchases.at(row));
    }
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
