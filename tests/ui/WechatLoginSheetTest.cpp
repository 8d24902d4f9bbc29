#include "core/AccountTestSupport.h"
#include "ui/ContentView.h"
#include "ui/SheetBinding.h"
#include "ui/WechatLoginSheet.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QWindow>

using namespace quillon;
using namespace quillon::test;

class WechatLoginSheetTest : public AccountTest {
protected:
    void SetUp() override { makeModel(); }

    /// A sign-in showing its code. Its page is on the loopback service only when the
    /// test needs the web view to fetch it (the view keeps its connection open for a while).
    void showCode(bool pageOnService = false) {
        service.always("/qr", [] {
            ScriptedReply page = ScriptedReply::json(200, std::string("<html><body>QR</body></html>"));
            page.contentType = "text/html";
            return page;
        }());
        service.always(kLoginStatus, ScriptedReply::json(200, std::string(R"({"status":"pending"})")));
        service.then(kLoginStart, ScriptedReply::json(200, QJsonObject{
            {QStringLiteral("ticket"), QStringLiteral("T1")},
            {QStringLiteral("authorizeUrl"), pageOnService ? service.baseUrl().resolved(QUrl(QStringLiteral("qr"))).toString()
                                                           : QStringLiteral("http://127.0.0.1:9/qr")}}));
        model->startWechatLogin();
        ASSERT_TRUE(waitUntil([&] { return model->showWechatLogin() && !model->isWorking(); }));
    }
};

TEST_F(WechatLoginSheetTest, TheMainWindowShowsTheSheetWithThePageAndTheMessage) {
    ContentView view(*model);
    view.show();
    showCode(true);
    auto *sheet = qobject_cast<WechatLoginSheet *>(view.wechatLoginSheet().sheet());
    ASSERT_NE(sheet, nullptr);
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(sheet->message()->text(), QStringLiteral("请使用微信扫描二维码并确认登录。"));
    ASSERT_NE(sheet->page(), nullptr) << "the web-engine module is built beside the program";
    EXPECT_EQ(sheet->pageURL(), *model->wechatAuthorizeURL());
    // The web view really fetches the page (from the loopback service only).
    ASSERT_TRUE(waitUntil([&] { return service.count("/qr") >= 1; }, std::chrono::seconds(30)));

    // The model's message follows on screen.
    model->setWechatLoginMessage(QStringLiteral("二维码已过期，请重新扫码。"));
    ASSERT_TRUE(waitUntil([&] { return sheet->message()->text() == QStringLiteral("二维码已过期，请重新扫码。"); }));
}

TEST_F(WechatLoginSheetTest, CancelStopsThePollAndClosesTheSheet) {
    ContentView view(*model);
    view.show();
    showCode();
    QPointer<WechatLoginSheet> sheet = qobject_cast<WechatLoginSheet *>(view.wechatLoginSheet().sheet());
    ASSERT_TRUE(sheet);
    const std::optional<TaskHandle> poll = model->loginPollingTask();
    sheet->cancelButton()->click();
    EXPECT_FALSE(model->showWechatLogin());
    EXPECT_FALSE(model->loginPollingTask());
    ASSERT_TRUE(poll);
    EXPECT_TRUE(poll->isCancelled());
    EXPECT_TRUE(waitUntil([&] { return sheet.isNull() || !sheet->isVisible(); }));
}

TEST_F(WechatLoginSheetTest, ClosingTheSheetsWindowCancelsTheSignInToo) {
    ContentView view(*model);
    view.show();
    showCode();
    QPointer<QDialog> sheet = view.wechatLoginSheet().sheet();
    ASSERT_TRUE(sheet);
    const std::optional<TaskHandle> poll = model->loginPollingTask();
    EXPECT_TRUE(sheet->windowHandle()->close());
    EXPECT_FALSE(model->showWechatLogin());
    ASSERT_TRUE(poll);
    EXPECT_TRUE(poll->isCancelled());
    EXPECT_FALSE(model->loginPollingTask());
    EXPECT_EQ(view.wechatLoginSheet().sheet(), nullptr);
    EXPECT_TRUE(sheet.isNull() || !sheet->isVisible());
}

TEST_F(WechatLoginSheetTest, RetryStartsANewSignIn) {
    model->setShowWechatLogin(true); // a stale sheet after an expired code, no page
    WechatLoginSheet sheet(*model);
    EXPECT_TRUE(sheet.pageURL().isEmpty());
    service.then(kLoginStart, ScriptedReply::json(503, std::string(R"({"error":"稍后再试"})")));
    sheet.retryButton()->click();
    EXPECT_EQ(model->wechatLoginMessage(), QStringLiteral("正在生成微信登录二维码…"));
    ASSERT_TRUE(waitUntil([&] { return sheet.message()->text() == QStringLiteral("稍后再试"); }));
    EXPECT_EQ(service.count(kLoginStart), 1u);
}

TEST_F(WechatLoginSheetTest, WithoutTheWebEngineModuleThePageIsALinkToOpenInTheBrowser) {
    WebPageModule missing({world.path(QStringLiteral("nowhere"))});
    showCode();
    WechatLoginSheet sheet(*model, nullptr, missing);
    EXPECT_EQ(sheet.page(), nullptr);
    ASSERT_NE(sheet.pageLink(), nullptr);
    EXPECT_FALSE(missing.errorString().isEmpty());
    EXPECT_EQ(sheet.pageProblem()->text(),
              QStringLiteral("无法加载内置网页组件。请点击下方链接，在浏览器中打开微信扫码页面完成登录。"));
    EXPECT_TRUE(sheet.pageLink()->text().contains(QStringLiteral("http://127.0.0.1:9/qr")));
    Q_EMIT sheet.pageLink()->linkActivated(sheet.pageLink()->text());
    EXPECT_EQ(world.workspace->openedURLs, QList<QUrl>{*model->wechatAuthorizeURL()});
}

TEST_F(WechatLoginSheetTest, EnterPressesNothingUnlessAButtonHasTheFocusAndTheButtonsTakeItInTurn) {
    WebPageModule missing({world.path(QStringLiteral("nowhere"))}); // the page is beside the point here
    model->setShowWechatLogin(true);
    model->setWechatLoginMessage(QStringLiteral("请使用微信扫描二维码并确认登录。"));
    WechatLoginSheet sheet(*model, nullptr, missing);
    sheet.show();
    sheet.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&sheet));

    // The sheet has no default button.
    QTest::keyClick(&sheet, Qt::Key_Return);
    QTest::keyClick(&sheet, Qt::Key_Enter);
    EXPECT_EQ(model->wechatLoginMessage(), QStringLiteral("请使用微信扫描二维码并确认登录。"));
    EXPECT_TRUE(model->showWechatLogin());
    EXPECT_EQ(service.count(kLoginStart), 0u);

    sheet.retryButton()->setFocus(Qt::TabFocusReason);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), sheet.cancelButton());
    for (QPushButton *button : {sheet.retryButton(), sheet.cancelButton()}) {
        QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(button);
        ASSERT_NE(accessible, nullptr);
        EXPECT_EQ(accessible->text(QAccessible::Name), button->text());
    }
    // With the focus, Enter presses the button.
    service.then(kLoginStart, ScriptedReply::json(503, std::string(R"({"error":"稍后再试"})")));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    ASSERT_EQ(QApplication::focusWidget(), sheet.retryButton());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_EQ(model->wechatLoginMessage(), QStringLiteral("正在生成微信登录二维码…"));
    ASSERT_TRUE(waitUntil([&] { return !model->isWorking(); }));
    sheet.cancelButton()->setFocus(Qt::TabFocusReason);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Enter);
    EXPECT_FALSE(model->showWechatLogin());
}
