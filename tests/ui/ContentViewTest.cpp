#include "model/PluginManager.h"
#include "support/LocalHttpServer.h"
#include "support/TestWorld.h"
#include "support/Wait.h"
#include "ui/AccountPanel.h"
#include "ui/ContentView.h"
#include "ui/SheetBinding.h"
#include "ui/UpdatePanel.h"

#include <QAccessible>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <QWindow>
#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>

#include <gtest/gtest.h>

#include <chrono>
#include <future>

using namespace quillon;

class ContentViewTest : public ::testing::Test {
protected:
    test::TestWorld world;
    PluginManager model{world.environment()};
    ContentView view{model};
};

TEST_F(ContentViewTest, EverySheetClosesOnceInEveryWayAndClearsItsFlag) {
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
    // Escape and the sheets' own buttons end in reject(); the title bar's close button
    // closes the window; quitting closes every window, the sheet first, in one request.
    const std::vector<std::pair<const char *, std::function<void(QDialog &, const Case &)>>> ways{
        {"reject", [](QDialog &sheet, const Case &) { sheet.reject(); }},
        {"window close", [](QDialog &sheet, const Case &) { EXPECT_TRUE(sheet.windowHandle()->close()); }},
        {"flag", [](QDialog &, const Case &c) { c.set(false); }},
        {"quit", [](QDialog &, const Case &) { QApplication::closeAllWindows(); }},
    };
    for (const Case &c : cases) {
        for (const auto &[way, close] : ways) {
            SCOPED_TRACE(way);
            view.show();
            EXPECT_EQ(c.binding.sheet(), nullptr);
            c.set(true);
            QPointer<QDialog> shown = c.binding.sheet();
            ASSERT_TRUE(shown);
            EXPECT_TRUE(shown->isVisible());
            QSignalSpy finished(shown.data(), &QDialog::finished);

            close(*shown, c);
            EXPECT_FALSE(c.get());
            EXPECT_EQ(c.binding.sheet(), nullptr);
            EXPECT_TRUE(shown.isNull() || !shown->isVisible());
            EXPECT_EQ(finished.count(), 1);
            EXPECT_EQ(view.isVisible(), way != std::string_view("quit"));
        }
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

TEST_F(ContentViewTest, TheSidebarKeepsItsWidthWhateverItsMessageSays) {
    view.resize(1240, 780);
    view.show();
    auto *account = view.findChild<AccountPanel *>();
    ASSERT_NE(account, nullptr);
    QList<int> widths;
    for (const QString &message : {QStringLiteral("短"), QStringLiteral("已退出微信账号。重新扫码即可恢复名下权益。").repeated(4)}) {
        model.setWechatLoginMessage(message);
        ASSERT_TRUE(test::waitUntil([&] { return account->message()->text() == message; }));
        for (int turn = 0; turn < 3; ++turn) { // layout requests travel up one parent a turn
            QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        }
        widths.append(account->width());
    }
    EXPECT_EQ(widths[0], widths[1]);
}

TEST(UpdatePanelTest, CheckForUpdatesRunsAVisibleCheckAndShowsItsOutcome) {
    test::LocalHttpServer server;
    // The reply waits until the test has seen the button disabled, so a fast check cannot
    // end before the test looks.
    std::promise<void> seenDisabled;
    std::shared_future<void> replyMayGo = seenDisabled.get_future().share();
    server.http().Get("/downloads/vrel-plugin-manager-update.json", [replyMayGo](const httplib::Request &, httplib::Response &res) {
        replyMayGo.wait_for(std::chrono::seconds(10));
        res.set_content(R"({"version":"0.1"})", "application/json");
    });
    server.start();
    test::TestWorld world;
    PluginManager model{world.environment(server.baseUrl())};
    UpdatePanel panel{model};
    EXPECT_EQ(panel.checkButton()->text(), QStringLiteral("检查更新"));
    EXPECT_TRUE(panel.message()->isHidden()) << "nothing to say before a check";

    panel.checkButton()->click();
    EXPECT_EQ(model.updateMessage(), QStringLiteral("正在检查更新…"));
    const bool disabledMeanwhile = test::waitUntil([&] { return !panel.checkButton()->isEnabled(); });
    seenDisabled.set_value();
    ASSERT_TRUE(disabledMeanwhile) << "no second check meanwhile";
    ASSERT_TRUE(test::waitUntil([&] { return panel.message()->text().startsWith(QStringLiteral("已是最新版本"));  }));
    EXPECT_FALSE(panel.message()->isHidden());
    EXPECT_TRUE(panel.checkButton()->isEnabled());
    EXPECT_EQ(server.requestsTo("/downloads/vrel-plugin-manager-update.json").size(), 1u);
}

TEST_F(ContentViewTest, EveryButtonOfTheWindowTakesTheFocusInTurnCarriesItsTextAsItsNameAndAnswersEnter) {
    view.resize(1240, 780);
    view.show();
    view.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
    QList<QAbstractButton *> shown;
    for (QAbstractButton *button : view.findChildren<QAbstractButton *>()) {
        if (button->isVisible() && button->isEnabled()) {
            shown.append(button);
        }
    }
    ASSERT_GE(shown.size(), 3);

    // Tab, all the way round the window.
    view.setFocus(Qt::TabFocusReason);
    QList<QAbstractButton *> reached;
    for (int step = 0; step < 100 && reached.size() < shown.size(); ++step) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        auto *button = qobject_cast<QAbstractButton *>(QApplication::focusWidget());
        if (button != nullptr && !reached.contains(button)) {
            reached.append(button);
        }
    }
    for (QAbstractButton *button : shown) {
        EXPECT_TRUE(reached.contains(button)) << button->text().toStdString() << " takes no focus";
        QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(button);
        ASSERT_NE(accessible, nullptr);
        EXPECT_EQ(accessible->text(QAccessible::Name), button->text());
    }

    UpdatePanel *update = view.findChild<UpdatePanel *>();
    ASSERT_NE(update, nullptr);
    update->checkButton()->setFocus(Qt::TabFocusReason);
    QTest::keyClick(update->checkButton(), Qt::Key_Return);
    EXPECT_EQ(model.updateMessage(), QStringLiteral("正在检查更新…"));
}

TEST_F(ContentViewTest, EverySheetIsASheetWindowNotADrawer) {
    view.show();
    const std::vector<std::pair<SheetBinding *, std::function<void(bool)>>> sheets{
        {&view.locationGuideSheet(), [&](bool v) { model.setShowLocationGuide(v); }},
        {&view.netdiskDeliverySheet(), [&](bool v) { model.setShowNetdiskDelivery(v); }},
        {&view.wechatLoginSheet(), [&](bool v) { model.setShowWechatLogin(v); }},
        {&view.installSuccessAlert(), [&](bool v) { model.setShowInstallSuccess(v); }},
    };
    for (const auto &[binding, show] : sheets) {
        show(true);
        ASSERT_NE(binding->sheet(), nullptr);
        EXPECT_EQ(binding->sheet()->windowType(), Qt::Sheet) << binding->sheet()->metaObject()->className();
        EXPECT_EQ(binding->sheet()->windowModality(), Qt::WindowModal);
        show(false);
    }
}
