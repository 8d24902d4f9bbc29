#include "inventory/views/GuideButtons.h"

#include "inventory/views/GuideStyle.h"

#include <QFontMetricsF>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace quillon::guide {

GuideButton::GuideButton(QWidget *parent) : QAbstractButton(parent) {
    // Tab only: a click leaves the focus where it was, as with the plain buttons they look like.
    setFocusPolicy(Qt::TabFocus);
    setCursor(Qt::PointingHandCursor);
}

void GuideButton::keyPressEvent(QKeyEvent *event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier && !event->isAutoRepeat()) {
        click();
        return;
    }
    QAbstractButton::keyPressEvent(event); // Space
}

void GuideButton::focusInEvent(QFocusEvent *event) {
    const Qt::FocusReason reason = event->reason();
    m_keyboardFocus = reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason || reason == Qt::ShortcutFocusReason;
    QAbstractButton::focusInEvent(event);
}

void GuideButton::paintFocus(QPainter &painter, const QRectF &shape, qreal corner) const {
    if (!m_keyboardFocus || !hasFocus()) {
        return;
    }
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::white, 2)); // seen on the accent fill of the footer and the chosen tab too
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(shape.adjusted(1, 1, -1, -1), corner, corner);
    painter.restore();
}

SymbolButton::SymbolButton(Symbol symbol, int pixels, int padding, const QColor &colour, const QString &help,
                           QWidget *parent)
    : GuideButton(parent), m_symbol(symbol), m_pixels(pixels), m_padding(padding), m_colour(colour) {
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
    paintFocus(p, QRectF(rect()), 4);
}

PillButton::PillButton(const QString &text, Look look, QWidget *parent) : GuideButton(parent), m_look(look) {
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
    paintFocus(p, QRectF(rect()), m_look.corner);
}

LinkRowButton::LinkRowButton(Symbol symbol, const QString &text, int pixels, int verticalPadding,
                             const QColor &colour, QWidget *parent)
    : GuideButton(parent), m_symbol(symbol), m_pixels(pixels), m_verticalPadding(verticalPadding),
      m_colour(colour) {
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
    paintFocus(p, QRectF(rect()), 4);
}

} // namespace quillon::guide
