#include "core/PluginManager.h"
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
    std::string body = R"({"version":"3.8.0","url":"https://example.invalid/q.zip"})";
    std::chrono::milliseconds delay{0};
};

TEST_F(UpdateCheckTest, StartUpChecksSilentlyAndKeepsTheManifest) {
    auto m = model();
    EXPECT_TRUE(m->isCheckingForUpdate());
    EXPECT_EQ(m->updateMessage(), QString());
    ASSERT_TRUE(test::waitUntil([&] { return !m->isCheckingForUpdate(); }));
    ASSERT_TRUE(m->latestUpdateManifest());
    EXPECT_EQ(m->latestUpdateManifest()->json.value(QStringLiteral("version")).toString(), QStringLiteral("3.8.0"));
    EXPECT_EQ(m->updateMessage(), QString());
    EXPECT_EQ(manifestRequests(), 1u);
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

    m->setIsInstallingUpdate(true);
    m->checkForManagerUpdate(false);
    EXPECT_FALSE(m->isCheckingForUpdate());
    EXPECT_EQ(m->updateMessage(), QString());
}

