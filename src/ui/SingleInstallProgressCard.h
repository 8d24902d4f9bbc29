#pragma once
// The progress card of one install from the member library: its stage, a bar with the
// percent while a download runs (an indeterminate bar otherwise), and a check mark once
// the run has completed; a failed run keeps its text. Shown while the model asks for it.

#include "ui/ModelView.h"

class QLabel;
class QProgressBar;

namespace quillon {

class SingleInstallProgressCard final : public ModelView {
    Q_OBJECT
public:
    explicit SingleInstallProgressCard(PluginManager &manager, QWidget *parent = nullptr);

    QLabel *stage() const { return m_stage; }
    QProgressBar *bar() const { return m_bar; }

protected:
    void refresh() override;

private:
    QLabel *m_stage;
    QProgressBar *m_bar;
};

} // namespace quillon
