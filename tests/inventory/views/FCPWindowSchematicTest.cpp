#include "inventory/views/FCPWindowSchematic.h"
#include "inventory/views/GuideStyle.h"
#include "inventory/views/PixelSupport.h"

#include <gtest/gtest.h>


using namespace quillon;
using quillon::test::at;
using quillon::test::near;
using quillon::test::over;

namespace {

constexpr qreal kRatio = 2;

QImage schematic(FCPLocation category, const QStringList &folders, const QImage &picture = QImage()) {
    return test::drawn(QSizeF(570, 315), kRatio,
                       [&](QPainter &p) { FCPWindowSchematic::paint(p, category, folders, picture); });
}

const QColor accent = guide::accent();

/// Is there text (or anything else) on the otherwise plain `background` in `area`?
bool inked(const QImage &image, const QRectF &area, const QColor &background) {
    return test::inkPixels(image, area, background) > 10;
}

} // namespace

TEST(FCPWindowSchematic, BadgesAreLimeDiscsWithTheirNumberInBlack) {
    const QImage image = schematic(FCPLocation::generators, {});
    // Badge 1 at (151, 51), badge 2 at (201, 142 + 7): their discs are lime off the digit.
    EXPECT_TRUE(near(at(image, 155, 62), accent));
    EXPECT_TRUE(near(at(image, 169, 62), accent));
    EXPECT_TRUE(near(at(image, 205, 160), accent));
    EXPECT_TRUE(near(at(image, 212, 152.5), accent));
    // The digit is black at the centre column of the disc.
    int dark = 0;
    for (qreal y = 155; y < 167; y += 0.5) {
        dark += at(image, 212, y).green() < 60 ? 1 : 0;
    }
    EXPECT_GT(dark, 2) << "the number is drawn in black on the disc";
    // Just outside the disc's circle, in its bounding square's corner, is the sidebar grey.
    EXPECT_FALSE(near(at(image, 202, 150), accent, 40));
}

TEST(FCPWindowSchematic, TopLeftViewPaintsTheWindowChrome) {
    const QImage image = schematic(FCPLocation::titles, {});
    EXPECT_TRUE(near(at(image, 300, 10), guide::grey(0.23)));
    EXPECT_TRUE(near(at(image, 20.5, 18.5), over(guide::red(0.72), guide::grey(0.23))));
    EXPECT_TRUE(near(at(image, 37.5, 18.5), over(guide::yellow(0.72), guide::grey(0.23))));
    EXPECT_TRUE(near(at(image, 54.5, 18.5), over(guide::green(0.72), guide::grey(0.23))));
    EXPECT_TRUE(near(at(image, 300, 45), guide::grey(0.15))) << "toolbar";
    EXPECT_TRUE(near(at(image, 107, 49), over(guide::purple(0.35), guide::grey(0.15)))) << "titles button";
    EXPECT_TRUE(near(at(image, 104, 63), accent, 10)) << "the highlight of step 1 frames the button";
    EXPECT_TRUE(near(at(image, 100, 200), guide::grey(0.12))) << "sidebar";
    EXPECT_TRUE(near(at(image, 255, 260), guide::grey(0.15))) << "browser";
    EXPECT_TRUE(near(at(image, 300, 128), guide::grey(0.1))) << "search field";
    EXPECT_TRUE(near(at(image, 268, 204), guide::grey(0.07))) << "empty preview tile";
    EXPECT_TRUE(near(at(image, 520, 200), guide::grey(0.06))) << "inspector";
}

TEST(FCPWindowSchematic, BottomRightViewPaintsTheTimelineAndBrowser) {
    const QImage image = schematic(FCPLocation::effects, {});
    EXPECT_TRUE(near(at(image, 100, 10), guide::grey(0.1)));
    EXPECT_TRUE(near(at(image, 100, 39), guide::grey(0.11))) << "the window shows between title bar and toolbar";
    EXPECT_TRUE(near(at(image, 200, 60), guide::grey(0.2)));
    EXPECT_TRUE(near(at(image, 100, 250), guide::grey(0.08))) << "left pane";
    EXPECT_TRUE(near(at(image, 200, 290), guide::grey(0.13))) << "browser";
    EXPECT_TRUE(near(at(image, 400, 140), guide::grey(0.08))) << "search field";
    EXPECT_TRUE(near(at(image, 366, 239), guide::grey(0.075))) << "empty preview tile";
    // The highlighted folder row: lime at 0.1 over the browser, framed in lime.
    EXPECT_TRUE(near(at(image, 300, 206), over(QColor::fromRgbF(0.84f, 0.97f, 0.12f, 0.1f), guide::grey(0.13))));
    EXPECT_TRUE(near(at(image, 167, 200), accent, 10));
}

TEST(FCPWindowSchematic, StepOneHighlightAndBadgeFollowEffectsOrTransitions) {
    const QImage effects = schematic(FCPLocation::effects, {});
    const QImage transitions = schematic(FCPLocation::transitions, {});
    // Highlight (X - 7, 45, 41, 31): its left edge at 445 for effects, 505 for transitions.
    EXPECT_TRUE(near(at(effects, 445, 60), accent, 10));
    EXPECT_FALSE(near(at(effects, 505, 60), accent, 60));
    EXPECT_TRUE(near(at(transitions, 505, 60), accent, 10));
    EXPECT_FALSE(near(at(transitions, 445, 60), accent, 60));
    // Badge 1 at X - 34: 418 or 478.
    EXPECT_TRUE(near(at(effects, 421, 60), accent));
    EXPECT_FALSE(near(at(effects, 481, 60), accent, 60));
    EXPECT_TRUE(near(at(transitions, 481, 60), accent));
    EXPECT_FALSE(near(at(transitions, 421, 60), accent, 60));
}

TEST(FCPWindowSchematic, TheOtherCategorysGlyphIsDrawnAtALowerOpacity) {
    // On the toolbar's grey 0.2, a full stroke of white 0.85 is about 224; at opacity 0.35 about 112.
    const QRectF effectsGlyph(452, 48, 25, 25);
    const QRectF transitionsGlyph(512, 48, 25, 25);
    const int full = over(guide::white(0.85), guide::grey(0.2)).red();
    const int faint = over(guide::white(0.85 * 0.35), guide::grey(0.2)).red();

    const QImage effects = schematic(FCPLocation::effects, {});
    EXPECT_NEAR(test::brightest(effects, effectsGlyph), full, 6);
    EXPECT_NEAR(test::brightest(effects, transitionsGlyph), faint, 6);

    const QImage transitions = schematic(FCPLocation::transitions, {});
    EXPECT_NEAR(test::brightest(transitions, transitionsGlyph), full, 6);
    EXPECT_NEAR(test::brightest(transitions, effectsGlyph), faint, 6);
}

TEST(FCPWindowSchematic, TitlesExpandTheTitlesRowAndPushGeneratorsDown) {
    const QImage titles = schematic(FCPLocation::titles, {QStringLiteral("Vrel 标题一"), QStringLiteral("Vrel 标题二")});
    const QImage generators =
        schematic(FCPLocation::generators, {QStringLiteral("Vrel 发生器一"), QStringLiteral("Vrel 发生器二")});
    const QColor sidebar = guide::grey(0.12);
    const QColor highlighted = over(QColor::fromRgbF(0.84f, 0.97f, 0.12f, 0.1f), sidebar);

    // The highlighted row is at R = 99 for titles, 142 for generators.
    EXPECT_TRUE(near(at(titles, 150, 99), accent, 10));
    EXPECT_FALSE(near(at(titles, 150, 142), accent, 60));
    EXPECT_TRUE(near(at(generators, 150, 142), accent, 10));
    EXPECT_FALSE(near(at(generators, 150, 99), accent, 60));
    // Badge 2 sits at R + 7.
    EXPECT_TRUE(near(at(titles, 205, 117), accent));
    EXPECT_TRUE(near(at(generators, 205, 160), accent));

    // Titles: folder rows at 162 and 198, the generators row below them at 245 with its glyph at (36, 234).
    EXPECT_TRUE(inked(titles, QRectF(42, 155, 150, 14), sidebar));
    EXPECT_TRUE(inked(titles, QRectF(42, 191, 150, 14), sidebar));
    EXPECT_TRUE(inked(titles, QRectF(64, 237, 60, 16), sidebar)) << "发生器 at y 245";
    // The glyph's left edge (x 38) shows left of where the folder rows begin (x 42).
    EXPECT_TRUE(inked(titles, QRectF(36, 236, 5, 17), sidebar)) << "generators glyph moved down";

    // Generators: the generators row stays at 161 and its folders follow at 207 and 243.
    EXPECT_TRUE(inked(generators, QRectF(36, 150, 21, 21), highlighted)) << "generators glyph on its row";
    EXPECT_TRUE(inked(generators, QRectF(42, 200, 150, 14), sidebar));
    EXPECT_TRUE(inked(generators, QRectF(42, 236, 150, 14), sidebar));
    EXPECT_FALSE(inked(generators, QRectF(36, 236, 5, 17), sidebar));

    // The expanded row shows "▾" (heavy at the top), a collapsed one "▸" (heavy at the left), at x 20.
    const auto expanded = [](const QImage &image, qreal y, const QColor &background) {
        const QRect box = test::inkBox(image, QRectF(17, y - 9, 14, 18), background);
        EXPECT_FALSE(box.isEmpty());
        const qreal r = image.devicePixelRatio();
        const auto ink = [&](QRect part) {
            return test::inkPixels(image, QRectF(part.x() / r, part.y() / r, part.width() / r, part.height() / r),
                                   background, 40);
        };
        const int third = std::max(1, box.height() / 3);
        const int top = ink(QRect(box.left(), box.top(), box.width(), third));
        const int bottom = ink(QRect(box.left(), box.bottom() + 1 - third, box.width(), third));
        return top > 2 * bottom;
    };
    EXPECT_TRUE(expanded(titles, 118, highlighted));
    EXPECT_FALSE(expanded(titles, 245, sidebar));
    EXPECT_FALSE(expanded(generators, 118, sidebar));
    EXPECT_TRUE(expanded(generators, 161, highlighted));
}

TEST(FCPWindowSchematic, TheSecondFolderRowAppearsOnlyWithTwoNames) {
    const QColor sidebar = guide::grey(0.12);
    const QColor browser = guide::grey(0.13);
    const QString a = QStringLiteral("Vrel 光效"), b = QStringLiteral("Vrel 转场包");

    EXPECT_FALSE(inked(schematic(FCPLocation::titles, {a}), QRectF(42, 191, 190, 14), sidebar));
    EXPECT_TRUE(inked(schematic(FCPLocation::titles, {a, b}), QRectF(42, 191, 190, 14), sidebar));
    EXPECT_FALSE(inked(schematic(FCPLocation::generators, {a}), QRectF(42, 236, 190, 14), sidebar));
    EXPECT_TRUE(inked(schematic(FCPLocation::generators, {a, b}), QRectF(42, 236, 190, 14), sidebar));
    EXPECT_FALSE(inked(schematic(FCPLocation::effects, {a}), QRectF(181, 230, 170, 14), browser));
    EXPECT_TRUE(inked(schematic(FCPLocation::effects, {a, b}), QRectF(181, 230, 170, 14), browser));
    EXPECT_FALSE(inked(schematic(FCPLocation::transitions, {a}), QRectF(181, 230, 170, 14), browser));
    EXPECT_TRUE(inked(schematic(FCPLocation::transitions, {a, b}), QRectF(181, 230, 170, 14), browser));
}

TEST(FCPWindowSchematic, OnlyTheFirstTwoNamesAreDrawn) {
    const QStringList two{QStringLiteral("Vrel 一"), QStringLiteral("Vrel 二")};
    for (FCPLocation category : {FCPLocation::titles, FCPLocation::effects}) {
        EXPECT_EQ(schematic(category, two + QStringList{QStringLiteral("Vrel 三"), QStringLiteral("Vrel 四")}),
                  schematic(category, two));
    }
}

TEST(FCPWindowSchematic, NoFoldersDrawThePlaceholderName) {
    EXPECT_EQ(FCPWindowSchematic::shownNames({}), QStringList{QStringLiteral("Vrel 插件文件夹")});
    for (FCPLocation category : {FCPLocation::generators, FCPLocation::transitions}) {
        const QImage none = schematic(category, {});
        EXPECT_EQ(none, schematic(category, {QStringLiteral("Vrel 插件文件夹")}));
        EXPECT_NE(none, schematic(category, {QStringLiteral("Vrel 别的")}));
    }
}

TEST(FCPWindowSchematic, LongNamesAreCutByUserPerceivedCharacters) {
    EXPECT_EQ(FCPWindowSchematic::leadingCharacters(QStringLiteral("Vrel 光"), 13), QStringLiteral("Vrel 光"));
    EXPECT_EQ(FCPWindowSchematic::leadingCharacters(QStringLiteral("abcdef"), 3), QStringLiteral("abc"));
    // A letter with a combining accent, a flag and a family emoji each count as one character.
    const QString accented = QStringLiteral("e\u0301");
    const QString flag = QStringLiteral("\U0001F1E8\U0001F1F3");
    const QString family = QStringLiteral("\U0001F468\u200D\U0001F469\u200D\U0001F467");
    EXPECT_EQ(FCPWindowSchematic::leadingCharacters(accented + flag + family + QStringLiteral("x"), 3),
              accented + flag + family);
    EXPECT_EQ(FCPWindowSchematic::leadingCharacters(QStringLiteral("x"), 0), QString());

    const QString twenty = QStringLiteral("Vrel 超长的插件文件夹名字到此为止啊");
    ASSERT_EQ(twenty.size(), 20);
    // Top-left view: 13 characters; bottom-right: 12 in the first row, 14 in the second.
    EXPECT_EQ(schematic(FCPLocation::titles, {twenty}), schematic(FCPLocation::titles, {twenty.left(13)}));
    EXPECT_NE(schematic(FCPLocation::titles, {twenty}), schematic(FCPLocation::titles, {twenty.left(12)}));
    const QString other = QStringLiteral("Vrel 另一个");
    EXPECT_EQ(schematic(FCPLocation::effects, {twenty, twenty}), schematic(FCPLocation::effects, {twenty.left(12), twenty.left(14)}));
    EXPECT_NE(schematic(FCPLocation::effects, {twenty, other}), schematic(FCPLocation::effects, {twenty.left(11), other}));
    EXPECT_NE(schematic(FCPLocation::effects, {other, twenty}), schematic(FCPLocation::effects, {other, twenty.left(13)}));
}

TEST(FCPWindowSchematic, PreviewTilesShowTheLandscapeWhenItExists) {
    const QImage &landscape = FCPWindowSchematic::landscape();
    ASSERT_FALSE(landscape.isNull()) << "the picture is built into the program";
    EXPECT_GT(landscape.width(), landscape.height());

    for (FCPLocation category : {FCPLocation::titles, FCPLocation::effects}) {
        const QRectF tile = category == FCPLocation::titles ? QRectF(267, 150, 93, 56) : QRectF(364, 184, 88, 56);
        const QColor empty = category == FCPLocation::titles ? guide::grey(0.07) : guide::grey(0.075);
        const QImage without = schematic(category, {});
        const QImage with = schematic(category, {}, landscape);
        EXPECT_EQ(test::inkPixels(without, tile, empty, 2), 0);
        EXPECT_GT(test::inkPixels(with, tile, empty, 2), int(tile.width() * tile.height() * kRatio * kRatio * 0.9));
        // The picture is stretched into the tile: its top-left and bottom-right corners land there.
        EXPECT_TRUE(near(at(with, tile.left() + 0.5, tile.top() + 0.5), landscape.pixelColor(0, 0), 24));
        EXPECT_TRUE(near(at(with, tile.right() - 0.5, tile.bottom() - 0.5),
                         landscape.pixelColor(landscape.width() - 1, landscape.height() - 1), 24));
    }
}

TEST(FCPWindowSchematic, WritesReferenceRendersOfEachCategory) {
    const QDir folder = test::referenceRenderFolder();
    const QStringList names{QStringLiteral("Vrel 超长的插件文件夹名字到此为止啊"), QStringLiteral("Vrel 第二个文件夹")};
    const std::pair<FCPLocation, const char *> cases[] = {{FCPLocation::titles, "titles"},
                                                          {FCPLocation::generators, "generators"},
                                                          {FCPLocation::effects, "effects"},
                                                          {FCPLocation::transitions, "transitions"}};
    for (const auto &[category, name] : cases) {
        const QImage image = schematic(category, names, FCPWindowSchematic::landscape());
        const QString path = folder.filePath(QStringLiteral("schematic-%1.png").arg(QLatin1String(name)));
        ASSERT_TRUE(image.save(path)) << path.toStdString();
        EXPECT_EQ(QImage(path).size(), QSize(1140, 630));
    }
}
