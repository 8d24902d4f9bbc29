#include "AccountTestSupport.h"

using namespace quillon;
using namespace quillon::test;

namespace {
const std::string kManifest = "/downloads/vrel-plugin-manager-update.json";
const QString kTokenFile = QStringLiteral("home/Library/Application Support/Quillon/manager-session");
} // namespace

class StartupTest : public AccountTest {};

TEST_F(StartupTest, AStoredTokenIsReadBackTrimmedAndRestoresTheAccount) {
    world.writeFile(kTokenFile, "tok-7\n");
    service.always(kAccount, ScriptedReply::json(200, QJsonObject{{QStringLiteral("user"), QJsonObject{{QStringLiteral("nickname"), QStringLiteral("小红")}}}}));
    makeModel();
    EXPECT_EQ(model->managerAccessToken(), QStringLiteral("tok-7"));
    EXPECT_FALSE(model->isWechatLoggedIn()); // the restore task decides
    EXPECT_TRUE(model->isRestoringAccount());
    ASSERT_TRUE(waitUntil([&] { return model->isWechatLoggedIn() && !model->isRestoringAccount(); }));
    EXPECT_EQ(model->wechatUserName(), QStringLiteral("小红"));
    ASSERT_EQ(service.count(kAccount), 1u);
    EXPECT_EQ(service.requestsTo(kAccount)[0].header("Authorization"), "Bearer tok-7");
    ASSERT_TRUE(waitUntil([&] { return service.count(kManifest) == 1; })); // the silent update check
    EXPECT_EQ(model->updateMessage(), QString());
}

TEST_F(StartupTest, ABlankOrUnreadableTokenFileLeavesTheModelSignedOut) {
    for (const QByteArray &contents : {QByteArray(" \n\r\n"), QByteArray(""), QByteArray("\xff\xfe")}) {
        world.writeFile(kTokenFile, contents);
        makeModel();
        EXPECT_FALSE(model->managerAccessToken());
        EXPECT_FALSE(model->isRestoringAccount());
        ASSERT_TRUE(waitUntil([&] { return !model->isCheckingForUpdate(); }));
        settle(std::chrono::milliseconds(50));
        EXPECT_EQ(service.count(kAccount), 0u);
        model.reset();
    }
}

TEST_F(StartupTest, A503AtStartKeepsTheTokenWithoutShowingTheAccount) {
    world.writeFile(kTokenFile, "tok");
    service.always(kAccount, ScriptedReply::json(503, std::string(R"({"error":"稍后再试"})")));
    makeModel();
    ASSERT_TRUE(waitUntil([&] { return service.count(kAccount) == 1 && !model->isRestoringAccount(); }));
    EXPECT_EQ(model->managerAccessToken(), QStringLiteral("tok"));
    EXPECT_FALSE(model->isWechatLoggedIn());
    EXPECT_FALSE(model->hasWechatAccount());
    EXPECT_EQ(model->wechatLoginMessage(), QStringLiteral("稍后再试"));
}
