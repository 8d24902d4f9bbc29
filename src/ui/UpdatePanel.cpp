#include "ui/UpdatePanel.h"

#include "model/PluginManager.h"
#include "platform/DisplayText.h"
#include "ui/ActionButton.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace quillon {

UpdatePanel::UpdatePanel(PluginManager &manager, QWidget *parent)
    : ModelView(manager, parent), m_message(new QLabel(this)),
      m_check(new ActionButton(QStringLiteral("检查更新"), this)) {
    m_message->setWordWrap(true);
    // The offered version comes from the manifest: never markup.
    m_message->setTextFormat(Qt::PlainText);
    m_message->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_message);
    layout->addWidget(m_check, 0, Qt::AlignLeft);
    connect(m_check, &QPushButton::clicked, this, [this] { m_manager.checkForManagerUpdate(false); });
    refreshNow();
}

void UpdatePanel::refresh() {
    m_message->setText(displayLine(m_manager.updateMessage()));
    m_message->setVisible(!m_manager.updateMessage().isEmpty());
    m_check->setEnabled(!m_manager.isCheckingForUpdate() && !m_manager.isInstallingUpdate());
}

} // namespace quillon
