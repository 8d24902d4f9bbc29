#include "core/PluginManager.h"
#include "support/TestWorld.h"
#include "support/Wait.h"
#include "ui/ContentView.h"
#include "ui/SheetBinding.h"

#include <QDialog>
#include <QAbstractButton>
#include <QMessageBox>

#include <gtest/gtest.h>

using namespace quillon;

class ContentViewTest : public ::testing::Test {
protected:
    test::TestWorld world;
    PluginManager model{world.environment()};
    ContentView view{model};
};

TEST_F(ContentViewTest, EachSheetIsShownWhileItsFlagIsTrueAndClosingClearsTheFlag) {
    view.show();
    struct Case {
        SheetBinding &binding;
        std::function<void(bool)> set;
        std::function<bool()> get;
    };
    std::vector<Case> cases{
        {view.locationGuideSheet(), [&](bool v) { model.setShowLocationGuide(v); }, [&] { return model.showLocationGuide(); }},
        {view.netdiskDeliverySheet(), [&](bool v) { model.setShowNetdiskDelivery(v); }, [&] { return model.showNetdiskDelivery(); }},
        {view.wechatLoginSheet(), [&](bool v) { model.setShowWechatLogin(v); }, [&] { return model.showWechatLogin(); }},
        {view.installSuccessAlert(), [&](bool v) { model.setShowInstallSuccess(v); }, [&] { return model.showInstallSuccess(); }},
    };
    for (Case &c : cases) {
        EXPECT_EQ(c.binding.sheet(), nullptr);
        c.set(true);
        ASSERT_NE(c.binding.sheet(), nullptr);
        EXPECT_TRUE(c.binding.sheet()->isVisible());

        c.binding.sheet()->reject(); // the user closes it
        EXPECT_FALSE(c.get());
        EXPECT_EQ(c.binding.sheet(), nullptr);

        c.set(true);
        QPointer<QDialog> shown = c.binding.sheet();
        ASSERT_TRUE(shown);
        c.set(false); // the model closes it
        EXPECT_EQ(c.binding.sheet(), nullptr);
        EXPECT_TRUE(test::waitUntil([&] { return shown.isNull() || !shown->isVisible(); }));
    }
}

TEST_F(ContentViewTest, InstallSuccessAlertShowsTheDeliveryMessageOrTheProductName) {
    EXPECT_EQ(ContentView::installSuccessMessage(model), QStringLiteral("插件已安装完成。"));
    model.setLastInstalledProduct(QStringLiteral("Vrel 光效"));
    EXPECT_EQ(ContentView::installSuccessMessage(model), QStringLiteral("Vrel 光效已安装完成。"));
    model.setLastDeliveryMessage(QStringLiteral("已在浏览器打开。"));
    EXPECT_EQ(ContentView::installSuccessMessage(model), QStringLiteral("已在浏览器打开。"));

    model.setDeliverySuccessTitle(QStringLiteral("合作商品已领取"));
    model.setShowInstallSuccess(true);
    auto *alert = qobject_cast<QMessageBox *>(view.installSuccessAlert().sheet());
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->windowTitle(), QStringLiteral("合作商品已领取"));
    EXPECT_EQ(alert->text(), QStringLiteral("合作商品已领取"));
    EXPECT_EQ(alert->informativeText(), QStringLiteral("已在浏览器打开。"));
    ASSERT_EQ(alert->buttons().size(), 1);
    EXPECT_EQ(alert->buttons().first()->text(), QStringLiteral("好的"));
    alert->buttons().first()->click();
    EXPECT_FALSE(model.showInstallSuccess());
}
