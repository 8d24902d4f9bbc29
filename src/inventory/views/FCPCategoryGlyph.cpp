#include "inventory/views/FCPCategoryGlyph.h"

#include "inventory/views/GuideStyle.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

namespace quillon {

namespace {

struct Letter {
    QString text;
    qreal heightFactor = 0;
    bool serif = false;
    QFont::Weight weight = QFont::Normal;
};

/// Draws `letter` in white with its line box centred on the middle of the glyph.
void drawLetter(QPainter &painter, const QSizeF &size, const Letter &letter) {
    QFont font = guide::systemFont(12, letter.weight);
    if (letter.serif) {
        font.setFamilies({QStringLiteral("New York"), QStringLiteral("serif")});
        font.setStyleHint(QFont::Serif);
    }
    // The letter follows the height alone, so a wide glyph keeps its proportions.
    font = guide::resized(font, letter.heightFactor * size.height(), painter.device());
    const QFontMetricsF metrics(font, painter.device());
    const qreal x = size.width() / 2 - metrics.horizontalAdvance(letter.text) / 2;
    const qreal baseline = size.height() / 2 + (metrics.ascent() - metrics.descent()) / 2;
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QPointF(x, baseline), letter.text);
}

} // namespace

FCPCategoryGlyph::FCPCategoryGlyph(FCPLocation category, QWidget *parent) : QWidget(parent), m_category(category) {}

void FCPCategoryGlyph::paint(QPainter &painter, const QSizeF &size, FCPLocation category) {
    const qreal w = size.width();
    const qreal h = size.height();
    QPainterPath path;
    std::optional<Letter> letter;

    switch (category) {
    case FCPLocation::titles:
        path.addRect(QRectF(2, 2, w - 4, h - 4));
        letter = Letter{QStringLiteral("T"), 0.78, true, QFont::Medium};
        break;
    case FCPLocation::generators:
        path.addRect(QRectF(2, 3, w - 4, h - 6));
        path.addEllipse(QRectF(0.18 * w, 0.18 * h, 0.64 * w, 0.64 * h));
        letter = Letter{QStringLiteral("2"), 0.6, false, QFont::Normal};
        break;
    case FCPLocation::effects:
        // Continuous corners of size 1 are indistinguishable from round ones at this size.
        path.addRoundedRect(QRectF(0.32 * w, 0.12 * h, 0.62 * w, 0.6 * h), 1, 1);
        path.addRoundedRect(QRectF(0.06 * w, 0.34 * h, 0.62 * w, 0.6 * h), 1, 1);
        break;
    case FCPLocation::transitions:
        path.moveTo(2, 3);
        path.lineTo(w - 2, h - 3);
        path.lineTo(w - 2, 3);
        path.lineTo(2, h - 3);
        path.closeSubpath();
        break;
    }

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    if (letter) {
        drawLetter(painter, size, *letter);
    }
    // The outline goes over the letter.
    painter.setPen(QPen(guide::white(0.85), 1.5));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(path);
    painter.restore();
}

void FCPCategoryGlyph::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    paint(painter, QSizeF(size()), m_category);
}

} // namespace quillon
