#include "ui/BatchInstallBar.h"

#include "model/PluginManager.h"
#include "platform/DisplayText.h"
#include "ui/ActionButton.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace quillon {
namespace {

constexpr int kProgressSteps = 1000;

} // namespace

BatchInstallBar::BatchInstallBar(PluginManager &manager, QWidget *parent)
    : ModelView(manager, parent), m_installAll(new ActionButton(QStringLiteral("一键安装全部"), this)),
      m_pause(new ActionButton(QString(), this)), m_stop(new ActionButton(QStringLiteral("终止"), this)),
      m_status(new QLabel(this)), m_progress(new QProgressBar(this)) {
    m_status->setWordWrap(true);
    m_status->setTextFormat(Qt::PlainText); // names products and repeats the service's refusals
    m_progress->setRange(0, kProgressSteps);
    m_progress->setTextVisible(false);

    auto *controls = new QHBoxLayout;
    controls->addWidget(m_installAll);
    controls->addWidget(m_status, 1);
    controls->addWidget(m_pause);
    controls->addWidget(m_stop);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(controls);
    layout->addWidget(m_progress);

    connect(m_installAll, &QPushButton::clicked, this, [this] { m_manager.installAllMemberProducts(); });
    connect(m_pause, &QPushButton::clicked, this, [this] { m_manager.toggleBatchInstallPause(); });
    connect(m_stop, &QPushButton::clicked, this, [this] { m_manager.terminateBatchInstall(); });
    refreshNow();
}

void BatchInstallBar::refresh() {
    m_installAll->setEnabled(m_manager.canInstallAllMemberProducts() && !m_manager.isWorking());

    // The run's line stays after it ended, with its last words and progress.
    const bool hasRun = m_manager.isBatchInstalling() || !m_manager.batchInstallStatus().isEmpty();
    m_status->setText(displayLine(m_manager.batchInstallStatus()));
    m_status->setVisible(hasRun);
    m_progress->setVisible(hasRun);
    m_progress->setValue(int(std::lround(std::clamp(m_manager.batchInstallProgress(), 0.0, 1.0) * kProgressSteps)));

    // Shown for the whole run, usable only while the downloads can still be halted.
    const bool running = m_manager.isBatchInstalling();
    const bool controllable = m_manager.canControlBatchInstall();
    m_pause->setText(m_manager.isBatchInstallPaused() ? QStringLiteral("继续") : QStringLiteral("暂停"));
    m_pause->setVisible(running);
    m_stop->setVisible(running);
    m_pause->setEnabled(controllable);
    m_stop->setEnabled(controllable);
}

} // namespace quillon
