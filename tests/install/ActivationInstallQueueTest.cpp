// The install queue against the local service and real packages: one prompt for every
// collected package, a result line per item, and nothing left behind.
#include "InstallRunFixture.h"

#include "support/LogWatcher.h"

using namespace quillon;
using namespace quillon::test;

namespace {

class ActivationInstallQueueTest : public InstallRunTest {
protected:
    static ActivationInstallAuthorization item(const QString &key, const QString &type = QStringLiteral("plugin")) {
        return {key, key + QStringLiteral(" 名称"), type, true};
    }
    static ManagerLicense purchase(const QString &key, const QString &type = QStringLiteral("plugin")) {
        return {key, key + QStringLiteral(" 名称"), type};
    }
    ActivationInstallQueue &queue() { return model->activationInstallQueue(); }
    void waitForTheRun() { ASSERT_TRUE(waitUntil([&] { return !model->isWorking(); })); }
};

} // namespace

TEST_F(ActivationInstallQueueTest, TwoItemsShareOnePromptAndTheOneTheInstallerRefusesStaysPending) {
    answer(QStringLiteral("p1"), packageReply(serve(package(QStringLiteral("Vrel One"))),
                                              {{QStringLiteral("productName"), QStringLiteral("Vrel One")}}));
    answer(QStringLiteral("p2"), packageReply(serve("not a package", "/packages/two.pkg")));
    queue().reset(item(QStringLiteral("p1")));
    queue().append(item(QStringLiteral("p2")));
    QStringList stages;
    QObject::connect(model.get(), &PluginManager::changed, [&] {
        if (!stages.contains(model->singleInstallStage())) {
            stages.append(model->singleInstallStage());
        }
    });

    model->activateAndInstall();
    waitForTheRun();
    const QString refused = QStringLiteral("p2 名称：系统安装未完成，请重试该项。");
    ASSERT_EQ(queue().items().size(), 2);
    EXPECT_TRUE(queue().items().at(0).completed);
    EXPECT_EQ(queue().items().at(0).result, QStringLiteral("p1 名称：✓ 安装完成，请重启 FCP。"));
    EXPECT_FALSE(queue().items().at(1).completed);
    EXPECT_EQ(queue().items().at(1).result, refused);
    EXPECT_TRUE(stages.contains(QStringLiteral("请完成一次系统授权，随后将依次安装 2 个插件…")));
    EXPECT_TRUE(stages.contains(QStringLiteral("已下载，等待统一安装")));
    EXPECT_TRUE(receipt(QStringLiteral("p1")));
    EXPECT_EQ(model->savedInstalledProductPaths(QStringLiteral("p1")), QStringList{titles(QStringLiteral("Vrel One"))});
    EXPECT_FALSE(receipt(QStringLiteral("p2")));
    EXPECT_EQ(model->locationSummary().succeeded, QStringList{QStringLiteral("Vrel One")});
    EXPECT_EQ(model->locationSummary().failures, QStringList{refused});
    EXPECT_TRUE(model->showLocationGuide());
    EXPECT_FALSE(model->activationInstallFinished());
    EXPECT_EQ(model->statusMessage(), queue().summary());
    EXPECT_EQ(model->activationInstallResults(), queue().summary());
    EXPECT_FALSE(model->showsSingleInstallProgress());
    EXPECT_EQ(entries(world.paths.temporary), QStringList()); // both package files went

    // Another start tries the pending item alone.
    const size_t asked = service.count(kDownload);
    model->activateAndInstall();
    waitForTheRun();
    EXPECT_EQ(service.count(kDownload), asked + 1);
    EXPECT_EQ(bodyOf(service.requestsTo(kDownload).back()).value(QStringLiteral("productKey")), QStringLiteral("p2"));
}

TEST_F(ActivationInstallQueueTest, ABoughtProductRunsAsOneItemOfItsKind) {
    answer(QStringLiteral("p"), packageReply(serve(package(QStringLiteral("Vrel Solo")))));
    answer(QStringLiteral("c"), {{QStringLiteral("deliveryType"), QStringLiteral("baidu_pan")},
                                 {QStringLiteral("shareUrl"), QStringLiteral("https://pan.example.com/s/1")}});
    answer(QStringLiteral("f"), {{QStringLiteral("error"), QStringLiteral("拒绝")}}, 403);
    service.always(kLibrary, ScriptedReply::json(200, library(2)));
    struct Case {
        ManagerLicense bought;
        QString result;
        bool finished;
    };
    const std::vector<Case> cases{
        {purchase(QStringLiteral("p")), QStringLiteral("p 名称：✓ 安装完成，请重启 FCP。"), true},
        {purchase(QStringLiteral("c")), QStringLiteral("c 名称：✓ 已打开网盘；如未跳转，可在领取信息中直接打开或复制。"), true},
        {purchase(QStringLiteral("m9"), QStringLiteral("all_plugins")), QStringLiteral("m9 名称：已激活，请在会员库选择安装内容"), true},
        {purchase(QStringLiteral("f")), QStringLiteral("f 名称：已激活，安装未完成：拒绝"), false},
    };
    for (const Case &c : cases) {
        model->setAccountPurchases({membership, c.bought});
        const std::optional<QString> shownBefore = model->activatedProductKey();
        model->installAccountPurchase(c.bought);
        EXPECT_TRUE(model->activationInstallRunning());
        if (c.bought.productKey == QStringLiteral("c")) {
            // The item waits for the delivery sheet to close.
            ASSERT_TRUE(waitUntil([&] { return model->showNetdiskDelivery(); }));
            settle();
            EXPECT_TRUE(model->isWorking());
            model->setShowNetdiskDelivery(false);
        }
        waitForTheRun();
        EXPECT_EQ(model->activationInstallResults(), c.result);
        EXPECT_EQ(model->activationInstallFinished(), c.finished);
        // A bought membership is shown from now on; any other purchase only for its run.
        const bool isMembership = c.bought.productType == QStringLiteral("all_plugins");
        EXPECT_EQ(model->activatedProductKey(), isMembership ? c.bought.productKey : shownBefore);
    }
    EXPECT_EQ(bodyOf(service.requestsTo(kLibrary).back()).value(QStringLiteral("membershipProductKey")), QStringLiteral("m9"));
    EXPECT_EQ(model->memberProducts().size(), 2);

    // Another start runs the pending item again, and only it.
    const size_t asked = service.count(kDownload);
    EXPECT_TRUE(model->canActivateAndInstall());
    model->activateAndInstall();
    waitForTheRun();
    EXPECT_EQ(service.count(kDownload), asked + 1);
    EXPECT_EQ(bodyOf(service.requestsTo(kDownload).back()).value(QStringLiteral("productKey")), QStringLiteral("f"));
}

TEST_F(ActivationInstallQueueTest, APurchaseTheAccountDoesNotHoldOrABusyModelStartsNothing) {
    const ManagerLicense held = purchase(QStringLiteral("p"));
    model->setAccountPurchases({membership, held});
    const std::vector<ManagerLicense> refused{purchase(QStringLiteral("other")), ManagerLicense{std::nullopt, QStringLiteral("无键"), std::nullopt}};
    for (const ManagerLicense &license : refused) {
        model->installAccountPurchase(license);
    }
    model->setIsWorking(true);
    model->installAccountPurchase(held);
    EXPECT_FALSE(model->canActivateAndInstall());
    model->activateAndInstall();
    EXPECT_FALSE(model->activationInstallRunning());
    EXPECT_EQ(model->activatedProductKey(), QStringLiteral("m1"));
    settle();
    EXPECT_EQ(service.count(kDownload), 0u);
}

TEST_F(ActivationInstallQueueTest, ClosingTheWindowWhileTheQueueWaitsForASheetStopsItAndDeletesItsPackages) {
    answer(QStringLiteral("p"), packageReply(serve(package(QStringLiteral("Vrel Kept")))));
    answer(QStringLiteral("c"), {{QStringLiteral("deliveryType"), QStringLiteral("hybrid")},
                                 {QStringLiteral("shareUrl"), QStringLiteral("https://pan.example.com/s/2")}});
    queue().reset(item(QStringLiteral("p")));
    queue().append(item(QStringLiteral("c")));
    LogWatcher log;
    model->activateAndInstall();
    ASSERT_TRUE(waitUntil([&] { return model->showNetdiskDelivery(); }));
    EXPECT_EQ(entries(world.paths.temporary).size(), 1); // the first item's package, collected
    model.reset();
    ASSERT_TRUE(waitUntil([&] { return log.saw(QStringLiteral("the install queue stopped")); }));
    EXPECT_TRUE(waitUntil([&] { return entries(world.paths.temporary).isEmpty(); }));
    EXPECT_EQ(entries(titles()), QStringList()); // nothing was installed after the window closed
}

TEST_F(ActivationInstallQueueTest, AfterAPurchaseRunTheMembershipShownBeforeIsBackAndItsRowsInstall) {
    answer(QStringLiteral("p"), packageReply(serve(package(QStringLiteral("Vrel Bought")))));
    answer(QStringLiteral("row"), packageReply(serve(package(QStringLiteral("Vrel Row")), "/packages/row.pkg")));
    const ManagerLicense bought = purchase(QStringLiteral("p"));
    model->setAccountPurchases({membership, bought});
    model->setSelectedMembershipUsesWechatAccount(false);
    const QString title = model->memberLibraryTitle();
    QList<std::optional<QString>> shown;
    QObject::connect(model.get(), &PluginManager::changed, [&] {
        if (shown.isEmpty() || shown.last() != model->activatedProductKey()) {
            shown.append(model->activatedProductKey());
        }
    });
    model->installAccountPurchase(bought);
    waitForTheRun();
    EXPECT_EQ(model->activationInstallResults(), QStringLiteral("p 名称：✓ 安装完成，请重启 FCP。"));
    EXPECT_EQ(shown, (QList<std::optional<QString>>{QStringLiteral("p"), QStringLiteral("m1")}));
    EXPECT_EQ(model->activatedProduct(), membership.productName);
    EXPECT_EQ(model->activatedProductType(), QStringLiteral("all_site"));
    EXPECT_FALSE(model->selectedMembershipUsesWechatAccount());
    EXPECT_EQ(model->memberLibraryTitle(), title);

    // A row of the membership's library installs again (its authorisation names the membership).
    model->setSelectedMembershipUsesWechatAccount(true);
    MemberProduct row;
    row.productKey = QStringLiteral("row");
    row.productName = QStringLiteral("Vrel Row");
    model->installMemberProduct(row);
    waitForTheRun();
    EXPECT_EQ(model->installMessage(), QStringLiteral("✓ 安装完成，请重启 FCP。"));
    EXPECT_EQ(bodyOf(service.requestsTo(kDownload).back()).value(QStringLiteral("membershipProductKey")), QStringLiteral("m1"));

    // Something chosen during the run stays chosen.
    const ManagerLicense other{QStringLiteral("m2"), QStringLiteral("字幕会员"), QStringLiteral("tovel_subtitles")};
    service.always(kLibrary, ScriptedReply::json(200, library(1)));
    model->setActivationInstallFinished(false);
    model->installAccountPurchase(bought);
    model->selectMemberLibrary(other);
    waitForTheRun();
    EXPECT_EQ(model->activatedProductKey(), QStringLiteral("m2"));
}
