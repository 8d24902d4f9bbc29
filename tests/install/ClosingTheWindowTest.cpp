// Closing the window while a run is under way: the model's teardown ends the run there and
// then, and takes its files along, without another turn of the event loop (after the
// application's last one, nothing posted would ever run).
#include "InstallRunFixture.h"

using namespace quillon;
using namespace quillon::test;

namespace {

class ClosingTheWindowTest : public InstallRunTest {
protected:
    QString resources() const { return QDir(world.paths.downloads).filePath(QStringLiteral("Vrel 素材")); }
};

} // namespace

TEST_F(ClosingTheWindowTest, AResourceDownloadInRangesLeavesNoPartFile) {
    // Each range would take many seconds at this pace.
    const QUrl url = serve(largePackage(), "/files/asset.zip", {.pieceDelay = std::chrono::milliseconds(20)});
    answer(QStringLiteral("r"), packageReply(url, {{QStringLiteral("productType"), QStringLiteral("resource")},
                                                   {QStringLiteral("fileName"), QStringLiteral("素材.zip")}}));
    MemberProduct product;
    product.productKey = QStringLiteral("r");
    model->installMemberProduct(product);
    ASSERT_TRUE(waitUntil([&] { return server().transfersInFlight() >= 2; }));
    const QStringList during = entries(resources());
    ASSERT_EQ(during.size(), 1);
    EXPECT_TRUE(during.first().startsWith(QLatin1Char('.')) && during.first().endsWith(QStringLiteral(".part")));
    EXPECT_EQ(QFileInfo(QDir(resources()).filePath(during.first())).size(), qint64(largePackage().size()));
    model.reset();
    EXPECT_EQ(entries(resources()), QStringList());
    EXPECT_TRUE(waitUntil([&] { return server().transfersInFlight() == 0; })) << "every connection was closed";
}

TEST_F(ClosingTheWindowTest, APackageDownloadLeavesNoPartFile) {
    answer(QStringLiteral("s"), packageReply(serve(package(QStringLiteral("Vrel Slow"), 4 << 20), "/packages/slow.pkg",
                                                   {.acceptRanges = std::nullopt, .pieceDelay = std::chrono::milliseconds(20)})));
    MemberProduct product;
    product.productKey = QStringLiteral("s");
    model->installMemberProduct(product);
    ASSERT_TRUE(waitUntil([&] { return server().transfersInFlight() == 1; }));
    ASSERT_EQ(entries(world.paths.temporary).size(), 1);
    model.reset();
    EXPECT_EQ(entries(world.paths.temporary), QStringList());
}

TEST_F(ClosingTheWindowTest, AQueueRunWaitingForASheetTakesItsCollectedPackages) {
    answer(QStringLiteral("p"), packageReply(serve(package(QStringLiteral("Vrel Kept")))));
    answer(QStringLiteral("c"), {{QStringLiteral("deliveryType"), QStringLiteral("hybrid")},
                                 {QStringLiteral("shareUrl"), QStringLiteral("https://pan.example.com/s/2")}});
    model->activationInstallQueue().reset({QStringLiteral("p"), QStringLiteral("p 名称"), QStringLiteral("plugin"), true});
    model->activationInstallQueue().append({QStringLiteral("c"), QStringLiteral("c 名称"), QStringLiteral("plugin"), true});
    model->activateAndInstall();
    ASSERT_TRUE(waitUntil([&] { return model->showNetdiskDelivery(); }));
    ASSERT_EQ(entries(world.paths.temporary).size(), 1); // the first item's package, collected
    const BusyThreadPool busy; // nor may the removal wait for a thread of the pool
    ASSERT_TRUE(busy.busy());
    model.reset();
    EXPECT_EQ(entries(world.paths.temporary), QStringList());
}
