#pragma once
// The batch install controls of the member library: the install-all action, the run's
// status line and progress, and pause/continue and stop while the downloads run.

#include "ui/ModelView.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace quillon {

class BatchInstallBar final : public ModelView {
    Q_OBJECT
public:
    explicit BatchInstallBar(PluginManager &manager, QWidget *parent = nullptr);

    QPushButton *installAllButton() const { return m_installAll; }
    QPushButton *pauseButton() const { return m_pause; }
    QPushButton *stopButton() const { return m_stop; }
    QLabel *status() const { return m_status; }
    QProgressBar *progress() const { return m_progress; }

protected:
    void refresh() override;

private:
    QPushButton *m_installAll;
    QPushButton *m_pause;
    QPushButton *m_stop;
    QLabel *m_status;
    QProgressBar *m_progress;
};

} // namespace quillon
