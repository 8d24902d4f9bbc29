#include "platform/desktop/TextRoom.h"

#include <QAbstractButton>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>

namespace quillon {

int widthWithTextRoom(const QAbstractButton &button, int margin) {
    QStyleOptionButton option;
    option.initFrom(&button);
    QStyle *style = button.style();
    int frame = style->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, &button);
    // A default button's frame is drawn inside its rectangle, around the bevel.
    if (const auto *push = qobject_cast<const QPushButton *>(&button); push && (push->autoDefault() || push->isDefault())) {
        frame += style->pixelMetric(QStyle::PM_ButtonDefaultIndicator, &option, &button);
    }
    return button.fontMetrics().horizontalAdvance(button.text()) + 2 * (margin + frame);
}

} // namespace quillon
