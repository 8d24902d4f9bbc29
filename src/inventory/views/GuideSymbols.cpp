#include "inventory/views/GuideSymbols.h"

#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>

#include <cmath>

namespace quillon::guide {

namespace {

/// Maps the unit square onto `square`.
QPointF at(const QRectF &square, qreal x, qreal y) {
    return {square.left() + x * square.width(), square.top() + y * square.height()};
}

QPainterPath polyline(const QRectF &square, std::initializer_list<QPointF> points, bool closed = false) {
    QPainterPath path;
    bool first = true;
    for (const QPointF &p : points) {
        const QPointF q = at(square, p.x(), p.y());
        if (first) {
            path.moveTo(q);
            first = false;
        } else {
            path.lineTo(q);
        }
    }
    if (closed) {
        path.closeSubpath();
    }
    return path;
}

QPainterPath viewfinder(const QRectF &s) {
    QPainterPath path;
    const qreal a = 0.1, b = 0.9, arm = 0.24;
    path.addPath(polyline(s, {{a, a + arm}, {a, a}, {a + arm, a}}));
    path.addPath(polyline(s, {{b - arm, a}, {b, a}, {b, a + arm}}));
    path.addPath(polyline(s, {{b, b - arm}, {b, b}, {b - arm, b}}));
    path.addPath(polyline(s, {{a + arm, b}, {a, b}, {a, b - arm}}));
    return path;
}

QPainterPath folder(const QRectF &s) {
    QPainterPath path = polyline(s, {{0.06, 0.2}, {0.38, 0.2}, {0.47, 0.3}, {0.94, 0.3}, {0.94, 0.84}, {0.06, 0.84}},
                                 true);
    path.addPath(polyline(s, {{0.06, 0.4}, {0.94, 0.4}}));
    return path;
}

QPainterPath map(const QRectF &s) {
    QPainterPath path =
        polyline(s, {{0.06, 0.22}, {0.36, 0.12}, {0.64, 0.22}, {0.94, 0.12}, {0.94, 0.78}, {0.64, 0.88}, {0.36, 0.78},
                     {0.06, 0.88}},
                 true);
    path.addPath(polyline(s, {{0.36, 0.12}, {0.36, 0.78}}));
    path.addPath(polyline(s, {{0.64, 0.22}, {0.64, 0.88}}));
    return path;
}

} // namespace

int symbolSide(int pixels) {
    return int(std::lround(pixels * 1.15));
}

void paintSymbol(QPainter &painter, Symbol symbol, const QRectF &box, const QColor &colour) {
    const qreal side = std::min(box.width(), box.height());
    const QRectF s(box.center().x() - side / 2, box.center().y() - side / 2, side, side);
    const qreal line = std::max(1.0, side * 0.09);

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QPen pen(colour, line, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);

    switch (symbol) {
    case Symbol::viewfinder:
        painter.drawPath(viewfinder(s));
        break;
    case Symbol::folder:
        painter.drawPath(folder(s));
        break;
    case Symbol::xmark:
        painter.drawPath(polyline(s, {{0.2, 0.2}, {0.8, 0.8}}));
        painter.drawPath(polyline(s, {{0.8, 0.2}, {0.2, 0.8}}));
        break;
    case Symbol::checkmarkCircleFill: {
        // A filled disc with the tick cut out of it, so the background shows through.
        QPainterPath disc;
        disc.addEllipse(at(s, 0.5, 0.5), side * 0.46, side * 0.46);
        QPainterPathStroker stroker;
        stroker.setWidth(side * 0.1);
        stroker.setCapStyle(Qt::RoundCap);
        stroker.setJoinStyle(Qt::RoundJoin);
        const QPainterPath tick = stroker.createStroke(polyline(s, {{0.3, 0.52}, {0.44, 0.66}, {0.7, 0.36}}));
        painter.setPen(Qt::NoPen);
        painter.setBrush(colour);
        painter.drawPath(disc.subtracted(tick));
        break;
    }
    case Symbol::exclamationmarkCircle:
        painter.drawEllipse(at(s, 0.5, 0.5), side * 0.44, side * 0.44);
        painter.drawPath(polyline(s, {{0.5, 0.27}, {0.5, 0.56}}));
        painter.setPen(Qt::NoPen);
        painter.setBrush(colour);
        painter.drawEllipse(at(s, 0.5, 0.72), line * 0.7, line * 0.7);
        break;
    case Symbol::map:
        painter.drawPath(map(s));
        break;
    case Symbol::chevronRight:
        painter.drawPath(polyline(s, {{0.36, 0.18}, {0.66, 0.5}, {0.36, 0.82}}));
        break;
    }
    painter.restore();
}

SymbolView::SymbolView(Symbol symbol, int pixels, const QColor &colour, QWidget *parent)
    : QWidget(parent), m_symbol(symbol), m_colour(colour) {
    const int side = symbolSide(pixels);
    setFixedSize(side, side);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void SymbolView::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    paintSymbol(painter, m_symbol, QRectF(rect()), m_colour);
}

} // namespace quillon::guide
