#include "platform/desktop/PlainTextWidgets.h"

#include <QLabel>
#include <QMessageBox>

namespace quillon {

void keepPlainText(QMessageBox &box) {
    // Every label: QMessageBox::setTextFormat would reach the main text only.
    for (QLabel *label : box.findChildren<QLabel *>()) {
        label->setTextFormat(Qt::PlainText);
    }
}

QString plainToolTip(const QString &text) {
    // Escaped into markup of its own, which the tool tip then shows as the words it holds,
    // with its spaces and line breaks.
    return text.isEmpty() ? QString()
                          : QStringLiteral("<p style=\"white-space:pre-wrap\">") + text.toHtmlEscaped() +
                                QStringLiteral("</p>");
}

} // namespace quillon
