#include "inventory/views/FCPCategoryGlyph.h"
#include "inventory/views/PixelSupport.h"

#include <gtest/gtest.h>

using namespace quillon;
using quillon::test::at;
using quillon::test::near;

namespace {

constexpr qreal kRatio = 4; // device pixels per point, so 1.5-point strokes resolve cleanly

QImage glyph(FCPLocation category, QSizeF size, qreal ratio = kRatio) {
    return test::drawn(size, ratio, [&](QPainter &p) { FCPCategoryGlyph::paint(p, size, category); });
}

/// A point on a 1.5-point stroke: white at 0.85 (alpha about 217), possibly over the letter.
bool stroked(const QImage &image, qreal x, qreal y) {
    const QColor c = at(image, x, y);
    return c.alpha() >= 200 && c.red() >= 250 && c.green() >= 250 && c.blue() >= 250;
}

bool empty(const QImage &image, qreal x, qreal y) {
    return at(image, x, y).alpha() == 0;
}

/// The device-pixel box of fully opaque pixels (the letter; the 0.85 stroke never gets there alone)
/// strictly inside `inner`.
QRect letterBox(const QImage &image, const QRectF &inner) {
    const qreal r = image.devicePixelRatio();
    QRect box;
    for (int y = int(inner.top() * r); y < int(inner.bottom() * r); ++y) {
        for (int x = int(inner.left() * r); x < int(inner.right() * r); ++x) {
            if (image.pixelColor(x, y).alpha() == 255) {
                box = box.united(QRect(x, y, 1, 1));
            }
        }
    }
    return box;
}

} // namespace

TEST(FCPCategoryGlyph, TitlesStrokesItsFrameAndDrawsTheLetterInTheMiddle) {
    const QImage image = glyph(FCPLocation::titles, QSizeF(20, 16));
    // The frame runs from (2, 2) to (18, 14).
    EXPECT_TRUE(stroked(image, 2, 8));
    EXPECT_TRUE(stroked(image, 17.9, 8));
    EXPECT_TRUE(stroked(image, 10, 2));
    EXPECT_TRUE(stroked(image, 10, 13.9));
    EXPECT_TRUE(empty(image, 0.5, 8));
    EXPECT_TRUE(empty(image, 19.5, 8));
    EXPECT_TRUE(empty(image, 4, 12.5)) << "the frame is outlined, not filled";

    // "T" at 12.48 points centred on (10, 8): its ink is horizontally centred and opaque white.
    const QRect box = letterBox(image, QRectF(2.8, 2.8, 14.4, 10.4));
    ASSERT_FALSE(box.isEmpty());
    const qreal centreX = (box.left() + box.right() + 1) / 2.0 / kRatio;
    EXPECT_NEAR(centreX, 10, 0.6);
    EXPECT_GT(box.height() / kRatio, 6.0) << "a T of 12.48 points is taller than half the glyph";
    EXPECT_TRUE(near(at(image, centreX, 8), QColor(255, 255, 255, 255), 2)) << "the stem crosses the middle";
}

TEST(FCPCategoryGlyph, TheLetterFollowsTheHeightAlone) {
    const QImage narrow = glyph(FCPLocation::titles, QSizeF(20, 16));
    const QImage wide = glyph(FCPLocation::titles, QSizeF(48, 16));
    const QImage tall = glyph(FCPLocation::titles, QSizeF(20, 32));
    const QRect n = letterBox(narrow, QRectF(2.8, 2.8, 14.4, 10.4));
    const QRect w = letterBox(wide, QRectF(2.8, 2.8, 42.4, 10.4));
    const QRect t = letterBox(tall, QRectF(2.8, 2.8, 14.4, 26.4));
    ASSERT_FALSE(n.isEmpty());
    EXPECT_EQ(w.size(), n.size()) << "a wider glyph keeps the same letter";
    EXPECT_NEAR((w.left() + w.right() + 1) / 2.0 / kRatio, 24, 0.6) << "and centres it";
    EXPECT_NEAR(double(t.height()) / n.height(), 2.0, 0.2) << "a taller glyph doubles it";
}

TEST(FCPCategoryGlyph, GeneratorsDrawsFrameCircleAndTwo) {
    const QImage image = glyph(FCPLocation::generators, QSizeF(40, 40));
    // Frame at (2, 3) of 36 x 34.
    EXPECT_TRUE(stroked(image, 2, 20));
    EXPECT_TRUE(stroked(image, 20, 3));
    EXPECT_TRUE(stroked(image, 20, 36.9));
    EXPECT_TRUE(empty(image, 20, 1.5));
    // Circle inscribed in (7.2, 7.2, 25.6, 25.6).
    EXPECT_TRUE(stroked(image, 7.2, 20));
    EXPECT_TRUE(stroked(image, 20, 7.2));
    EXPECT_TRUE(stroked(image, 32.8, 20));
    EXPECT_TRUE(empty(image, 10, 10)) << "between frame and circle nothing is drawn";
    EXPECT_FALSE(letterBox(image, QRectF(11, 11, 18, 18)).isEmpty()) << "the 2 inside the circle";
}

TEST(FCPCategoryGlyph, EffectsStrokesBothOverlappingRectanglesInFull) {
    const QImage image = glyph(FCPLocation::effects, QSizeF(40, 40));
    // Back rectangle (12.8, 4.8, 24.8, 24), front rectangle (2.4, 13.6, 24.8, 24).
    EXPECT_TRUE(stroked(image, 12.8, 20)) << "the back one's left edge, inside the front one";
    EXPECT_TRUE(stroked(image, 20, 13.6)) << "the front one's top edge, inside the back one";
    EXPECT_TRUE(stroked(image, 37.6, 10));
    EXPECT_TRUE(stroked(image, 10, 37.6));
    EXPECT_TRUE(empty(image, 20, 24)) << "the overlap is not filled";
    EXPECT_TRUE(letterBox(image, QRectF(0, 0, 40, 40)).isEmpty()) << "no letter";
}

TEST(FCPCategoryGlyph, TransitionsStrokesTwoTrianglesMeetingInTheMiddle) {
    const QImage image = glyph(FCPLocation::transitions, QSizeF(20, 16));
    EXPECT_TRUE(stroked(image, 10, 8)) << "the diagonals cross at the centre";
    EXPECT_TRUE(stroked(image, 6, 5.5)) << "on (2, 3) to (18, 13)";
    EXPECT_TRUE(stroked(image, 6, 10.5)) << "on (18, 3) to (2, 13)";
    EXPECT_TRUE(stroked(image, 17.9, 8)) << "on (18, 13) to (18, 3)";
    EXPECT_TRUE(stroked(image, 2.1, 8)) << "on (2, 13) back to (2, 3)";
    EXPECT_TRUE(empty(image, 10, 3)) << "no line along the top";
    EXPECT_TRUE(empty(image, 15.5, 8)) << "the triangles are not filled";
}

TEST(FCPCategoryGlyph, TheViewDrawsTheSameGlyphAtItsSize) {
    for (FCPLocation category :
         {FCPLocation::titles, FCPLocation::generators, FCPLocation::effects, FCPLocation::transitions}) {
        FCPCategoryGlyph view(category);
        EXPECT_EQ(view.category(), category);
        const QImage viaView = test::rendered(view, QSize(25, 25), 2);
        const QImage direct = glyph(category, QSizeF(25, 25), 2);
        EXPECT_EQ(viaView, direct);
    }
}
