#pragma once
// The modal alert of an AlertRequest as a message box, laid out for Chinese text: lines break
// between clauses (after "，", "；", "。" and the like), never inside a word, a number or its
// unit, as long as a clause fits the alert's width; and every button has room around its text
// (TextRoom.h).

#include "platform/Alerts.h"

#include <QFontMetrics>
#include <QList>
#include <QString>

#include <memory>

class QAbstractButton;
class QMessageBox;
class QWidget;

namespace quillon {

/// The width the alert's texts are laid out in, in pixels.
inline constexpr int kAlertTextWidth = 460;

/// The alert for `request`, not yet shown, and its buttons in order (the first is the default).
struct AlertBox {
    std::unique_ptr<QMessageBox> box;
    QList<QAbstractButton *> buttons;
};
AlertBox alertBox(const AlertRequest &request, QWidget *parent);

/// `text` with no line break left inside its clauses: each clause that fits `width` in
/// `metrics` is joined into one piece with invisible word joiners, placed only next to
/// characters beyond ASCII, so Latin words and codes stay as they are.
QString keepClausesWhole(const QString &text, const QFontMetrics &metrics, int width);

} // namespace quillon
