#pragma once
// The account panel: who is signed in, the sign-in status line, sign in, sync and
// sign out, and the picker of the account's member-library memberships.

#include "ui/ModelView.h"

class QComboBox;
class QLabel;
class QPushButton;

namespace quillon {

class AccountPanel final : public ModelView {
    Q_OBJECT
public:
    explicit AccountPanel(PluginManager &manager, QWidget *parent = nullptr);

    QLabel *userName() const { return m_userName; }
    QLabel *message() const { return m_message; }
    QPushButton *signInButton() const { return m_signIn; }
    QPushButton *syncButton() const { return m_sync; }
    QPushButton *signOutButton() const { return m_signOut; }
    QComboBox *membershipPicker() const { return m_memberships; }

protected:
    void refresh() override;

private:
    void membershipChosen(int index);

    QLabel *m_userName;
    QLabel *m_message;
    QPushButton *m_signIn;
    QPushButton *m_sync;
    QPushButton *m_signOut;
    QComboBox *m_memberships;
};

} // namespace quillon
