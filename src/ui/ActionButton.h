#pragma once
// A push button the keyboard can use everywhere: it takes focus in the tab order, and with the
// focus Space or Enter presses it. It is never a dialog's default: Enter presses nothing in a
// sheet unless a button has the focus (a plain QPushButton acts on Enter only as a dialog's
// default, and outside dialogs not at all). Its text keeps some room from its edges.

#include <QPushButton>

namespace quillon {

class ActionButton final : public QPushButton {
    Q_OBJECT
public:
    explicit ActionButton(const QString &text, QWidget *parent = nullptr);

    /// Also its least size: a push button's least size is its size hint.
    QSize sizeHint() const override;

protected:
    void keyPressEvent(QKeyEvent *event) override;
};

} // namespace quillon
