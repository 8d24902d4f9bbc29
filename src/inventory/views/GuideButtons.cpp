#include "inventory/views/GuideButtons.h"

#include "inventory/views/GuideStyle.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace quillon::guide {

namespace {

void makePlain(QAbstractButton &button) {
    button.setFocusPolicy(Qt::NoFocus);
    button.setCursor(Qt::PointingHandCursor);
}

} // namespace

SymbolButton::SymbolButton(Symbol symbol, int pixels, int padding, const QColor &colour, const QString &help,
                           QWidget *parent)
    : QAbstractButton(parent), m_symbol(symbol), m_pixels(pixels), m_padding(padding), m_colour(colour) {
    makePlain(*this);
    setToolTip(help);
    setAccessibleName(help);
    setFixedSize(sizeHint());
}

QSize SymbolButton::sizeHint() const {
    const int side = symbolSide(m_pixels) + 2 * m_padding;
    return {side, side};
}

void SymbolButton::paintEvent(QPaintEvent *) {
    QPainter p(this);
    paintSymbol(p, m_symbol, QRectF(rect()).adjusted(m_padding, m_padding, -m_padding, -m_padding), m_colour);
}

PillButton::PillButton(const QString &text, Look look, QWidget *parent) : QAbstractButton(parent), m_look(look) {
    makePlain(*this);
    setText(text);
    setFont(m_look.font);
    setSizePolicy(m_look.stretches ? QSizePolicy::Expanding : QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize PillButton::sizeHint() const {
    const QFontMetricsF metrics(font(), this);
    return {int(std::ceil(metrics.horizontalAdvance(text()))) + 2 * m_look.horizontalPadding,
            int(std::ceil(metrics.height())) + 2 * m_look.verticalPadding};
}

QSize PillButton::minimumSizeHint() const {
    return m_look.stretches ? QSize(0, sizeHint().height()) : sizeHint();
}

void PillButton::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), m_look.corner, m_look.corner);
    p.fillPath(shape, m_look.fill);
    p.setPen(m_look.textColour);
    p.setFont(font());
    p.drawText(QRectF(rect()), Qt::AlignCenter, text());
}

LinkRowButton::LinkRowButton(Symbol symbol, const QString &text, int pixels, int verticalPadding,
                             const QColor &colour, QWidget *parent)
    : QAbstractButton(parent), m_symbol(symbol), m_pixels(pixels), m_verticalPadding(verticalPadding),
      m_colour(colour) {
    makePlain(*this);
    setText(text);
    setFont(systemFont(pixels));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

int LinkRowButton::lineHeight() const {
    const QFontMetricsF metrics(font(), this);
    return std::max(symbolSide(m_pixels), int(std::ceil(metrics.height())));
}

QSize LinkRowButton::sizeHint() const {
    const QFontMetricsF metrics(font(), this);
    const int side = symbolSide(m_pixels);
    return {side + 6 + int(std::ceil(metrics.horizontalAdvance(text()))) + 8 + side,
            lineHeight() + 2 * m_verticalPadding};
}

QSize LinkRowButton::minimumSizeHint() const {
    return sizeHint();
}

void LinkRowButton::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const int side = symbolSide(m_pixels);
    const qreal middle = height() / 2.0;
    paintSymbol(p, m_symbol, QRectF(0, middle - side / 2.0, side, side), m_colour);
    const QFontMetricsF metrics(font(), this);
    p.setFont(font());
    p.setPen(m_colour);
    p.drawText(QPointF(side + 6, middle + (metrics.ascent() - metrics.descent()) / 2), text());
    paintSymbol(p, Symbol::chevronRight, QRectF(width() - side, middle - side / 2.0, side, side), m_colour);
}

} // namespace quillon::guide
