// Every push button of the window and of the sign-in sheet keeps its text away from its
// edges, measured on the rendering (the style's own margins left Chinese labels touching the bevel).
#include "model/PluginManager.h"
#include "support/ButtonText.h"
#include "support/TestWorld.h"
#include "ui/ContentView.h"
#include "ui/WechatLoginSheet.h"

#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

using namespace quillon;

TEST(ButtonTextRoom, EveryButtonOfTheWindowAndTheSignInSheetKeepsEightPixelsAroundItsText) {
    test::TestWorld world;
    PluginManager model(world.environment());
    MemberProduct hybrid;
    hybrid.productKey = QStringLiteral("both");
    hybrid.productName = QStringLiteral("Vrel 胶片调色");
    hybrid.category = QStringLiteral("效果");
    hybrid.deliveryType = QStringLiteral("hybrid");
    model.setMemberProducts({hybrid});
    ContentView view(model);
    view.resize(1240, 780);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    WebPageModule missing({world.path(QStringLiteral("nowhere"))});
    WechatLoginSheet sheet(model, nullptr, missing);
    sheet.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&sheet));

    QStringList measured;
    auto measureShown = [&](QWidget &top) {
        for (QPushButton *button : top.findChildren<QPushButton *>()) {
            if (button->isVisible() && !button->text().isEmpty()) {
                button->setEnabled(true); // the text of a disabled button is too pale to measure
                EXPECT_GE(test::textMargin(*button), 8) << button->text().toStdString();
                measured.append(button->text());
            }
        }
    };
    auto *sections = view.findChild<QTabWidget *>();
    ASSERT_NE(sections, nullptr);
    for (int page = 0; page < sections->count(); ++page) {
        sections->setCurrentIndex(page);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        measureShown(view);
    }
    measureShown(sheet);
    for (const QString &text : {QStringLiteral("查看全部位置"), QStringLiteral("修复 Motion 组件"), QStringLiteral("领取网盘内容"),
                                QStringLiteral("重新获取二维码"), QStringLiteral("微信扫码登录")}) {
        EXPECT_TRUE(measured.contains(text)) << text.toStdString();
    }
}
