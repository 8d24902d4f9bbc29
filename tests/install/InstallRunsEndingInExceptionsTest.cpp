// Install runs that end in an exception, thrown at a chosen point by a listener of the model:
// whatever ends a run, the busy flag comes down and the next run can start.
#include "InstallRunFixture.h"

#include "support/FailingListener.h"

using namespace quillon;
using namespace quillon::test;

namespace {

class InstallRunsEndingInExceptionsTest : public InstallRunTest {
protected:
    /// Waits until the listener has failed: the run has unwound by then, and its flag must be down.
    void expectTheFlagDown(const std::shared_ptr<const bool> &failed) {
        ASSERT_TRUE(waitUntil([&] { return *failed; }, std::chrono::minutes(1)));
        EXPECT_FALSE(model->isWorking()) << "the run ended, its busy flag stayed up";
    }
};

} // namespace

TEST_F(InstallRunsEndingInExceptionsTest, ALibraryInstall) {
    // Thrown as the run clears its product, after its failure was reported.
    bool began = false;
    const auto failed = failOnceWhen(*model, [&] {
        began = began || model->installingProductKey() == QStringLiteral("p");
        return began && !model->installingProductKey();
    });
    model->startDownloadAndInstall(QStringLiteral("p"), QStringLiteral("P"), false);
    expectTheFlagDown(failed);

    model->startDownloadAndInstall(QStringLiteral("q"), QStringLiteral("Q"), false);
    EXPECT_EQ(model->installingProductKey(), QStringLiteral("q"));
    ASSERT_TRUE(waitUntil([&] { return !model->isWorking(); }));
    EXPECT_EQ(model->installMessage(), QStringLiteral("没有这个商品。"));
}

TEST_F(InstallRunsEndingInExceptionsTest, ABatch) {
    QUrl missing = serve("xar!");
    missing.setPath(QStringLiteral("/packages/missing.pkg")); // the package is not there
    answer(QStringLiteral("p"), packageReply(missing));
    MemberProduct product;
    product.productKey = QStringLiteral("p");
    product.productName = QStringLiteral("P");
    product.productType = QStringLiteral("plugin");
    model->setMemberProducts({product});
    // Thrown as the failed batch reports its failure.
    const auto failed =
        failOnceWhen(*model, [&] { return model->installMessage().startsWith(QStringLiteral("批量安装未完成：")); });
    model->installAllMemberProducts();
    EXPECT_TRUE(model->isBatchInstalling());
    expectTheFlagDown(failed);
}

TEST_F(InstallRunsEndingInExceptionsTest, AQueueRun) {
    // Thrown as the run publishes its results.
    const auto failed = failOnceWhen(*model, [&] { return !model->activationInstallResults().isEmpty(); });
    model->activateAndInstall();
    EXPECT_TRUE(model->isWorking());
    expectTheFlagDown(failed);
}
