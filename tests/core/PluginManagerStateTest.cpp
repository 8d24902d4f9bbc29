#include "install/ActivationInstallQueue.h"
#include "install/BatchInstallRun.h"
#include "model/PluginManager.h"
#include "support/TestWorld.h"
#include "support/Wait.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace quillon;

namespace {

std::unique_ptr<PluginManager> makeModel(test::TestWorld &world) {
    return std::make_unique<PluginManager>(world.environment());
}

} // namespace

TEST(PluginManagerState, EveryPropertyStartsAtItsDefault) {
    test::TestWorld world;
    auto m = makeModel(world);
    EXPECT_FALSE(m->activationInstallRunning());
    EXPECT_FALSE(m->activationInstallFinished());
    EXPECT_EQ(m->activationInstallResults(), QString());
    EXPECT_TRUE(m->activationInstallQueue().items().isEmpty());
    EXPECT_FALSE(m->activationInstallQueue().running());
    EXPECT_FALSE(m->statusMessage().isEmpty());
    EXPECT_FALSE(m->isWorking());
    EXPECT_FALSE(m->activatedProductKey());
    EXPECT_FALSE(m->activatedProduct());
    EXPECT_EQ(m->activatedProductType(), QStringLiteral("plugin"));
    EXPECT_EQ(m->installMessage(), QString());
    EXPECT_FALSE(m->showLocationGuide());
    EXPECT_EQ(m->locationSummary(), InstallLocationSummary());
    EXPECT_FALSE(m->collectingLocations());
    EXPECT_FALSE(m->showInstallSuccess());
    EXPECT_EQ(m->deliverySuccessTitle(), QStringLiteral("安装成功"));
    EXPECT_EQ(m->lastInstalledProduct(), QStringLiteral("插件"));
    EXPECT_EQ(m->lastDeliveryMessage(), QString());
    EXPECT_FALSE(m->netdiskDelivery());
    EXPECT_FALSE(m->showNetdiskDelivery());
    EXPECT_FALSE(m->showContact());
    EXPECT_TRUE(m->installedPlugins().isEmpty());
    EXPECT_TRUE(m->memberProducts().isEmpty());
    EXPECT_TRUE(m->accountMemberships().isEmpty());
    EXPECT_TRUE(m->accountPurchases().isEmpty());
    EXPECT_FALSE(m->isRestoringAccount());
    EXPECT_EQ(m->memberLibraryMessage(), QString());
    EXPECT_TRUE(m->claimedPartnerActivationCodes().isEmpty());
    EXPECT_FALSE(m->installingProductKey());
    EXPECT_FALSE(m->isBatchInstalling());
    EXPECT_FALSE(m->isBatchInstallPaused());
    EXPECT_FALSE(m->canControlBatchInstall());
    EXPECT_EQ(m->batchInstallTotal(), 0);
    EXPECT_EQ(m->batchInstallCompleted(), 0);
    EXPECT_EQ(m->batchInstallProgress(), 0.0);
    EXPECT_EQ(m->batchInstallStatus(), QString());
    EXPECT_FALSE(m->showsSingleInstallProgress());
    EXPECT_EQ(m->singleInstallProgress(), 0.0);
    EXPECT_EQ(m->singleInstallStage(), QString());
    EXPECT_FALSE(m->singleInstallShowsPercent());
    EXPECT_FALSE(m->singleInstallCompleted());
    EXPECT_FALSE(m->pluginToDelete());
    EXPECT_FALSE(m->showPluginDeleteConfirmation());
    EXPECT_FALSE(m->availableUpdate());
    EXPECT_FALSE(m->latestUpdateManifest());
    EXPECT_FALSE(m->isInstallingUpdate());
    EXPECT_FALSE(m->showUpdateConfirmation());
    EXPECT_FALSE(m->isRepairingMotionRuntime());
    EXPECT_EQ(m->motionRepairMessage(), QString());
    EXPECT_FALSE(m->isWechatLoggedIn());
    EXPECT_EQ(m->wechatUserName(), QString());
    EXPECT_EQ(m->wechatAvatarURL(), QString());
    EXPECT_EQ(m->wechatLoginMessage(), QStringLiteral("微信扫码登录后，自动读取会员权益。"));
    EXPECT_FALSE(m->wechatAuthorizeURL());
    EXPECT_FALSE(m->showWechatLogin());
    EXPECT_FALSE(m->managerAccessToken());
    EXPECT_FALSE(m->loginPollingTask());
    EXPECT_FALSE(m->batchInstallTask());
    EXPECT_TRUE(m->packageCleanupTasks().empty());
    EXPECT_EQ(m->singleInstallProgressCycle(), 0);
    EXPECT_TRUE(m->allTemplatePlugins().isEmpty());
    EXPECT_FALSE(m->selectedMembershipUsesWechatAccount());
}

TEST(PluginManagerState, PublishesOnlyRealChangesOfPublishedProperties) {
    test::TestWorld world;
    auto m = makeModel(world);
    QSignalSpy spy(m.get(), &PluginManager::changed);

    m->setInstallMessage(QStringLiteral("正在安装"));
    m->setInstallMessage(QStringLiteral("正在安装"));
    EXPECT_EQ(spy.count(), 1);

    m->setBatchInstallProgress(0.5);
    m->setBatchInstallProgress(0.5);
    EXPECT_EQ(spy.count(), 2);

    m->setActivatedProductKey(QStringLiteral("all_plugins"));
    m->setActivatedProductKey(std::optional<QString>(QStringLiteral("all_plugins")));
    m->setActivatedProductKey(std::nullopt);
    EXPECT_EQ(spy.count(), 4);

    InstallLocationSummary summary;
    summary.succeeded = {QStringLiteral("Vrel 光效")};
    m->setLocationSummary(summary);
    m->setLocationSummary(summary);
    EXPECT_EQ(spy.count(), 5);

    // Plain state changes silently.
    m->setManagerAccessToken(QStringLiteral("token"));
    m->setCollectingLocations(true);
    m->setSingleInstallProgressCycle(3);
    m->setSelectedMembershipUsesWechatAccount(true);
    EXPECT_EQ(spy.count(), 5);
}

TEST(PluginManagerState, HasWechatAccountNeedsBothTheSignInAndAToken) {
    test::TestWorld world;
    auto m = makeModel(world);
    EXPECT_FALSE(m->hasWechatAccount());
    m->setIsWechatLoggedIn(true);
    EXPECT_FALSE(m->hasWechatAccount());
    m->setManagerAccessToken(QString()); // an empty token is still a token
    EXPECT_TRUE(m->hasWechatAccount());
    m->setIsWechatLoggedIn(false);
    EXPECT_FALSE(m->hasWechatAccount());
}

TEST(PluginManagerState, TeardownCancelsPollingThenBatchThenEveryCleanup) {
    test::TestWorld world;
    auto m = makeModel(world);
    std::vector<std::string> order;
    using Callback = std::stop_callback<std::function<void()>>;
    std::vector<std::unique_ptr<Callback>> callbacks;
    auto watch = [&](const TaskHandle &handle, std::string name) {
        callbacks.push_back(std::make_unique<Callback>(handle.token(), std::function<void()>([&order, name] {
                                                           order.push_back(name);
                                                       })));
    };
    TaskHandle polling, cleanupA, cleanupB;
    const TaskHandle batch = *m->batchInstallRun().begin();
    watch(polling, "polling");
    watch(batch, "batch");
    watch(cleanupA, "cleanup");
    watch(cleanupB, "cleanup");
    m->setLoginPollingTask(polling);
    m->packageCleanupTasks().emplace(QStringLiteral("/a.pkg"), cleanupA);
    m->packageCleanupTasks().emplace(QStringLiteral("/b.pkg"), cleanupB);

    m.reset();
    EXPECT_EQ(order, (std::vector<std::string>{"polling", "batch", "cleanup", "cleanup"}));
    EXPECT_TRUE(cleanupA.isCancelled());
    EXPECT_TRUE(cleanupB.isCancelled());
}

