#pragma once
// The update panel of the sidebar: the outcome of the last update check (a newer version
// found, up to date, or why it could not be checked) and the button that checks again.

#include "ui/ModelView.h"

class QLabel;
class QPushButton;

namespace quillon {

class UpdatePanel final : public ModelView {
    Q_OBJECT
public:
    explicit UpdatePanel(PluginManager &manager, QWidget *parent = nullptr);

    QLabel *message() const { return m_message; }
    QPushButton *checkButton() const { return m_check; }

protected:
    void refresh() override;

private:
    QLabel *m_message;
    QPushButton *m_check;
};

} // namespace quillon
