#include "AccountTestSupport.h"
#include "core/WechatLogin.h"
#include "support/FailingListener.h"

using namespace quillon;
using namespace quillon::test;

namespace {

const QString kScanPrompt = QStringLiteral("请使用微信扫描二维码并确认登录。");
const QString kExpired = QStringLiteral("二维码已过期，请重新扫码。");

ScriptedReply startReply(const QString &ticket, const QString &page, std::optional<int> expiresIn = 60) {
    QJsonObject o{{QStringLiteral("ticket"), ticket}, {QStringLiteral("authorizeUrl"), page}};
    if (expiresIn) {
        o.insert(QStringLiteral("expiresIn"), *expiresIn);
    }
    return ScriptedReply::json(200, o);
}

ScriptedReply pending() { return ScriptedReply::json(200, QJsonObject{{QStringLiteral("status"), QStringLiteral("pending")}}); }

ScriptedReply approved(const QString &token, const QJsonObject &user = {}) {
    QJsonObject o{{QStringLiteral("status"), QStringLiteral("approved")}, {QStringLiteral("accessToken"), token}};
    if (!user.isEmpty()) {
        o.insert(QStringLiteral("user"), user);
    }
    return ScriptedReply::json(200, o);
}

} // namespace

class WechatLoginTest : public AccountTest {
protected:
    void SetUp() override { makeModel(); }

    /// Starts a sign-in and waits until the code is shown.
    void showCode(const QString &ticket = QStringLiteral("T1")) {
        service.then(kLoginStart, startReply(ticket, QStringLiteral("http://127.0.0.1:9/qr/") + ticket));
        model->startWechatLogin();
        ASSERT_TRUE(waitUntil([&] { return model->showWechatLogin() && !model->isWorking(); }));
    }
};

TEST(WechatLoginRules, PollCountFollowsTheClampedLifetime) {
    EXPECT_EQ(wechatLoginPollCount(10), 15);
    EXPECT_EQ(wechatLoginPollCount(30), 15);
    EXPECT_EQ(wechatLoginPollCount(31), 15);
    EXPECT_EQ(wechatLoginPollCount(600), 300);
    EXPECT_EQ(wechatLoginPollCount(900), 450);
    EXPECT_EQ(wechatLoginPollCount(5000), 450);
    EXPECT_EQ(wechatLoginPollCount(-7), 15);
}

TEST_F(WechatLoginTest, FromSignedOutThroughTheCodeAndApprovalToSignedIn) {
    service.then(kLoginStart, startReply(QStringLiteral("T1"), QStringLiteral("http://127.0.0.1:9/qr?t=1")));
    service.then(kLoginStatus, pending());
    service.then(kLoginStatus, pending());
    service.then(kLoginStatus, approved(QStringLiteral("tok-1"), {{QStringLiteral("nickname"), QStringLiteral("小明")},
                                                                   {QStringLiteral("avatarUrl"), QStringLiteral("http://127.0.0.1:9/a.png")}}));
    service.then(kAccount, ScriptedReply::json(200, QJsonObject{
        {QStringLiteral("user"), QJsonObject{{QStringLiteral("nickname"), QStringLiteral("小明")}}},
        {QStringLiteral("memberships"), QJsonArray{license(QStringLiteral("vrel-all-site-lifetime"), QStringLiteral("全站会员"))}}}).heldBack());
    service.always(kLibrary, ScriptedReply::json(200, library(2)));

    // Signed out -> requesting a code.
    model->startWechatLogin();
    EXPECT_TRUE(model->isWorking());
    EXPECT_EQ(model->wechatLoginMessage(), QStringLiteral("正在生成微信登录二维码…"));

    // -> showing the code.
    ASSERT_TRUE(waitUntil([&] { return model->showWechatLogin(); }));
    EXPECT_FALSE(model->isWorking());
    EXPECT_EQ(model->wechatLoginMessage(), kScanPrompt);
    EXPECT_EQ(model->wechatAuthorizeURL(), QUrl(QStringLiteral("http://127.0.0.1:9/qr?t=1")));
    EXPECT_TRUE(model->loginPollingTask());

    // -> approved, syncing: signed in, sheet still open.
    ASSERT_TRUE(waitUntil([&] { return service.heldCount() == 1; }));
    EXPECT_TRUE(model->isWechatLoggedIn());
    EXPECT_TRUE(model->showWechatLogin());
    EXPECT_TRUE(model->isRestoringAccount());
    EXPECT_EQ(model->managerAccessToken(), QStringLiteral("tok-1"));
    EXPECT_EQ(model->sessionStore().readManagerToken(), QStringLiteral("tok-1"));
    EXPECT_EQ(model->wechatUserName(), QStringLiteral("小明"));
    EXPECT_EQ(model->wechatAvatarURL(), QStringLiteral("http://127.0.0.1:9/a.png"));
    EXPECT_EQ(model->wechatLoginMessage(), QStringLiteral("微信登录成功，正在同步管理器与商城…"));

    // -> signed in: sheet closed, poll gone, library loaded.
    service.releaseHeld();
    ASSERT_TRUE(waitUntil([&] { return !model->showWechatLogin(); }));
    EXPECT_FALSE(model->loginPollingTask());
    EXPECT_FALSE(model->isRestoringAccount());
    EXPECT_EQ(model->wechatLoginMessage(), QStringLiteral("管理器与商城已同步登录。"));
    EXPECT_EQ(model->memberProducts().size(), 2);
    EXPECT_EQ(model->activatedProductType(), QStringLiteral("all_site"));

    // The requests had the exact shape.
    const auto starts = service.requestsTo(kLoginStart);
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_FALSE(starts[0].hasHeader("Authorization"));
    const QJsonObject startBody = bodyOf(starts[0]);
    EXPECT_EQ(startBody.size(), 2);
    EXPECT_EQ(startBody.value(QStringLiteral("deviceId")).toString(), model->deviceIdentifier());
    EXPECT_EQ(startBody.value(QStringLiteral("deviceName")).toString(), model->deviceName());
    const auto polls = service.requestsTo(kLoginStatus);
    ASSERT_EQ(polls.size(), 3u);
    for (const auto &poll : polls) {
        EXPECT_FALSE(poll.hasHeader("Authorization"));
        EXPECT_EQ(bodyOf(poll), QJsonObject({{QStringLiteral("ticket"), QStringLiteral("T1")}}));
    }
    const auto accounts = service.requestsTo(kAccount);
    ASSERT_EQ(accounts.size(), 1u);
    EXPECT_EQ(accounts[0].header("Authorization"), "Bearer tok-1");
}

TEST_F(WechatLoginTest, ApprovalWithoutUserUsesTheDefaultName) {
    showCode();
    service.always(kLoginStatus, approved(QStringLiteral("tok")));
    service.always(kAccount, ScriptedReply::json(500, std::string("{}")));
    ASSERT_TRUE(waitUntil([&] { return !model->showWechatLogin(); }));
    EXPECT_EQ(model->wechatUserName(), QStringLiteral("Vrel 用户"));
    EXPECT_EQ(model->wechatAvatarURL(), QString());
    EXPECT_EQ(model->wechatLoginMessage(), QStringLiteral("微信账户权益读取失败。"));
}

TEST_F(WechatLoginTest, AnEmptyStoredIdentifierIsSentAsItIs) {
    // A stored identifier is never replaced, even an empty one.
    world.preferences->setValue(QStringLiteral("vrel.device.id"), QString(QLatin1String("")));
    service.then(kLoginStart, ScriptedReply::json(503, std::string("{}")));
    model->startWechatLogin();
    ASSERT_TRUE(waitUntil([&] { return !model->isWorking(); }));
    const auto starts = service.requestsTo(kLoginStart);
    ASSERT_EQ(starts.size(), 1u);
    const QJsonObject body = bodyOf(starts[0]);
    ASSERT_TRUE(body.value(QStringLiteral("deviceId")).isString());
    EXPECT_EQ(body.value(QStringLiteral("deviceId")).toString(), QString());
    EXPECT_TRUE(body.value(QStringLiteral("deviceName")).toString().endsWith(QStringLiteral(" · Vrel-")));
    EXPECT_EQ(world.preferences->string(QStringLiteral("vrel.device.id")), QString());
}

TEST_F(WechatLoginTest, StartingWhileBusyDoesNothingAtAll) {
    model->setIsWorking(true);
    const QString before = model->wechatLoginMessage();
    model->startWechatLogin();
    settle();
    EXPECT_EQ(model->wechatLoginMessage(), before);
    EXPECT_EQ(service.count(kLoginStart), 0u);
}

TEST_F(WechatLoginTest, ATicketRequestThatFailsSaysWhyAndOpensNothing) {
    struct Case {
        ScriptedReply reply;
        QString message;
    };
    const QString unreachable = QStringLiteral("暂时无法连接微信登录服务，请稍后重试。");
    const QString failed = QStringLiteral("微信登录二维码生成失败。");
    std::vector<Case> cases{
        {ScriptedReply::dropped(), unreachable},
        {ScriptedReply::htmlErrorPage(502), unreachable},
        {ScriptedReply::invalidUtf8(200), unreachable},
        {ScriptedReply::json(200, std::string(R"({"ticket":"T","authorizeUrl":"http://127.0.0.1:9/q","expiresIn":"60"})")), unreachable},
        {ScriptedReply::json(503, std::string(R"({"error":"服务维护中"})")), QStringLiteral("服务维护中")},
        {ScriptedReply::json(503, std::string(R"({"ticket":"T","authorizeUrl":"http://127.0.0.1:9/q"})")), failed},
        {ScriptedReply::json(200, std::string(R"({"authorizeUrl":"http://127.0.0.1:9/q"})")), failed},
        {ScriptedReply::json(200, std::string(R"({"ticket":"T"})")), failed},
        {ScriptedReply::json(200, std::string(R"({"ticket":"T","authorizeUrl":"not a url","error":"地址无效"})")), QStringLiteral("地址无效")},
        {ScriptedReply::json(200, std::string(R"j({"ticket":"T","authorizeUrl":"javascript:alert(1)"})j")), failed},
    };
    for (Case &c : cases) {
        service.then(kLoginStart, c.reply);
        model->startWechatLogin();
        ASSERT_TRUE(waitUntil([&] { return !model->isWorking(); }));
        EXPECT_EQ(model->wechatLoginMessage(), c.message);
        EXPECT_FALSE(model->showWechatLogin());
        EXPECT_FALSE(model->wechatAuthorizeURL());
        EXPECT_FALSE(model->loginPollingTask());
    }
}

TEST_F(WechatLoginTest, AnInvalidPageLeavesAnOpenSheetOpen) {
    showCode();
    service.then(kLoginStart, ScriptedReply::json(200, std::string(R"({"ticket":"T2","authorizeUrl":"::"})")));
    model->startWechatLogin();
    ASSERT_TRUE(waitUntil([&] { return !model->isWorking(); }));
    EXPECT_EQ(model->wechatLoginMessage(), QStringLiteral("微信登录二维码生成失败。"));
    EXPECT_TRUE(model->showWechatLogin());
}

TEST_F(WechatLoginTest, ExpiryBy410ShowsTheErrorOrTheDefaultAndEndsThePoll) {
    service.always(kLoginStatus, ScriptedReply::json(410, std::string(R"({"error":"二维码失效了"})")));
    showCode();
    ASSERT_TRUE(waitUntil([&] { return model->wechatLoginMessage() == QStringLiteral("二维码失效了"); }));
    settle();
    EXPECT_EQ(service.count(kLoginStatus), 1u);
    EXPECT_TRUE(model->showWechatLogin());
    EXPECT_FALSE(model->isWechatLoggedIn());

    service.always(kLoginStatus, ScriptedReply::json(410, std::string("{}")));
    showCode(QStringLiteral("T2"));
    ASSERT_TRUE(waitUntil([&] { return model->wechatLoginMessage() == kExpired; }));
    settle();
    EXPECT_EQ(service.count(kLoginStatus), 2u);
}

TEST_F(WechatLoginTest, ExpiryByTheLastPollAfterExactlyTheClampedNumberOfPolls) {
    service.always(kLoginStatus, pending());
    service.then(kLoginStart, startReply(QStringLiteral("T1"), QStringLiteral("http://127.0.0.1:9/q"), 10));
    model->startWechatLogin();
    ASSERT_TRUE(waitUntil([&] { return model->wechatLoginMessage() == kExpired; }));
    settle();
    EXPECT_EQ(service.count(kLoginStatus), 15u);
    EXPECT_TRUE(model->showWechatLogin());
}

TEST_F(WechatLoginTest, AnAbsentLifetimeMeans300Polls) {
    model.reset();
    world.timing.loginPollInterval = std::chrono::milliseconds(1);
    makeModel();
    service.always(kLoginStatus, pending());
    service.then(kLoginStart, startReply(QStringLiteral("T1"), QStringLiteral("http://127.0.0.1:9/q"), std::nullopt));
    model->startWechatLogin();
    ASSERT_TRUE(waitUntil([&] { return model->wechatLoginMessage() == kExpired; }, std::chrono::seconds(30)));
    EXPECT_EQ(service.count(kLoginStatus), 300u);
}

TEST_F(WechatLoginTest, OnlyAnExactApprovalWithATokenSignsIn) {
    showCode();
    service.then(kLoginStatus, ScriptedReply::json(200, std::string(R"({"status":"Approved","accessToken":"x"})")));
    service.then(kLoginStatus, ScriptedReply::json(200, std::string(R"({"status":"approved"})")));
    service.then(kLoginStatus, ScriptedReply::json(500, std::string(R"({"status":"approved","accessToken":"y"})")));
    service.then(kLoginStatus, ScriptedReply::dropped());
    service.then(kLoginStatus, ScriptedReply::htmlErrorPage(502));
    service.then(kLoginStatus, ScriptedReply::invalidUtf8());
    // Pending, or refused by the service: a token a header cannot carry changes nothing.
    service.then(kLoginStatus, ScriptedReply::json(200, std::string(R"({"status":"pending","accessToken":"p\r\nX: y"})")));
    service.then(kLoginStatus, ScriptedReply::json(300, std::string(R"({"status":"approved","accessToken":"s\r\nX: y"})")));
    service.then(kLoginStatus, approved(QStringLiteral("real")));
    service.always(kAccount, ScriptedReply::json(200, std::string("{}")));
    ASSERT_TRUE(waitUntil([&] { return service.count(kLoginStatus) == 8; }));
    EXPECT_EQ(model->wechatLoginMessage(), kScanPrompt);
    EXPECT_FALSE(model->isWechatLoggedIn());
    ASSERT_TRUE(waitUntil([&] { return !model->showWechatLogin(); }));
    EXPECT_EQ(model->managerAccessToken(), QStringLiteral("real"));
    EXPECT_EQ(service.count(kLoginStatus), 9u);
    ASSERT_EQ(service.count(kAccount), 1u);
    EXPECT_EQ(service.requestsTo(kAccount)[0].header("Authorization"), "Bearer real");
    EXPECT_EQ(model->wechatLoginMessage(), QStringLiteral("微信账户已连接。"));
}

TEST_F(WechatLoginTest, AnApprovalWithATokenThatCannotBeSentEndsThePollAtOnce) {
    // A line break that would add a header of its own, a control character, non-ASCII text.
    // Any success status counts, up to 299.
    const std::vector<std::pair<QString, int>> unusable{
        {QStringLiteral("tok\r\nX-Injected: yes"), 200}, {QStringLiteral("tok\u0007"), 200}, {QStringLiteral("令牌"), 299}};
    for (const auto &[token, status] : unusable) {
        SCOPED_TRACE(token.toStdString());
        const size_t before = service.count(kLoginStatus);
        service.then(kLoginStatus, pending());
        service.then(kLoginStatus, ScriptedReply::json(status, QJsonObject{{QStringLiteral("status"), QStringLiteral("approved")},
                                                                           {QStringLiteral("accessToken"), token}}));
        // Were the poll to go on, this approval would sign in.
        service.always(kLoginStatus, approved(QStringLiteral("real")));
        showCode();
        ASSERT_TRUE(waitUntil([&] { return model->wechatLoginMessage() != kScanPrompt; }));
        settle();
        EXPECT_EQ(service.count(kLoginStatus), before + 2);
        EXPECT_EQ(model->wechatLoginMessage(), QStringLiteral("登录凭证无效，请重新扫码。"));
        EXPECT_TRUE(model->showWechatLogin()) << "the sheet stays open as for an expired code";
        EXPECT_FALSE(model->isWechatLoggedIn());
        EXPECT_FALSE(model->managerAccessToken());
        EXPECT_FALSE(tokenFileExists());
        EXPECT_EQ(service.count(kAccount), 0u);
    }
}

TEST_F(WechatLoginTest, CancelStopsThePollAndClosesTheSheet) {
    service.always(kLoginStatus, pending());
    showCode();
    ASSERT_TRUE(waitUntil([&] { return service.count(kLoginStatus) >= 2; }));
    model->cancelWechatLogin();
    EXPECT_FALSE(model->showWechatLogin());
    EXPECT_FALSE(model->loginPollingTask());
    EXPECT_EQ(model->wechatLoginMessage(), kScanPrompt);
    const size_t polled = service.count(kLoginStatus);
    settle();
    EXPECT_LE(service.count(kLoginStatus), polled + 1); // at most the one already on its way
    const size_t after = service.count(kLoginStatus);
    settle();
    EXPECT_EQ(service.count(kLoginStatus), after);
}

TEST_F(WechatLoginTest, ANewStartReplacesTheOldPoll) {
    service.always(kLoginStatus, pending());
    showCode(QStringLiteral("T1"));
    ASSERT_TRUE(waitUntil([&] { return service.count(kLoginStatus) >= 2; }));
    const std::optional<TaskHandle> first = model->loginPollingTask();

    service.then(kLoginStart, startReply(QStringLiteral("T2"), QStringLiteral("http://127.0.0.1:9/qr/T2")));
    model->startWechatLogin();
    ASSERT_TRUE(waitUntil([&] { return model->wechatAuthorizeURL() == QUrl(QStringLiteral("http://127.0.0.1:9/qr/T2")); }));
    ASSERT_TRUE(first);
    EXPECT_TRUE(first->isCancelled());
    EXPECT_FALSE(model->loginPollingTask()->isCancelled());
    const size_t before = service.count(kLoginStatus);
    ASSERT_TRUE(waitUntil([&] { return service.count(kLoginStatus) >= before + 4; }));
    const auto polls = service.requestsTo(kLoginStatus);
    for (size_t i = before + 1; i < polls.size(); ++i) {
        EXPECT_EQ(bodyOf(polls[i]).value(QStringLiteral("ticket")).toString(), QStringLiteral("T2"));
    }
}

TEST_F(WechatLoginTest, SignOutWhilePollingCancelsThePollButLeavesTheSheetOpen) {
    service.always(kLoginStatus, pending());
    showCode();
    model->signOutWechat();
    EXPECT_TRUE(model->showWechatLogin());
    EXPECT_TRUE(model->loginPollingTask()->isCancelled());
    EXPECT_EQ(model->wechatLoginMessage(), QStringLiteral("已退出微信账号。重新扫码即可恢复名下权益。"));
    const size_t after = service.count(kLoginStatus);
    settle();
    EXPECT_LE(service.count(kLoginStatus), after + 1);
}

TEST_F(WechatLoginTest, SignOutForgetsEverything) {
    const ManagerLicense membership{QStringLiteral("k"), QStringLiteral("全站会员"), QStringLiteral("all_site")};
    signedIn(QStringLiteral("tok"), membership);
    model->setWechatAvatarURL(QStringLiteral("http://127.0.0.1:9/a.png"));
    model->setMemberLibraryMessage(QStringLiteral("可安装 1 款会员插件。"));
    model->setIsWorking(true);
    ASSERT_TRUE(tokenFileExists());

    model->signOutWechat();
    EXPECT_FALSE(model->managerAccessToken());
    EXPECT_FALSE(tokenFileExists());
    EXPECT_FALSE(model->isWechatLoggedIn());
    EXPECT_EQ(model->wechatUserName(), QString());
    EXPECT_EQ(model->wechatAvatarURL(), QString());
    EXPECT_TRUE(model->accountMemberships().isEmpty());
    EXPECT_TRUE(model->accountPurchases().isEmpty());
    EXPECT_FALSE(model->activatedProductKey());
    EXPECT_FALSE(model->activatedProduct());
    EXPECT_EQ(model->activatedProductType(), QStringLiteral("plugin"));
    EXPECT_TRUE(model->memberProducts().isEmpty());
    EXPECT_EQ(model->memberLibraryMessage(), QString());
    EXPECT_TRUE(model->isWorking());                              // untouched
    EXPECT_TRUE(model->selectedMembershipUsesWechatAccount());    // untouched
}

TEST_F(WechatLoginTest, CancellingDuringTheApprovalSyncEndsItSilently) {
    showCode();
    service.always(kLoginStatus, approved(QStringLiteral("tok")));
    service.always(kAccount, ScriptedReply::json(200, std::string("{}")).heldBack());
    ASSERT_TRUE(waitUntil([&] { return service.heldCount() == 1; }));
    model->cancelWechatLogin();
    ASSERT_TRUE(waitUntil([&] { return !model->isRestoringAccount(); }));
    EXPECT_EQ(model->wechatLoginMessage(), QStringLiteral("微信登录成功，正在同步管理器与商城…"));
    service.releaseHeld();
}

TEST_F(WechatLoginTest, SigningOutDuringTheApprovalSyncClosesTheSheet) {
    showCode();
    service.always(kLoginStatus, approved(QStringLiteral("tok")));
    service.always(kAccount, ScriptedReply::json(200, std::string("{}")).heldBack());
    ASSERT_TRUE(waitUntil([&] { return service.heldCount() == 1; }));
    model->signOutWechat();
    EXPECT_TRUE(waitUntil([&] { return !model->showWechatLogin(); }));
    EXPECT_FALSE(model->loginPollingTask());
    EXPECT_FALSE(model->isWechatLoggedIn());
    service.releaseHeld();
}

TEST_F(WechatLoginTest, DestroyingTheModelWhilePollingIsSafe) {
    service.always(kLoginStatus, pending().heldBack());
    showCode();
    ASSERT_TRUE(waitUntil([&] { return service.heldCount() == 1; }));
    model.reset();
    settle();
    service.releaseHeld();
    settle();
    // The poll ended with its model: no further request goes out.
    EXPECT_EQ(service.count(kLoginStatus), 1u);
}

TEST_F(WechatLoginTest, AStartThatEndsInAnExceptionStillFreesTheBusyFlag) {
    service.then(kLoginStart, startReply(QStringLiteral("T1"), QStringLiteral("http://127.0.0.1:9/qr/T1")));
    const auto failed = failOnceWhen(*model, [&] { return model->wechatAuthorizeURL().has_value(); });
    model->startWechatLogin();
    ASSERT_TRUE(waitUntil([&] { return *failed; }));
    EXPECT_FALSE(model->isWorking());
    EXPECT_FALSE(model->showWechatLogin()); // the run ended where it threw

    // So the user can start again.
    showCode(QStringLiteral("T2"));
    EXPECT_EQ(model->wechatAuthorizeURL(), QUrl(QStringLiteral("http://127.0.0.1:9/qr/T2")));
}
