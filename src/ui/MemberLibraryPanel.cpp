#include "ui/MemberLibraryPanel.h"

#include "model/PluginManager.h"
#include "platform/DisplayText.h"
#include "ui/ActionButton.h"
#include "ui/BatchInstallBar.h"
#include "ui/MemberProductButtons.h"
#include "ui/MemberProductList.h"
#include "ui/SingleInstallProgressCard.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QVBoxLayout>

namespace quillon {

MemberLibraryPanel::MemberLibraryPanel(PluginManager &manager, QWidget *parent)
    : ModelView(manager, parent), m_title(new QLabel(this)), m_subtitle(new QLabel(this)), m_message(new QLabel(this)),
      m_progress(new SingleInstallProgressCard(manager, this)), m_products(new QListView(this)),
      m_rows(new MemberProductListModel(this)), m_delegate(new MemberProductDelegate(this)),
      m_refresh(new ActionButton(QStringLiteral("刷新"), this)) {
    QFont titleFont = m_title->font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.4);
    m_title->setFont(titleFont);
    m_subtitle->setWordWrap(true);
    m_message->setWordWrap(true);
    m_message->setTextFormat(Qt::PlainText); // may be the service's own words
    m_products->setModel(m_rows);
    m_products->setItemDelegate(m_delegate);
    m_products->setSelectionMode(QAbstractItemView::SingleSelection);
    m_products->setUniformItemSizes(true);
    m_rowButtons = new VisibleRowButtons(m_products, m_rows);

    auto *header = new QHBoxLayout;
    auto *titles = new QVBoxLayout;
    titles->addWidget(m_title);
    titles->addWidget(m_subtitle);
    header->addLayout(titles, 1);
    header->addWidget(m_refresh, 0, Qt::AlignTop);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(header);
    layout->addWidget(m_message);
    layout->addWidget(m_progress);
    layout->addWidget(new BatchInstallBar(manager, this));
    layout->addWidget(m_products, 1);

    connect(m_refresh, &QPushButton::clicked, this, [this] { m_manager.reloadMemberLibrary(); });
    connect(m_rowButtons, &VisibleRowButtons::actionTriggered, this, &MemberLibraryPanel::trigger);
    refreshNow();
}

MemberProductButtons *MemberLibraryPanel::rowButtons(int row) const {
    m_rowButtons->update();
    return m_rowButtons->buttonsOf(row);
}

void MemberLibraryPanel::trigger(int row, MemberProductAction action) {
    if (row < 0 || row >= m_rows->rowCount()) {
        return;
    }
    // A copy: the call may replace the library the row came from.
    const MemberProduct product = m_rows->product(row);
    switch (action) {
    case MemberProductAction::install:
        m_manager.installMemberProduct(product);
        break;
    case MemberProductAction::claimSupplement:
        m_manager.claimMemberProductSupplement(product);
        break;
    case MemberProductAction::showPartnerCode:
        m_manager.showClaimedPartnerActivationCode(product);
        break;
    }
}

void MemberLibraryPanel::refresh() {
    m_title->setText(m_manager.memberLibraryTitle());
    m_subtitle->setText(m_manager.memberLibrarySubtitle());
    m_message->setText(displayLine(m_manager.memberLibraryMessage()));
    m_message->setVisible(!m_manager.memberLibraryMessage().isEmpty());
    m_refresh->setEnabled(m_manager.hasWechatAccount());
    m_rows->sync(m_manager);
}

} // namespace quillon
