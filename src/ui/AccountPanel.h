#pragma once
// The account panel: who is signed in, and the account's actions.

#include "ui/ModelView.h"

class QLabel;

namespace quillon {

class AccountPanel final : public ModelView {
    Q_OBJECT
public:
    explicit AccountPanel(PluginManager &manager, QWidget *parent = nullptr);

protected:
    void refresh() override;

private:
    QLabel *m_message;
};

} // namespace quillon
