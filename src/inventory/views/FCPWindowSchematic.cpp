#include "inventory/views/FCPWindowSchematic.h"

#include "inventory/views/FCPCategoryGlyph.h"
#include "inventory/views/GuideStyle.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QTextBoundaryFinder>

// The picture lives in a static library: referencing its initialiser keeps it linked in.
static void initialiseGuideResources() {
    Q_INIT_RESOURCE(inventory);
}

namespace quillon {

namespace {

using guide::accent;
using guide::grey;
using guide::white;

/// Draws `text` on one line so that (x, y) is the middle of its leading edge.
void text(QPainter &p, const QString &string, qreal x, qreal y, int size, const QColor &colour) {
    const QFont font = guide::systemFont(size);
    const QFontMetricsF metrics(font, p.device());
    p.setFont(font);
    p.setPen(colour);
    p.drawText(QPointF(x, y + (metrics.ascent() - metrics.descent()) / 2), string);
}

/// A numbered lime disc matching the numbered steps above the schematic.
void badge(QPainter &p, int number, qreal x, qreal y) {
    p.setPen(Qt::NoPen);
    p.setBrush(accent());
    p.drawEllipse(QRectF(x, y, 22, 22));
    p.setFont(guide::systemFont(12, QFont::Bold));
    p.setPen(Qt::black);
    p.drawText(QRectF(x, y, 22, 22), Qt::AlignCenter, QString::number(number));
}

void fill(QPainter &p, const QRectF &rect, const QColor &colour) {
    p.fillRect(rect, colour);
}

void fillRounded(QPainter &p, const QRectF &rect, qreal corner, const QColor &colour) {
    QPainterPath path;
    path.addRoundedRect(rect, corner, corner);
    p.fillPath(path, colour);
}

void strokeRounded(QPainter &p, const QRectF &rect, qreal corner, const QColor &colour, qreal width) {
    QPainterPath path;
    path.addRoundedRect(rect, corner, corner);
    p.strokePath(path, QPen(colour, width));
}

void circle(QPainter &p, const QRectF &rect, const QColor &colour) {
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawEllipse(rect);
}

void picture(QPainter &p, const QImage &image, const QRectF &rect) {
    if (!image.isNull()) {
        p.drawImage(rect, image);
    }
}

void glyph(QPainter &p, FCPLocation category, qreal x, qreal y, qreal side, qreal opacity) {
    p.save();
    p.translate(x, y);
    p.setOpacity(opacity);
    FCPCategoryGlyph::paint(p, QSizeF(side, side), category);
    p.restore();
}

void paintTopLeft(QPainter &p, FCPLocation category, const QStringList &names, const QImage &image) {
    const bool titles = category == FCPLocation::titles;
    const qreal r = titles ? 99 : 142;
    const QColor mark = white(0.68);

    fill(p, QRectF(0, 0, 570, 38), grey(0.23));
    circle(p, QRectF(16, 14, 9, 9), guide::red(0.72));
    circle(p, QRectF(33, 14, 9, 9), guide::yellow(0.72));
    circle(p, QRectF(50, 14, 9, 9), guide::green(0.72));
    text(p, QStringLiteral("↓"), 94, 20, 18, mark);
    text(p, QStringLiteral("✓"), 131, 20, 17, mark);
    fill(p, QRectF(0, 39, 570, 48), grey(0.15));
    text(p, QStringLiteral("▣"), 19, 63, 20, mark);
    text(p, QStringLiteral("♫"), 64, 63, 22, mark);
    fillRounded(p, QRectF(105, 47, 37, 32), 5, guide::purple(0.35));
    text(p, QStringLiteral("T"), 115, 63, 22, guide::purple(0.95));
    strokeRounded(p, QRectF(104, 46, 39, 34), 5, accent(), 1.5);
    badge(p, 1, 151, 51);
    text(p, QStringLiteral("已安装的") + rawValue(category) + QStringLiteral("  ⌄"), 283, 64, 13, mark);
    fill(p, QRectF(0, 88, 248, 227), grey(0.12));
    fill(p, QRectF(249, 88, 235, 227), grey(0.15));
    QColor soft = accent();
    soft.setAlphaF(0.1f);
    fillRounded(p, QRectF(10, r, 226, 37), 5, soft);
    strokeRounded(p, QRectF(10, r, 226, 37), 5, accent(), 1.5);
    text(p, titles ? QStringLiteral("▾") : QStringLiteral("▸"), 20, 118, 11, mark);
    text(p, QStringLiteral("字幕"), 64, 118, 15, mark);
    const qreal g = titles ? 245 : 161;
    text(p, category == FCPLocation::generators ? QStringLiteral("▾") : QStringLiteral("▸"), 20, g, 11, mark);
    text(p, QStringLiteral("发生器"), 64, g, 15, mark);
    badge(p, 2, 201, r + 7);
    const QString arrow = QStringLiteral("▸  ");
    text(p, arrow + FCPWindowSchematic::leadingCharacters(names.at(0), 13), 42, titles ? 162 : 207, 13, mark);
    if (names.size() >= 2) {
        text(p, arrow + FCPWindowSchematic::leadingCharacters(names.at(1), 13), 42, titles ? 198 : 243, 13, mark);
    }
    fillRounded(p, QRectF(264, 101, 204, 29), 5, grey(0.1));
    text(p, QStringLiteral("⌕  搜索"), 277, 116, 12, white(0.4));
    fillRounded(p, QRectF(266, 149, 95, 58), 3, grey(0.07));
    fillRounded(p, QRectF(375, 149, 95, 58), 3, grey(0.07));
    picture(p, image, QRectF(267, 150, 93, 56));
    picture(p, image, QRectF(376, 150, 93, 56));
    text(p, QStringLiteral("预览"), 270, 222, 11, white(0.45));
    text(p, QStringLiteral("预览"), 380, 222, 11, white(0.45));
    fill(p, QRectF(486, 88, 84, 227), grey(0.06));

    glyph(p, FCPLocation::titles, 36, 107, 21, 1);
    glyph(p, FCPLocation::generators, 36, titles ? 234 : 150, 21, 1);
}

void paintBottomRight(QPainter &p, FCPLocation category, const QStringList &names, const QImage &image) {
    const bool effects = category == FCPLocation::effects;
    const qreal x = effects ? 452 : 512;
    const QColor mark = white(0.68);

    fill(p, QRectF(0, 0, 570, 38), grey(0.1));
    text(p, QStringLiteral("▶  00:00:00:00"), 280, 20, 12, white(0.4));
    fill(p, QRectF(0, 40, 570, 42), grey(0.2));
    text(p, QStringLiteral("索引"), 16, 61, 13, mark);
    text(p, QStringLiteral("♬   ♫"), 354, 61, 16, mark);
    strokeRounded(p, QRectF(x - 7, 45, 41, 31), 5, accent(), 1.5);
    badge(p, 1, x - 34, 49);
    fill(p, QRectF(0, 84, 154, 231), grey(0.08));
    text(p, QStringLiteral("00:00:00"), 15, 100, 10, mark);
    fill(p, QRectF(155, 84, 415, 231), grey(0.13));
    text(p, QStringLiteral("已安装的") + rawValue(category) + QStringLiteral("  ⌄"), 174, 109, 13, mark);
    text(p, QStringLiteral("全部"), 181, 148, 12, white(0.45));
    QColor soft = accent();
    soft.setAlphaF(0.1f);
    fillRounded(p, QRectF(167, 174, 180, 37), 5, soft);
    strokeRounded(p, QRectF(167, 174, 180, 37), 5, accent(), 1.5);
    text(p, FCPWindowSchematic::leadingCharacters(names.at(0), 12), 180, 193, 13, mark);
    badge(p, 2, 317, 181);
    if (names.size() >= 2) {
        text(p, FCPWindowSchematic::leadingCharacters(names.at(1), 14), 181, 237, 13, mark);
    }
    fillRounded(p, QRectF(362, 136, 194, 29), 5, grey(0.08));
    text(p, QStringLiteral("⌕ 搜索"), 373, 151, 12, mark);
    fillRounded(p, QRectF(363, 183, 90, 58), 3, grey(0.075));
    fillRounded(p, QRectF(464, 183, 90, 58), 3, grey(0.075));
    picture(p, image, QRectF(364, 184, 88, 56));
    picture(p, image, QRectF(465, 184, 88, 56));
    text(p, QStringLiteral("预览"), 365, 257, 11, white(0.45));
    text(p, QStringLiteral("预览"), 467, 257, 11, white(0.45));

    glyph(p, FCPLocation::effects, 452, 48, 25, effects ? 1 : 0.35);
    glyph(p, FCPLocation::transitions, 512, 48, 25, category == FCPLocation::transitions ? 1 : 0.35);
}

} // namespace

QString FCPWindowSchematic::placeholderFolderName() {
    return QStringLiteral("Vrel 插件文件夹");
}

QStringList FCPWindowSchematic::shownNames(const QStringList &folders) {
    return folders.isEmpty() ? QStringList{placeholderFolderName()} : folders;
}

QString FCPWindowSchematic::leadingCharacters(const QString &text, int count) {
    if (count <= 0) {
        return {};
    }
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    int taken = 0;
    while (finder.toNextBoundary() != -1) {
        if (++taken == count) {
            return text.left(finder.position());
        }
    }
    return text;
}

const QImage &FCPWindowSchematic::landscape() {
    static const QImage image = [] {
        initialiseGuideResources();
        return QImage(QStringLiteral(":/inventory/fcp-guide-landscape"));
    }();
    return image;
}

void FCPWindowSchematic::paint(QPainter &painter, FCPLocation category, const QStringList &folders,
                               const QImage &picture) {
    const QStringList names = shownNames(folders);
    const bool topLeft = category == FCPLocation::titles || category == FCPLocation::generators;

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    fill(painter, QRectF(0, 0, designWidth, designHeight), grey(0.11));
    if (topLeft) {
        paintTopLeft(painter, category, names, picture);
    } else {
        paintBottomRight(painter, category, names, picture);
    }
    painter.restore();
}

} // namespace quillon
