#pragma once
// The buttons of the member library's rows as real buttons: they take the focus in turn,
// answer Space and Enter, and screen readers see them by their text. A row's buttons are a
// small widget laid over its right end, and only the rows on screen have one, so a library
// of hundreds of products costs no more widgets than a short one.

#include "ui/MemberProductList.h"

#include <QPersistentModelIndex>
#include <QPointer>
#include <QWidget>

class QListView;
class QPushButton;

namespace quillon {

class ActionButton;

/// The buttons of one row, in the order of the row's actions.
class MemberProductButtons final : public QWidget {
    Q_OBJECT
public:
    MemberProductButtons(const QPersistentModelIndex &row, QWidget *parent = nullptr);

    const QPersistentModelIndex &row() const { return m_row; }
    /// Shows `buttons`, keeping the button widgets already there (and so the focus).
    void setButtons(const QList<MemberProductButton> &buttons);
    /// The buttons shown, in order.
    QList<QPushButton *> buttons() const;

Q_SIGNALS:
    void triggered(MemberProductAction action);
    /// One of the buttons took the focus.
    void focused();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QPersistentModelIndex m_row;
    QList<ActionButton *> m_buttons;
    QList<MemberProductAction> m_actions;
};

/// Keeps MemberProductButtons on the rows of `view` that are on screen, and on one row beyond
/// either end so that Tab walks on into the next row (which then scrolls into view), with
/// every row's buttons after the list in the tab order. The row whose button has the focus
/// becomes the current row; Tab in the list goes to the current row's buttons.
class VisibleRowButtons final : public QObject {
    Q_OBJECT
public:
    VisibleRowButtons(QListView *view, MemberProductListModel *rows);

    /// Brings the rows' buttons in line with what the list shows now.
    void update();
    /// The buttons of `row`, when it has them.
    MemberProductButtons *buttonsOf(int row) const;
    /// How many rows have buttons.
    int count() const;

Q_SIGNALS:
    void actionTriggered(int row, MemberProductAction action);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void scheduleUpdate();
    void refreshRows(int first, int last);
    MemberProductButtons *make(int row);

    QListView *m_view;
    QWidget *m_viewport;
    MemberProductListModel *m_rows;
    QList<QPointer<MemberProductButtons>> m_shown;
    bool m_updateQueued = false;
};

} // namespace quillon
