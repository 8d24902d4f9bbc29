#pragma once
// The account panel: who is signed in, the sign-in status line, sign in, sync and
// sign out, the picker of the account's member-library memberships, and the account's
// other purchases, each of which can be installed. While an install runs, nothing here
// can start another one, sign out or switch the membership.

#include "records/ReplyRecords.h"
#include "ui/ModelView.h"

#include <QList>

class QComboBox;
class QLabel;
class QListWidget;
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
    QListWidget *purchases() const { return m_purchases; }
    QPushButton *installPurchaseButton() const { return m_installPurchase; }

protected:
    void refresh() override;

private:
    void membershipChosen(int index);
    void installChosenPurchase();
    void updatePurchaseButton();

    QLabel *m_userName;
    QLabel *m_message;
    QPushButton *m_signIn;
    QPushButton *m_sync;
    QPushButton *m_signOut;
    QComboBox *m_memberships;
    QLabel *m_purchasesTitle;
    QListWidget *m_purchases;
    QPushButton *m_installPurchase;
    /// The memberships the picker lists, in its order.
    QList<ManagerLicense> m_shownMemberships;
    /// The purchases the list shows, in its order.
    QList<ManagerLicense> m_shownPurchases;
};

} // namespace quillon
