#include "ui/ActionButton.h"

#include "platform/desktop/TextRoom.h"

#include <QKeyEvent>

#include <algorithm>

namespace quillon {

ActionButton::ActionButton(const QString &text, QWidget *parent) : QPushButton(text, parent) {
    setAutoDefault(false);
}

QSize ActionButton::sizeHint() const {
    QSize size = QPushButton::sizeHint();
    size.setWidth(std::max(size.width(), widthWithTextRoom(*this)));
    return size;
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
