#pragma once
// The small line symbols of the location guide, drawn as vectors so they stay sharp at
// any size: a view-finder, a folder, a close cross, status circles, a map and a chevron.

#include <QColor>
#include <QWidget>

class QPainter;

namespace quillon::guide {

enum class Symbol { viewfinder, folder, xmark, checkmarkCircleFill, exclamationmarkCircle, map, chevronRight };

/// Draws `symbol` in `colour`, fitted into the largest square centred in `box`.
void paintSymbol(QPainter &painter, Symbol symbol, const QRectF &box, const QColor &colour);

/// The side of the square a symbol takes beside text of `pixels` size.
int symbolSide(int pixels);

/// A symbol as a fixed-size view, sized for text of `pixels` size.
class SymbolView final : public QWidget {
    Q_OBJECT

public:
    SymbolView(Symbol symbol, int pixels, const QColor &colour, QWidget *parent = nullptr);

    Symbol symbol() const { return m_symbol; }
    const QColor &colour() const { return m_colour; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Symbol m_symbol;
    QColor m_colour;
};

} // namespace quillon::guide
