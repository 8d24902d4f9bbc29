#pragma once
// The plain buttons of the location guide, painted by hand so they look the same on every
// platform style: a close symbol, rounded text buttons (tabs and the footer) and the
// full-width "show locations" row. They are buttons to the keyboard and to screen readers as
// well: Tab gives them the focus in turn (a click does not take it), Space and Enter press
// them, and their text is their accessible name. A ring shows the focus Tab gave.

#include "inventory/views/GuideSymbols.h"

#include <QAbstractButton>
#include <QColor>
#include <QFont>

namespace quillon::guide {

/// What every button of the guide does for the keyboard.
class GuideButton : public QAbstractButton {
    Q_OBJECT

public:
    explicit GuideButton(QWidget *parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    /// Paints the focus ring around `shape` while the keyboard has put the focus here.
    void paintFocus(QPainter &painter, const QRectF &shape, qreal corner) const;

private:
    bool m_keyboardFocus = false; ///< how the focus last came; the ring needs the focus still here
};

/// A symbol with padding around it, and a tooltip.
class SymbolButton final : public GuideButton {
    Q_OBJECT

public:
    SymbolButton(Symbol symbol, int pixels, int padding, const QColor &colour, const QString &help,
                 QWidget *parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Symbol m_symbol;
    int m_pixels;
    int m_padding;
    QColor m_colour;
};

/// Text on a rounded fill. `stretches` makes it span the width it is given.
class PillButton final : public GuideButton {
    Q_OBJECT

public:
    struct Look {
        QFont font;
        int horizontalPadding = 0;
        int verticalPadding = 0;
        qreal corner = 0;
        QColor fill;
        QColor textColour;
        bool stretches = false;
    };

    PillButton(const QString &text, Look look, QWidget *parent = nullptr);

    const QColor &fill() const { return m_look.fill; }
    const QColor &textColour() const { return m_look.textColour; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Look m_look;
};

/// A full-width row: symbol and label at the left, a chevron at the right.
class LinkRowButton final : public GuideButton {
    Q_OBJECT

public:
    LinkRowButton(Symbol symbol, const QString &text, int pixels, int verticalPadding, const QColor &colour,
                  QWidget *parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int lineHeight() const;

    Symbol m_symbol;
    int m_pixels;
    int m_verticalPadding;
    QColor m_colour;
};

} // namespace quillon::guide
