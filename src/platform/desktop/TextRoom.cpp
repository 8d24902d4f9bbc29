#include "platform/desktop/TextRoom.h"

#include <QAbstractButton>
#include <QStyle>
#include <QStyleOptionButton>

namespace quillon {

int widthWithTextRoom(const QAbstractButton &button, int margin) {
    QStyleOptionButton option;
    option.initFrom(&button);
    const int frame = button.style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, &button);
    return button.fontMetrics().horizontalAdvance(button.text()) + 2 * (margin + frame);
}

} // namespace quillon
