#pragma once
// The plain, unfocusable buttons of the location guide, painted by hand so they look
// the same on every platform style: a close symbol, rounded text buttons (tabs and the
// footer) and the full-width "show locations" row.

#include "inventory/views/GuideSymbols.h"

#include <QAbstractButton>
#include <QColor>
#include <QFont>

namespace quillon::guide {

/// A symbol with padding around it, and a tooltip.
class SymbolButton final : public QAbstractButton {
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
class PillButton final : public QAbstractButton {
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
class LinkRowButton final : public QAbstractButton {
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
