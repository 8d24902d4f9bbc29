#include "model/PluginManager.h"
#include "records/AppVersion.h"
#include "support/LocalHttpServer.h"
#include "support/TestWorld.h"
#include "support/Wait.h"

#include <gtest/gtest.h>

#include <atomic>

using namespace quillon;
using namespace std::chrono_literals;

class UpdateCheckTest : public ::testing::Test {
protected:
    void SetUp() override {
        server.http().Get("/downloads/vrel-plugin-manager-update.json",
                          [this](const httplib::Request &, httplib::Response &res) {
                              if (delay.count() > 0) {
                                  std::this_thread::sleep_for(delay);
                              }
                              res.status = status;
                              res.set_content(body, "application/json");
                          });
        server.start();
    }

    /// A model started as the application starts it (which begins a silent check).
    std::unique_ptr<PluginManager> model() {
        auto m = std::make_unique<PluginManager>(world.environment(server.baseUrl()));
        m->start();
        return m;
    }

    size_t manifestRequests() const { return server.requestsTo("/downloads/vrel-plugin-manager-update.json").size(); }

    test::TestWorld world;
    test::LocalHttpServer server;
    int status = 200;
    std::string body = R"({"version":"99.0","url":"https://example.invalid/q.zip"})";
    std::chrono::milliseconds delay{0};
};

TEST_F(UpdateCheckTest, StartUpChecksSilentlyAndTellsOnlyOfANewerVersion) {
    auto m = model();
    EXPECT_TRUE(m->isCheckingForUpdate());
    EXPECT_EQ(m->updateMessage(), QString());
    ASSERT_TRUE(test::waitUntil([&] { return !m->isCheckingForUpdate(); }));
    ASSERT_TRUE(m->latestUpdateManifest());
    EXPECT_EQ(m->availableUpdate(), m->latestUpdateManifest());
    EXPECT_TRUE(m->updateMessage().startsWith(QStringLiteral("发现新版本 99.0")));
    EXPECT_EQ(manifestRequests(), 1u);

    body = R"({"version":")" + AppVersion::current().toStdString() + R"("})";
    auto same = model();
    ASSERT_TRUE(test::waitUntil([&] { return !same->isCheckingForUpdate(); }));
    EXPECT_TRUE(same->latestUpdateManifest());
    EXPECT_FALSE(same->availableUpdate());
    EXPECT_EQ(same->updateMessage(), QString());
}

TEST_F(UpdateCheckTest, AVisibleCheckComparesTheManifestsVersionWithThisBuild) {
    const std::string current = AppVersion::current().toStdString();
    const QString upToDate = QStringLiteral("已是最新版本（%1）。").arg(AppVersion::current());
    const QString failed = QStringLiteral("暂时无法检查更新，请稍后重试。");
    const struct {
        std::string body;
        bool available;
        QString message;
    } cases[] = {
        {R"({"version":")" + current + R"(.1"})", true,
         QStringLiteral("发现新版本 %1.1（当前 %1）。").arg(AppVersion::current())},
        {R"({"version":" )" + current + R"(.0 "})", false, upToDate},
        {R"({"version":"0.9"})", false, upToDate},
        {R"({"version":379})", false, failed},
        {R"({"url":"https://example.invalid/q.zip"})", false, failed},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.body);
        body = c.body;
        auto m = model();
        ASSERT_TRUE(test::waitUntil([&] { return !m->isCheckingForUpdate(); }));
        m->checkForManagerUpdate(false);
        ASSERT_TRUE(test::waitUntil([&] { return !m->isCheckingForUpdate(); }));
        EXPECT_EQ(m->availableUpdate().has_value(), c.available);
        EXPECT_EQ(m->updateMessage(), c.message);
    }
}

TEST_F(UpdateCheckTest, AVisibleCheckSaysSoAndReportsAFailure) {
    status = 503;
    auto m = model();
    ASSERT_TRUE(test::waitUntil([&] { return !m->isCheckingForUpdate(); }));
    m->checkForManagerUpdate(false);
    EXPECT_EQ(m->updateMessage(), QStringLiteral("正在检查更新…"));
    ASSERT_TRUE(test::waitUntil([&] { return !m->isCheckingForUpdate(); }));
    EXPECT_FALSE(m->latestUpdateManifest());
    EXPECT_NE(m->updateMessage(), QStringLiteral("正在检查更新…"));
    EXPECT_FALSE(m->updateMessage().isEmpty());
}

TEST_F(UpdateCheckTest, AReplyThatIsNotAJsonObjectKeepsNoManifest) {
    body = "<html>gateway</html>";
    auto m = model();
    ASSERT_TRUE(test::waitUntil([&] { return !m->isCheckingForUpdate(); }));
    EXPECT_FALSE(m->latestUpdateManifest());
}

TEST_F(UpdateCheckTest, DoesNothingWhileACheckOrAnUpdateInstallRuns) {
    delay = 200ms;
    auto m = model(); // the start-up check is running
    m->checkForManagerUpdate(false);
    EXPECT_EQ(m->updateMessage(), QString());
    ASSERT_TRUE(test::waitUntil([&] { return !m->isCheckingForUpdate(); }));
    EXPECT_EQ(manifestRequests(), 1u);

    const QString outcome = m->updateMessage();
    m->setIsInstallingUpdate(true);
    m->checkForManagerUpdate(false);
    EXPECT_FALSE(m->isCheckingForUpdate());
    EXPECT_EQ(m->updateMessage(), outcome);
}

