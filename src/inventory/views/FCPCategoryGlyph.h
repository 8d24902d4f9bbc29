#pragma once
// The line icon of one Final Cut Pro browser category, drawn as vectors so the window
// schematic needs no image assets. It fills whatever size it is given.

#include "records/InstallLocations.h"

#include <QSizeF>
#include <QWidget>

class QPainter;

namespace quillon {

class FCPCategoryGlyph final : public QWidget {
    Q_OBJECT

public:
    explicit FCPCategoryGlyph(FCPLocation category, QWidget *parent = nullptr);

    FCPLocation category() const { return m_category; }

    /// Draws the glyph of `category` into (0, 0, size) of the painter's current coordinates.
    static void paint(QPainter &painter, const QSizeF &size, FCPLocation category);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    FCPLocation m_category;
};

} // namespace quillon
