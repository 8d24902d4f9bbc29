// An uninstall that ends in an exception, thrown by a listener of the model as the run
// reports its outcome: the busy flag comes down all the same.
#include "model/PluginManager.h"
#include "support/FailingListener.h"
#include "support/TestWorld.h"
#include "support/Wait.h"

#include <gtest/gtest.h>

using namespace quillon;

TEST(UninstallEndingInAnExceptionTest, TheBusyFlagComesDown) {
    test::TestWorld world;
    PluginManager model(world.environment());
    // Outside every template folder: refused before anything runs, and reported.
    const InstalledPlugin stray{QStringLiteral("效果"), QStringLiteral("Stray"), {world.makeFolder("elsewhere/Stray")}};
    const auto failed = test::failOnceWhen(model, [&] {
        return model.installMessage().startsWith(QStringLiteral("没有完成卸载 Stray"));
    });
    model.deletePlugin(stray);
    EXPECT_TRUE(model.isWorking());
    ASSERT_TRUE(test::waitUntil([&] { return *failed; }));
    EXPECT_FALSE(model.isWorking());
    EXPECT_TRUE(QFileInfo::exists(world.path("elsewhere/Stray")));
}
