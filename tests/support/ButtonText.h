#pragma once
// How much room a button leaves around its text, measured on its rendering: from the outermost
// painted column of its bevel to the first and last column of dark, neutral text ink.

#include <QAbstractButton>
#include <QImage>

#include <algorithm>
#include <cstdlib>

namespace quillon::test {

/// The narrower of the two gaps between the text and the button's edge, in pixels; -1 when
/// the rendering shows no text.
inline int textMargin(QAbstractButton &button) {
    const QImage image = button.grab().toImage().convertToFormat(QImage::Format_ARGB32);
    int edgeLeft = image.width();
    int edgeRight = -1;
    int inkLeft = image.width();
    int inkRight = -1;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            if (qAlpha(pixel) == 0) {
                continue;
            }
            edgeLeft = std::min(edgeLeft, x);
            edgeRight = std::max(edgeRight, x);
            const int r = qRed(pixel);
            const int g = qGreen(pixel);
            const int b = qBlue(pixel);
            const bool neutral = std::abs(r - g) < 30 && std::abs(g - b) < 30 && std::abs(r - b) < 30;
            if (qAlpha(pixel) == 255 && neutral && qGray(pixel) < 100) {
                inkLeft = std::min(inkLeft, x);
                inkRight = std::max(inkRight, x);
            }
        }
    }
    if (inkRight < 0) {
        return -1;
    }
    return std::min(inkLeft - edgeLeft, edgeRight - inkRight);
}

} // namespace quillon::test
