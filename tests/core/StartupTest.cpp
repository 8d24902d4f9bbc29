#include "AccountTestSupport.h"

using namespace quillon;
using namespace quillon::test;

namespace {
const std::string kManifest = "/downloads/vrel-plugin-manager-update.json";
const QString kTokenFile = QStringLiteral("home/Library/Application Support/Quillon/manager-session");
} // namespace

class StartupTest : public AccountTest {
protected:
    /// The model as the application starts it.
    void startModel() {
        makeModel();
        model->start();
    }
};

TEST_F(StartupTest, TheConstructorAloneReadsAndStartsNothing) {
    world.writeFile(kTokenFile, "tok-7");
    world.makeFolder(QStringLiteral("system/Library/Application Support/Final Cut Pro/Templates.localized/Titles.localized/Vrel A"));
    makeModel();
    // Each of these is set synchronously by the start-up when it begins its work.
    EXPECT_TRUE(model->allTemplatePlugins().isEmpty());
    EXPECT_FALSE(model->managerAccessToken());
    EXPECT_FALSE(model->isRestoringAccount());
    EXPECT_FALSE(model->isCheckingForUpdate());
    model->start();
    EXPECT_EQ(model->allTemplatePlugins().size(), 1);
    EXPECT_TRUE(model->isRestoringAccount());
    EXPECT_TRUE(model->isCheckingForUpdate());
}

TEST_F(StartupTest, AStoredTokenIsReadBackTrimmedAndRestoresTheAccount) {
    world.writeFile(kTokenFile, "tok-7\n");
    service.always(kAccount, ScriptedReply::json(200, QJsonObject{{QStringLiteral("user"), QJsonObject{{QStringLiteral("nickname"), QStringLiteral("小红")}}}}));
    startModel();
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
        startModel();
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
    startModel();
    ASSERT_TRUE(waitUntil([&] { return service.count(kAccount) == 1 && !model->isRestoringAccount(); }));
    EXPECT_EQ(model->managerAccessToken(), QStringLiteral("tok"));
    EXPECT_FALSE(model->isWechatLoggedIn());
    EXPECT_FALSE(model->hasWechatAccount());
    EXPECT_EQ(model->wechatLoginMessage(), QStringLiteral("稍后再试"));
}

TEST_F(StartupTest, GuidePreviewShowsTheSampleSummaryAndStartsNothing) {
    world.writeFile(kTokenFile, "tok");
    world.isGuidePreview = true;
    startModel();
    const InstallLocationSummary sample = InstallLocationSummary::preview();
    EXPECT_EQ(model->locationSummary(), sample);
    ASSERT_EQ(model->installedPlugins().size(), sample.entries.size());
    for (qsizetype i = 0; i < sample.entries.size(); ++i) {
        EXPECT_EQ(model->installedPlugins()[i].category, rawValue(sample.entries[i].category));
        EXPECT_EQ(model->installedPlugins()[i].name, sample.entries[i].folder);
        EXPECT_TRUE(model->installedPlugins()[i].paths.isEmpty());
    }
    EXPECT_FALSE(model->managerAccessToken());
    EXPECT_FALSE(model->isCheckingForUpdate());
    settle();
    EXPECT_TRUE(service.requestsTo(kAccount).empty());
    EXPECT_TRUE(service.requestsTo(kManifest).empty());
}

TEST_F(StartupTest, GuidePreviewOfOneFailedSingleInstall) {
    world.isGuidePreview = true;
    world.arguments << QStringLiteral("--preview-failure") << QStringLiteral("--preview-single");
    startModel();
    const InstallLocationSummary &summary = model->locationSummary();
    ASSERT_EQ(summary.entries.size(), 1);
    EXPECT_EQ(summary.entries[0].category, FCPLocation::titles);
    ASSERT_EQ(summary.succeeded.size(), 1);
    ASSERT_EQ(summary.failures.size(), 1);
    EXPECT_EQ(summary.failures[0], summary.succeeded[0] + QStringLiteral("：安装未完成，请重试。"));
    EXPECT_FALSE(summary.isBatch);
    EXPECT_FALSE(summary.isBrowsing);
    ASSERT_EQ(model->installedPlugins().size(), 1);
    EXPECT_EQ(model->installedPlugins()[0].category, QStringLiteral("字幕"));
    EXPECT_EQ(model->installedPlugins()[0].name, summary.entries[0].folder);
    EXPECT_TRUE(model->installedPlugins()[0].paths.isEmpty());
}

TEST_F(StartupTest, GuidePreviewFailureAloneKeepsTheFullSample) {
    world.isGuidePreview = true;
    world.arguments << QStringLiteral("--preview-failure");
    startModel();
    InstallLocationSummary expected = InstallLocationSummary::preview();
    EXPECT_EQ(model->locationSummary().entries, expected.entries);
    EXPECT_EQ(model->locationSummary().failures.size(), 1);
}
