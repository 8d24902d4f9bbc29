#include "inventory/views/GuideStyle.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPaintDevice>
#include <QPalette>

namespace quillon::guide {

const QColor &accent() {
    static const QColor colour = QColor::fromRgbF(0.84f, 0.97f, 0.12f, 1.0f);
    return colour;
}

const QColor &surface() {
    static const QColor colour = QColor::fromRgbF(0.085f, 0.10f, 0.09f, 1.0f);
    return colour;
}

QColor white(qreal alpha) {
    return QColor::fromRgbF(1.0f, 1.0f, 1.0f, float(alpha));
}

QColor grey(qreal level) {
    const auto g = float(level);
    return QColor::fromRgbF(g, g, g, 1.0f);
}

namespace {
QColor withAlpha(QColor colour, qreal alpha) {
    colour.setAlphaF(float(alpha));
    return colour;
}
} // namespace

QColor red(qreal alpha) { return withAlpha(QColor(255, 69, 58), alpha); }
QColor yellow(qreal alpha) { return withAlpha(QColor(255, 214, 10), alpha); }
QColor green(qreal alpha) { return withAlpha(QColor(48, 209, 88), alpha); }
QColor purple(qreal alpha) { return withAlpha(QColor(191, 90, 242), alpha); }
QColor gray(qreal alpha) { return withAlpha(QColor(142, 142, 147), alpha); }

QFont systemFont(int pixels, QFont::Weight weight) {
    QFont font = QGuiApplication::font();
    font.setPixelSize(pixels);
    font.setWeight(weight);
    return font;
}

QFont resized(QFont font, qreal pixels, const QPaintDevice *device) {
    // Pixel sizes are whole numbers in Qt; a point size on the device's own resolution is not.
    const int dpi = device != nullptr && device->logicalDpiY() > 0 ? device->logicalDpiY() : 72;
    font.setPointSizeF(pixels * 72.0 / dpi);
    return font;
}

QLabel *label(const QString &text, int pixels, QFont::Weight weight, const QColor &colour, QWidget *parent) {
    auto *result = new QLabel(text, parent);
    result->setFont(systemFont(pixels, weight));
    QPalette palette = result->palette();
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::Text, colour);
    result->setPalette(palette);
    result->setTextFormat(Qt::PlainText);
    return result;
}

} // namespace quillon::guide
