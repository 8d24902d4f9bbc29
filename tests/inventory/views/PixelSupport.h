#pragma once
// Rendering views and drawings offscreen and reading back what a user would see.

#include <QColor>
#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QLayout>
#include <QPainter>
#include <QWidget>

#include <cmath>
#include <functional>

namespace quillon::test {

/// A transparent image of `size` logical pixels at `ratio` device pixels per logical one.
inline QImage blankImage(QSizeF size, qreal ratio) {
    QImage image(int(std::ceil(size.width() * ratio)), int(std::ceil(size.height() * ratio)),
                 QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    return image;
}

/// Runs `draw` on a fresh transparent image.
inline QImage drawn(QSizeF size, qreal ratio, const std::function<void(QPainter &)> &draw) {
    QImage image = blankImage(size, ratio);
    QPainter painter(&image);
    draw(painter);
    painter.end();
    return image;
}

/// Lays `widget` out at its own size (or `size` when given) and renders it and its children,
/// by default without the window background a top-level widget would otherwise get.
inline QImage rendered(QWidget &widget, QSize size = {}, qreal ratio = 1,
                       QWidget::RenderFlags flags = QWidget::DrawChildren) {
    if (size.isValid()) {
        widget.resize(size);
    }
    if (widget.layout() != nullptr) {
        widget.layout()->activate();
    }
    QImage image = blankImage(widget.size(), ratio);
    widget.render(&image, QPoint(), QRegion(), flags);
    return image;
}

/// The colour at logical point (x, y), unpremultiplied.
inline QColor at(const QImage &image, qreal x, qreal y) {
    const qreal r = image.devicePixelRatio();
    return image.pixelColor(int(std::floor(x * r)), int(std::floor(y * r)));
}

/// Every channel within `tolerance` (0-255) of the expected colour.
inline bool near(const QColor &actual, const QColor &expected, int tolerance = 4) {
    return std::abs(actual.red() - expected.red()) <= tolerance &&
           std::abs(actual.green() - expected.green()) <= tolerance &&
           std::abs(actual.blue() - expected.blue()) <= tolerance &&
           std::abs(actual.alpha() - expected.alpha()) <= tolerance;
}

/// `top` with its opacity laid over the opaque `bottom`.
inline QColor over(const QColor &top, const QColor &bottom) {
    const double a = top.alphaF();
    return QColor::fromRgbF(float(top.redF() * a + bottom.redF() * (1 - a)),
                            float(top.greenF() * a + bottom.greenF() * (1 - a)),
                            float(top.blueF() * a + bottom.blueF() * (1 - a)), 1.0f);
}

/// The largest grey level (max of r, g, b) inside a logical rectangle.
inline int brightest(const QImage &image, const QRectF &area) {
    const qreal r = image.devicePixelRatio();
    int best = 0;
    for (int y = int(area.top() * r); y < int(area.bottom() * r); ++y) {
        for (int x = int(area.left() * r); x < int(area.right() * r); ++x) {
            const QColor c = image.pixelColor(x, y);
            best = std::max({best, c.red(), c.green(), c.blue()});
        }
    }
    return best;
}

/// How many device pixels inside a logical rectangle differ from `background` by more than `tolerance`.
inline int inkPixels(const QImage &image, const QRectF &area, const QColor &background, int tolerance = 24) {
    const qreal r = image.devicePixelRatio();
    int count = 0;
    for (int y = int(area.top() * r); y < int(area.bottom() * r); ++y) {
        for (int x = int(area.left() * r); x < int(area.right() * r); ++x) {
            if (!near(image.pixelColor(x, y), background, tolerance)) {
                ++count;
            }
        }
    }
    return count;
}

/// The folder beside the build's test programs where pictures for a person to look at go.
inline QDir referenceRenderFolder() {
    QString path = qEnvironmentVariable("QUILLON_REFERENCE_RENDERS");
    if (path.isEmpty()) {
        path = QCoreApplication::applicationDirPath() + QStringLiteral("/../reference-renders");
    }
    QDir dir(path);
    dir.mkpath(QStringLiteral("."));
    return QDir(dir.absolutePath());
}

} // namespace quillon::test

namespace quillon::test {

/// The device-pixel bounds of everything in a logical rectangle that differs from `background`.
inline QRect inkBox(const QImage &image, const QRectF &area, const QColor &background, int tolerance = 40) {
    const qreal r = image.devicePixelRatio();
    QRect box;
    for (int y = int(area.top() * r); y < int(area.bottom() * r); ++y) {
        for (int x = int(area.left() * r); x < int(area.right() * r); ++x) {
            if (!near(image.pixelColor(x, y), background, tolerance)) {
                box = box.united(QRect(x, y, 1, 1));
            }
        }
    }
    return box;
}

} // namespace quillon::test
