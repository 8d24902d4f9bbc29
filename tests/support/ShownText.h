#pragma once
// What a tool tip or a label shows a user: its text when it is plain, the text its markup
// renders to otherwise. Tool tips, like labels in Qt::AutoText, take a text that looks
// like markup (Qt::mightBeRichText) for markup.

#include <QLabel>
#include <QString>
#include <QTextDocument>

namespace quillon::test {

inline QString renderedMarkup(const QString &markup) {
    QTextDocument document;
    document.setHtml(markup);
    return document.toPlainText();
}

inline QString shownToolTip(const QString &tip) {
    return Qt::mightBeRichText(tip) ? renderedMarkup(tip) : tip;
}

inline QString shownText(const QLabel &label) {
    const bool plain = label.textFormat() == Qt::PlainText ||
                       (label.textFormat() == Qt::AutoText && !Qt::mightBeRichText(label.text()));
    return plain ? label.text() : renderedMarkup(label.text());
}

} // namespace quillon::test
