#pragma once
// Message boxes and tool tips guess whether a text is markup (Qt::mightBeRichText): a
// name or a version from the service such as "<h1 style=color:red>" would be rendered
// as a red heading. These keep such texts plain.

#include <QString>

class QMessageBox;

namespace quillon {

/// Shows every text of `box` as plain text, the informative text included (which
/// QMessageBox::setTextFormat leaves to guessing). Call it after the texts are set.
void keepPlainText(QMessageBox &box);

/// A tool tip that shows `text` exactly as written, markup and all.
QString plainToolTip(const QString &text);

} // namespace quillon
