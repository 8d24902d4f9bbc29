#include "AccountTestSupport.h"
#include "support/FailingListener.h"
#include "support/LogWatcher.h"

#include <QElapsedTimer>

using namespace quillon;
using namespace quillon::test;

namespace {

const QString kUnreachable = QStringLiteral("微信账户暂时无法连接，可点击“同步”重试。");
const QString kSynced = QStringLiteral("管理器与商城已同步登录。");

ScriptedReply account(const QJsonObject &o) { return ScriptedReply::json(200, o); }

} // namespace

class AccountSyncTest : public AccountTest {
protected:
    void SetUp() override {
        makeModel();
        model->setManagerAccessToken(QStringLiteral("tok"));
        model->sessionStore().saveManagerToken(QStringLiteral("tok"));
        service.always(kLibrary, ScriptedReply::json(200, library(1)));
    }

    void sync() {
        model->refreshWechatAccount();
        ASSERT_TRUE(waitUntil([&] { return !model->isRestoringAccount() && service.count(kAccount) > 0; }));
        settle(std::chrono::milliseconds(30));
        ASSERT_FALSE(model->isRestoringAccount());
    }
};

TEST_F(AccountSyncTest, ASuccessfulReplySignsInAndLoadsTheChosenLibrary) {
    service.always(kAccount, account({{QStringLiteral("authenticated"), false},
                                      {QStringLiteral("user"), QJsonObject{{QStringLiteral("nickname"), QStringLiteral("阿花")},
                                                                           {QStringLiteral("avatarUrl"), QStringLiteral("http://127.0.0.1:9/a")}}},
                                      {QStringLiteral("memberships"),
                                       QJsonArray{license(QStringLiteral("single"), QStringLiteral("单品"), QStringLiteral("plugin")),
                                                  license(QStringLiteral("fcp-template-membership"), QStringLiteral("模板会员")),
                                                  license(QStringLiteral("single"), QStringLiteral("单品重复"))}}}));
    model->refreshWechatAccount();
    EXPECT_EQ(model->wechatLoginMessage(), QStringLiteral("正在重新同步微信账户与会员权益…"));
    ASSERT_TRUE(waitUntil([&] { return model->memberLibraryMessage() == QStringLiteral("可安装 1 款模板。"); }));
    ASSERT_TRUE(waitUntil([&] { return !model->isRestoringAccount(); }));

    EXPECT_TRUE(model->isWechatLoggedIn()); // authenticated false plays no part
    EXPECT_EQ(model->wechatUserName(), QStringLiteral("阿花"));
    EXPECT_EQ(model->wechatAvatarURL(), QStringLiteral("http://127.0.0.1:9/a"));
    ASSERT_EQ(model->accountPurchases().size(), 2);
    EXPECT_EQ(model->accountPurchases()[0].productName, QStringLiteral("单品"));
    ASSERT_EQ(model->accountMemberships().size(), 1);
    EXPECT_EQ(model->activatedProductKey(), QStringLiteral("fcp-template-membership"));
    EXPECT_EQ(model->activatedProduct(), QStringLiteral("模板会员"));
    EXPECT_EQ(model->activatedProductType(), QStringLiteral("fcp_templates"));
    EXPECT_TRUE(model->selectedMembershipUsesWechatAccount());
    EXPECT_EQ(model->wechatLoginMessage(), kSynced);
    EXPECT_EQ(model->statusMessage(), kSynced);

    const auto requests = service.requestsTo(kAccount);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].header("Authorization"), "Bearer tok");
    const QJsonObject body = bodyOf(requests[0]);
    EXPECT_EQ(body.size(), 2);
    EXPECT_EQ(body.value(QStringLiteral("deviceId")).toString(), model->deviceIdentifier());
    EXPECT_EQ(body.value(QStringLiteral("deviceName")).toString(), model->deviceName());
}

TEST_F(AccountSyncTest, TheCurrentMembershipStaysChosenWhileTheAccountHasIt) {
    const QJsonArray two{license(QStringLiteral("a"), QStringLiteral("全站会员")),
                         license(QStringLiteral("b"), QStringLiteral("全插件会员"))};
    service.always(kAccount, account({{QStringLiteral("memberships"), two}}));
    model->setActivatedProductKey(QStringLiteral("b"));
    sync();
    EXPECT_EQ(model->activatedProductKey(), QStringLiteral("b"));
    EXPECT_EQ(model->activatedProductType(), QStringLiteral("all_plugins"));

    model->setActivatedProductKey(QStringLiteral("gone"));
    sync();
    EXPECT_EQ(model->activatedProductKey(), QStringLiteral("a"));
    EXPECT_EQ(model->activatedProductType(), QStringLiteral("all_site"));
}

TEST_F(AccountSyncTest, ASingleMembershipIsChosenEvenWithAnEmptyList) {
    service.always(kAccount, account({{QStringLiteral("memberships"), QJsonArray{}},
                                      {QStringLiteral("membership"), license(QStringLiteral("s"), QStringLiteral("单品"), QStringLiteral("Plugin_X"))}}));
    sync();
    EXPECT_TRUE(model->accountPurchases().isEmpty());
    EXPECT_TRUE(model->accountMemberships().isEmpty());
    EXPECT_EQ(model->activatedProductKey(), QStringLiteral("s"));
    EXPECT_EQ(model->activatedProductType(), QStringLiteral("Plugin_X"));
    EXPECT_EQ(model->wechatLoginMessage(), kSynced);
    EXPECT_EQ(service.count(kLibrary), 0u); // not a member-library membership

    service.always(kAccount, account({{QStringLiteral("membership"), license(QStringLiteral("t"), QStringLiteral("Tovel会员"))}}));
    sync();
    EXPECT_EQ(model->accountPurchases().size(), 1);
    EXPECT_EQ(model->accountMemberships().size(), 1);
    EXPECT_EQ(model->activatedProductType(), QStringLiteral("tovel_subtitles"));
}

TEST_F(AccountSyncTest, AnAccountWithoutMembershipsClearsTheLibrary) {
    model->setActivatedProductKey(QStringLiteral("old"));
    model->setActivatedProduct(QStringLiteral("旧"));
    model->setActivatedProductType(QStringLiteral("all_site"));
    model->setMemberProducts({MemberProduct{}});
    service.always(kAccount, account({}));
    sync();
    EXPECT_TRUE(model->isWechatLoggedIn());
    EXPECT_EQ(model->wechatUserName(), QStringLiteral("Vrel 用户"));
    EXPECT_EQ(model->wechatLoginMessage(), QStringLiteral("微信账户已连接。"));
    EXPECT_FALSE(model->activatedProductKey());
    EXPECT_FALSE(model->activatedProduct());
    EXPECT_EQ(model->activatedProductType(), QStringLiteral("plugin"));
    EXPECT_TRUE(model->memberProducts().isEmpty());
}

TEST_F(AccountSyncTest, ConnectionFailuresAreRetriedThreeTimesThenReported) {
    for (const ScriptedReply &failure : {ScriptedReply::dropped(), ScriptedReply::htmlErrorPage(502), ScriptedReply::invalidUtf8(),
                                         ScriptedReply::json(200, std::string(R"({"memberships":[{"productKey":"x"}]})"))}) {
        const size_t before = service.count(kAccount);
        service.always(kAccount, failure);
        model->setWechatUserName(QStringLiteral("保持"));
        sync();
        EXPECT_EQ(service.count(kAccount), before + 3);
        EXPECT_EQ(model->wechatLoginMessage(), kUnreachable);
        EXPECT_FALSE(model->isWechatLoggedIn());
        EXPECT_EQ(model->wechatUserName(), QStringLiteral("保持"));
        EXPECT_EQ(model->managerAccessToken(), QStringLiteral("tok"));
    }
}

TEST_F(AccountSyncTest, ARetryThatSucceedsEndsTheFailures) {
    service.then(kAccount, ScriptedReply::dropped());
    service.then(kAccount, ScriptedReply::htmlErrorPage(504));
    service.always(kAccount, account({}));
    sync();
    EXPECT_EQ(service.count(kAccount), 3u);
    EXPECT_TRUE(model->isWechatLoggedIn());
}

TEST_F(AccountSyncTest, Status401SignsOutButKeepsTheShownAccount) {
    const ManagerLicense membership{QStringLiteral("k"), QStringLiteral("全站会员"), QStringLiteral("all_site")};
    signedIn(QStringLiteral("tok"), membership);
    service.always(kAccount, ScriptedReply::json(401, std::string(R"({"error":"登录已失效"})")));
    sync();
    EXPECT_EQ(service.count(kAccount), 1u);
    EXPECT_FALSE(model->managerAccessToken());
    EXPECT_FALSE(tokenFileExists());
    EXPECT_FALSE(model->isWechatLoggedIn());
    EXPECT_TRUE(model->accountPurchases().isEmpty());
    EXPECT_TRUE(model->accountMemberships().isEmpty());
    EXPECT_EQ(model->wechatLoginMessage(), QStringLiteral("登录已失效"));
    EXPECT_EQ(model->wechatUserName(), QStringLiteral("小明"));
    EXPECT_EQ(model->activatedProductKey(), QStringLiteral("k"));

    model->setManagerAccessToken(QStringLiteral("tok2"));
    service.always(kAccount, ScriptedReply::json(401, std::string("{}")));
    sync();
    EXPECT_EQ(model->wechatLoginMessage(), QStringLiteral("微信账户权益读取失败。"));
}

TEST_F(AccountSyncTest, OtherErrorStatusesChangeOnlyTheMessage) {
    const ManagerLicense membership{QStringLiteral("k"), QStringLiteral("全站会员"), QStringLiteral("all_site")};
    signedIn(QStringLiteral("tok"), membership);
    service.always(kAccount, ScriptedReply::json(503, std::string(R"({"error":"维护中","message":"不显示"})")));
    sync();
    EXPECT_EQ(model->wechatLoginMessage(), QStringLiteral("维护中"));
    EXPECT_TRUE(model->isWechatLoggedIn());
    EXPECT_EQ(model->managerAccessToken(), QStringLiteral("tok"));
    EXPECT_TRUE(tokenFileExists());
    EXPECT_EQ(model->accountPurchases().size(), 1);

    service.always(kAccount, ScriptedReply::json(500, std::string("{}")));
    sync();
    EXPECT_EQ(model->wechatLoginMessage(), QStringLiteral("微信账户权益读取失败。"));
    EXPECT_EQ(service.count(kAccount), 2u);
}

TEST_F(AccountSyncTest, WithoutATokenTheSyncButtonOnlyAsksToSignIn) {
    model->setManagerAccessToken(std::nullopt);
    model->refreshWechatAccount();
    EXPECT_EQ(model->wechatLoginMessage(), QStringLiteral("请先使用微信扫码登录。"));
    settle();
    EXPECT_EQ(service.count(kAccount), 0u);
    EXPECT_FALSE(model->isRestoringAccount());
}

TEST_F(AccountSyncTest, ACancelledSyncEndsSilently) {
    service.always(kAccount, account({}).heldBack());
    TaskHandle handle;
    model->restoreWechatAccount(handle.token());
    EXPECT_TRUE(model->isRestoringAccount());
    ASSERT_TRUE(waitUntil([&] { return service.heldCount() == 1; }));
    const QString before = model->wechatLoginMessage();
    handle.cancel();
    ASSERT_TRUE(waitUntil([&] { return !model->isRestoringAccount(); }));
    EXPECT_EQ(model->wechatLoginMessage(), before);
    EXPECT_FALSE(model->isWechatLoggedIn());
    service.releaseHeld();
    settle();
    EXPECT_FALSE(model->isWechatLoggedIn());
    EXPECT_EQ(service.count(kAccount), 1u);
}

TEST_F(AccountSyncTest, CancellingDuringTheRetryWaitEndsSilently) {
    model->sessionStore().deleteManagerToken(); // no start-up sync in the new model
    model.reset();
    world.timing.accountRetryDelay = std::chrono::seconds(30);
    makeModel();
    model->setManagerAccessToken(QStringLiteral("tok"));
    service.always(kAccount, ScriptedReply::dropped());
    TaskHandle handle;
    model->restoreWechatAccount(handle.token());
    ASSERT_TRUE(waitUntil([&] { return service.count(kAccount) == 1; }));
    settle(std::chrono::milliseconds(50));
    handle.cancel();
    ASSERT_TRUE(waitUntil([&] { return !model->isRestoringAccount(); }, std::chrono::seconds(2)));
    EXPECT_EQ(service.count(kAccount), 1u);
    EXPECT_NE(model->wechatLoginMessage(), kUnreachable);
}

// A sync still in flight when the user signs out must not sign them back in.
TEST_F(AccountSyncTest, ALateReplyAfterSignOutChangesNothing) {
    service.always(kAccount, account({{QStringLiteral("user"), QJsonObject{{QStringLiteral("nickname"), QStringLiteral("小明")}}},
                                      {QStringLiteral("memberships"), QJsonArray{license(QStringLiteral("a"), QStringLiteral("全站会员"))}}})
                                 .heldBack());
    model->refreshWechatAccount();
    ASSERT_TRUE(waitUntil([&] { return service.heldCount() == 1; }));
    model->signOutWechat();
    service.releaseHeld();
    ASSERT_TRUE(waitUntil([&] { return !model->isRestoringAccount(); }));
    settle();
    EXPECT_FALSE(model->isWechatLoggedIn());
    EXPECT_FALSE(model->managerAccessToken());
    EXPECT_EQ(model->wechatUserName(), QString());
    EXPECT_TRUE(model->accountPurchases().isEmpty());
    EXPECT_TRUE(model->accountMemberships().isEmpty());
    EXPECT_FALSE(model->activatedProductKey());
    EXPECT_TRUE(model->memberProducts().isEmpty());
    EXPECT_EQ(model->wechatLoginMessage(), QStringLiteral("已退出微信账号。重新扫码即可恢复名下权益。"));
    EXPECT_EQ(service.count(kLibrary), 0u);
}

// A stale 401 for the old token must not throw away the token of a newer sign-in.
TEST_F(AccountSyncTest, ALate401ForAnOldTokenKeepsTheNewSignIn) {
    service.always(kAccount, ScriptedReply::json(401, std::string(R"({"error":"旧的"})")).heldBack());
    model->refreshWechatAccount();
    ASSERT_TRUE(waitUntil([&] { return service.heldCount() == 1; }));
    model->signOutWechat();
    model->setManagerAccessToken(QStringLiteral("new"));
    model->sessionStore().saveManagerToken(QStringLiteral("new"));
    model->setIsWechatLoggedIn(true);
    service.releaseHeld();
    ASSERT_TRUE(waitUntil([&] { return !model->isRestoringAccount(); }));
    settle();
    EXPECT_EQ(model->managerAccessToken(), QStringLiteral("new"));
    EXPECT_EQ(model->sessionStore().readManagerToken(), QStringLiteral("new"));
    EXPECT_TRUE(model->isWechatLoggedIn());
    EXPECT_NE(model->wechatLoginMessage(), QStringLiteral("旧的"));
}

TEST_F(AccountSyncTest, ThreeFailuresWaitTwiceTheRetryDelay) {
    model->sessionStore().deleteManagerToken(); // no start-up sync in the new model
    model.reset();
    world.timing.accountRetryDelay = std::chrono::milliseconds(150);
    makeModel();
    model->setManagerAccessToken(QStringLiteral("tok"));
    service.always(kAccount, ScriptedReply::dropped());
    QElapsedTimer clock;
    clock.start();
    sync();
    EXPECT_GE(clock.elapsed(), 300);
    EXPECT_EQ(model->wechatLoginMessage(), kUnreachable);
}

TEST_F(AccountSyncTest, SignOutDuringTheRetryWaitSendsNoFurtherAttempt) {
    model->sessionStore().deleteManagerToken(); // no start-up sync in the new model
    model.reset();
    world.timing.accountRetryDelay = std::chrono::milliseconds(300);
    makeModel();
    model->setManagerAccessToken(QStringLiteral("tok"));
    service.always(kAccount, ScriptedReply::dropped());
    model->refreshWechatAccount();
    ASSERT_TRUE(waitUntil([&] { return service.count(kAccount) == 1; }));
    model->signOutWechat();
    ASSERT_TRUE(waitUntil([&] { return !model->isRestoringAccount(); }));
    settle(std::chrono::milliseconds(500));
    EXPECT_EQ(service.count(kAccount), 1u);
    EXPECT_EQ(model->wechatLoginMessage(), QStringLiteral("已退出微信账号。重新扫码即可恢复名下权益。"));
}

TEST_F(AccountSyncTest, ASyncThatEndsInAnExceptionStillLowersItsFlag) {
    service.always(kAccount, account({{QStringLiteral("user"), QJsonObject{{QStringLiteral("nickname"), QStringLiteral("阿花")}}}}));
    const auto failed = failOnceWhen(*model, [&] { return model->isWechatLoggedIn(); });
    model->refreshWechatAccount();
    ASSERT_TRUE(waitUntil([&] { return *failed; }));
    EXPECT_FALSE(model->isRestoringAccount());
    EXPECT_EQ(model->wechatUserName(), QString()); // the run ended where it threw
    sync();
    EXPECT_EQ(model->wechatUserName(), QStringLiteral("阿花"));
}

TEST_F(AccountSyncTest, ASyncWhoseModelWentAwayLeavesItAlone) {
    service.always(kAccount, account({}).heldBack());
    model->refreshWechatAccount();
    ASSERT_TRUE(waitUntil([&] { return service.heldCount() == 1; }));
    EXPECT_TRUE(model->isRestoringAccount());
    LogWatcher log;
    model.reset(); // its network goes with it: the request ends as cancelled
    EXPECT_TRUE(waitUntil([&] { return log.saw("account sync attempt 1 failed"); }));
    service.releaseHeld();
}
