#include "ui/SingleInstallProgressCard.h"

#include "model/PluginManager.h"
#include "platform/DisplayText.h"

#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

#include <cmath>

namespace quillon {

SingleInstallProgressCard::SingleInstallProgressCard(PluginManager &manager, QWidget *parent)
    : ModelView(manager, parent), m_stage(new QLabel(this)), m_bar(new QProgressBar(this)) {
    m_stage->setWordWrap(true);
    m_stage->setTextFormat(Qt::PlainText); // names the product as the service does
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_stage);
    layout->addWidget(m_bar);
    refreshNow();
}

void SingleInstallProgressCard::refresh() {
    const PluginManager &m = m_manager;
    setVisible(m.showsSingleInstallProgress());
    m_stage->setText((m.singleInstallCompleted() ? QStringLiteral("✓ ") : QString()) + displayLine(m.singleInstallStage()));
    // A run that failed leaves its text and no bar.
    m_bar->setVisible(m.singleInstallShowsPercent() || m.singleInstallCompleted() || m.isWorking());
    if (m.singleInstallShowsPercent() || m.singleInstallCompleted()) {
        m_bar->setRange(0, 100);
        m_bar->setValue(int(std::floor(m.singleInstallProgress() * 100)));
        m_bar->setTextVisible(true);
    } else {
        m_bar->setRange(0, 0); // busy: nothing to count
        m_bar->setTextVisible(false);
    }
}

} // namespace quillon
