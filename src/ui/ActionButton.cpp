#include "ui/ActionButton.h"

#include <QKeyEvent>

namespace quillon {

ActionButton::ActionButton(const QString &text, QWidget *parent) : QPushButton(text, parent) {
    setAutoDefault(false);
    setFocusPolicy(Qt::StrongFocus);
}

void ActionButton::keyPressEvent(QKeyEvent *event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier && !event->isAutoRepeat()) {
        click();
        return;
    }
    QPushButton::keyPressEvent(event);
}

} // namespace quillon
