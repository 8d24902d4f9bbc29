#include "install/BatchInstallRun.h"
#include "model/PluginManager.h"
#include "support/TestWorld.h"
#include "support/Wait.h"
#include "ui/BatchInstallBar.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include <gtest/gtest.h>

using namespace quillon;

TEST(BatchInstallBar, OffersInstallAllWhenPossibleAndThePausableRunsControls) {
    test::TestWorld world;
    world.alerts->answers = {1}; // the confirmation is declined
    PluginManager model(world.environment());
    BatchInstallBar bar(model);
    auto shows = [&](bool install, bool controls, bool line) {
        return test::waitUntil([&] {
            return bar.installAllButton()->isEnabled() == install && !bar.pauseButton()->isHidden() == controls &&
                   !bar.progress()->isHidden() == line;
        });
    };
    EXPECT_TRUE(shows(false, false, false));

    model.setIsWechatLoggedIn(true);
    model.setManagerAccessToken(QStringLiteral("t"));
    model.setActivatedProductType(QStringLiteral("all_plugins"));
    MemberProduct product;
    product.productKey = product.productName = product.productType = QStringLiteral("plugin");
    model.setMemberProducts({product});
    EXPECT_TRUE(shows(true, false, false));
    bar.installAllButton()->click();
    EXPECT_EQ(world.alerts->shown.size(), 1);

    model.setIsWorking(true);
    model.batchInstallRun().begin();
    model.setBatchInstallStatus(QStringLiteral("正在下载"));
    model.setBatchInstallProgress(0.4);
    ASSERT_TRUE(shows(false, true, true));
    EXPECT_EQ(bar.status()->text(), "正在下载");
    EXPECT_EQ(bar.progress()->value(), 400);
    bar.pauseButton()->click();
    EXPECT_TRUE(model.isBatchInstallPaused());
    EXPECT_TRUE(test::waitUntil([&] { return bar.pauseButton()->text() == "继续"; }));

    model.batchInstallRun().beginInstalling();
    EXPECT_TRUE(test::waitUntil([&] { return !bar.pauseButton()->isEnabled() && !bar.stopButton()->isEnabled(); }));
    bar.stopButton()->click();
    EXPECT_FALSE(model.batchInstallTask()->isCancelled()) << "the installer phase cannot be stopped";
}
