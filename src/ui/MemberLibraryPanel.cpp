#include "ui/MemberLibraryPanel.h"

#include "core/PluginManager.h"

#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

namespace quillon {

MemberLibraryPanel::MemberLibraryPanel(PluginManager &manager, QWidget *parent)
    : ModelView(manager, parent), m_message(new QLabel(this)), m_products(new QListWidget(this)) {
    auto *layout = new QVBoxLayout(this);
    m_message->setWordWrap(true);
    layout->addWidget(m_message);
    layout->addWidget(m_products, 1);
    refreshNow();
}

void MemberLibraryPanel::refresh() {
    m_message->setText(m_manager.memberLibraryMessage());
    QStringList names;
    for (const MemberProduct &product : m_manager.memberProducts()) {
        names.append(product.productName);
    }
    m_products->clear();
    m_products->addItems(names);
}

} // namespace quillon
