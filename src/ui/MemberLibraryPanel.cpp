#include "ui/MemberLibraryPanel.h"

#include "core/PluginManager.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace quillon {

MemberLibraryPanel::MemberLibraryPanel(PluginManager &manager, QWidget *parent)
    : ModelView(manager, parent), m_title(new QLabel(this)), m_subtitle(new QLabel(this)), m_message(new QLabel(this)),
      m_products(new QListWidget(this)), m_refresh(new QPushButton(QStringLiteral("刷新"), this)) {
    QFont titleFont = m_title->font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.4);
    m_title->setFont(titleFont);
    m_subtitle->setWordWrap(true);
    m_message->setWordWrap(true);

    auto *header = new QHBoxLayout;
    auto *titles = new QVBoxLayout;
    titles->addWidget(m_title);
    titles->addWidget(m_subtitle);
    header->addLayout(titles, 1);
    header->addWidget(m_refresh, 0, Qt::AlignTop);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(header);
    layout->addWidget(m_message);
    layout->addWidget(m_products, 1);

    connect(m_refresh, &QPushButton::clicked, this, [this] { m_manager.reloadMemberLibrary(); });
    refreshNow();
}

void MemberLibraryPanel::refresh() {
    m_title->setText(m_manager.memberLibraryTitle());
    m_subtitle->setText(m_manager.memberLibrarySubtitle());
    m_message->setText(m_manager.memberLibraryMessage());
    m_message->setVisible(!m_manager.memberLibraryMessage().isEmpty());
    m_refresh->setEnabled(m_manager.hasWechatAccount());
    QStringList names;
    for (const MemberProduct &product : m_manager.memberProducts()) {
        names.append(product.productName);
    }
    m_products->clear();
    m_products->addItems(names);
}

} // namespace quillon
