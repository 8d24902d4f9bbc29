#include "inventory/views/FCPInterfaceDiagram.h"
#include "inventory/views/FCPWindowSchematic.h"
#include "inventory/views/GuideStyle.h"
#include "inventory/views/PixelSupport.h"

#include <QLabel>

#include <gtest/gtest.h>

using namespace quillon;
using quillon::test::at;
using quillon::test::near;

namespace {

QStringList labelTexts(const QWidget &widget) {
    QStringList texts;
    for (const QLabel *label : widget.findChildren<QLabel *>()) {
        texts.append(label->text());
    }
    return texts;
}

/// A point of the design space as it lands in the rendered view.
QPointF placed(const FCPInterfaceDiagram &diagram, qreal x, qreal y) {
    const QRectF area = diagram.schematicRect();
    return area.topLeft() + QPointF(x, y) * diagram.schematicScale();
}

} // namespace

TEST(FCPInterfaceDiagram, NoSelectionShowsGenerators) {
    const FCPInterfaceDiagram diagram(std::nullopt, {});
    EXPECT_EQ(diagram.category(), FCPLocation::generators);
    EXPECT_TRUE(diagram.topLeft());
    EXPECT_EQ(diagram.firstStepTitle(), QStringLiteral("点击左上角「字幕和发生器」图标"));
    EXPECT_EQ(diagram.secondStepTitle(), QStringLiteral("在左侧选择「发生器」"));
}

TEST(FCPInterfaceDiagram, StepsCardAndHintNameTheCategorysCorner) {
    const FCPInterfaceDiagram titles(FCPLocation::titles, {});
    EXPECT_EQ(titles.secondStepTitle(), QStringLiteral("在左侧选择「字幕」"));
    EXPECT_EQ(titles.cardTitle(), QStringLiteral("FCP 左上角 · 局部放大"));
    EXPECT_EQ(titles.hintText(), QStringLiteral("在 FCP 中选择示意图中的对应文件夹"));
    EXPECT_TRUE(labelTexts(titles).contains(QStringLiteral("点击左上角「字幕和发生器」图标")));
    EXPECT_TRUE(labelTexts(titles).contains(QStringLiteral("在左侧选择「字幕」")));
    EXPECT_TRUE(labelTexts(titles).contains(QStringLiteral("在 FCP 中选择示意图中的对应文件夹")));

    const FCPInterfaceDiagram transitions(FCPLocation::transitions, {});
    EXPECT_FALSE(transitions.topLeft());
    EXPECT_EQ(transitions.firstStepTitle(), QStringLiteral("点击时间线上方右侧「转场」图标"));
    EXPECT_EQ(transitions.secondStepTitle(), QStringLiteral("在浏览器中选择插件文件夹"));
    EXPECT_EQ(transitions.cardTitle(), QStringLiteral("FCP 右下方 · 局部放大"));
    EXPECT_EQ(transitions.hintText(), QStringLiteral("选中文件夹后，即可预览和使用插件"));
    const FCPInterfaceDiagram effects(FCPLocation::effects, {});
    EXPECT_TRUE(labelTexts(effects).contains(QStringLiteral("点击时间线上方右侧「效果」图标")));
}

TEST(FCPInterfaceDiagram, AtFullWidthTheSchematicIsDrawnAtScaleOneAndCutAt295) {
    FCPInterfaceDiagram diagram(FCPLocation::generators, {QStringLiteral("Vrel 发生器")});
    const QImage image = test::rendered(diagram, QSize(570, 500), 2);
    EXPECT_DOUBLE_EQ(diagram.schematicScale(), 1.0);
    EXPECT_DOUBLE_EQ(diagram.schematicRect().height(), 295);

    const QPointF badge = placed(diagram, 205, 160);
    EXPECT_TRUE(near(at(image, badge.x(), badge.y()), guide::accent())) << "badge 2 at (201, 149)";
    const QPointF inside = placed(diagram, 100, 293.5); // the card's 1-point outline lies over the last row
    EXPECT_TRUE(near(at(image, inside.x(), inside.y()), guide::grey(0.12))) << "the sidebar down to 295";
    const QPointF below = placed(diagram, 100, 296);
    EXPECT_FALSE(near(at(image, below.x(), below.y()), guide::grey(0.12), 8)) << "nothing of the rest shows";
}

TEST(FCPInterfaceDiagram, AtHalfWidthTheWholeSchematicShowsWithRoomBelow) {
    FCPInterfaceDiagram diagram(FCPLocation::effects, {});
    const QImage image = test::rendered(diagram, QSize(285, 500), 2);
    EXPECT_DOUBLE_EQ(diagram.schematicScale(), 0.5);

    const QPointF highlight = placed(diagram, 445, 60);
    EXPECT_TRUE(near(at(image, highlight.x(), highlight.y()), guide::accent(), 60)) << "step 1 frame at x 445";
    const QPointF bottom = placed(diagram, 100, 312);
    EXPECT_TRUE(near(at(image, bottom.x(), bottom.y()), guide::grey(0.08))) << "the left pane's foot shows";
    const QPointF empty = placed(diagram, 100, 330);
    EXPECT_LT(diagram.schematicRect().top() + 165, diagram.schematicRect().bottom());
    EXPECT_FALSE(near(at(image, empty.x(), empty.y()), guide::grey(0.08), 8)) << "below the drawing the card is empty";
}

TEST(FCPInterfaceDiagram, StepNumbersAreLimeDiscs) {
    FCPInterfaceDiagram diagram(FCPLocation::titles, {});
    const QImage image = test::rendered(diagram, QSize(564, 500), 2);
    // The first step row starts 18 points down; its 23-point disc is at the left edge.
    EXPECT_TRUE(near(at(image, 4, 18 + 11.5), guide::accent()));
    EXPECT_TRUE(near(at(image, 11.5, 18 + 3), guide::accent()));
    EXPECT_EQ(at(image, 11.5, 17).alpha(), 0) << "above the steps is their padding";
}

TEST(FCPInterfaceDiagram, WritesReferenceRenders) {
    const QDir folder = test::referenceRenderFolder();
    for (FCPLocation category : {FCPLocation::titles, FCPLocation::transitions}) {
        FCPInterfaceDiagram diagram(category, {QStringLiteral("Vrel 电影标题"), QStringLiteral("Vrel 动态字幕")});
        QImage image = test::blankImage(QSizeF(564, 500), 2);
        image.fill(guide::surface());
        diagram.resize(564, 500);
        diagram.layout()->activate();
        diagram.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        const QString path =
            folder.filePath(QStringLiteral("diagram-%1.png").arg(diagram.topLeft() ? "top-left" : "bottom-right"));
        ASSERT_TRUE(image.save(path));
    }
}
