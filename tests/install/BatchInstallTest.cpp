// Batch install of a whole membership, end to end: a scripted account service that is the
// download host too, on 127.0.0.1, real flat packages installed by the stand-in osascript
// and installer under the world's system root, and the model driven as the window drives it.
#include "InstallFixtures.h"

#include "install/BatchInstallPlan.h"
#include "install/BatchInstallRun.h"
#include "model/PluginManager.h"
#include "support/FakeAccountService.h"
#include "support/Wait.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

using namespace quillon;
using namespace std::chrono_literals;

namespace {

const std::string kDownload = "/api/manager/download";
const QString kStopped = QStringLiteral("已终止批量安装。未进入安装的内容不会继续处理。");
const QString tree = QStringLiteral("/Library/Application Support/Final Cut Pro/Templates.localized");

MemberProduct item(const QString &key, const QString &type = QStringLiteral("plugin"),
                   std::optional<QString> delivery = std::nullopt, std::optional<QString> group = std::nullopt) {
    MemberProduct p;
    p.productKey = key;
    p.productName = key;
    p.productType = type;
    p.deliveryType = std::move(delivery);
    p.installGroup = std::move(group);
    return p;
}

QStringList keys(const QList<MemberProduct> &products) {
    QStringList result;
    for (const MemberProduct &p : products) {
        result.append(p.productKey);
    }
    return result;
}

} // namespace

TEST(BatchInstallPlan, EachScopeTakesItsProductsInLibraryOrder) {
    const QList<MemberProduct> library{
        item("a", "plugin", {}, "g1"), item("b", "template", {}, "g1"), item("c", "plugin", "hybrid"),
        item("d", "plugin", "baidu_pan"), item("e", "plugin", "partner_pool"), item("f", "plugin", "manual"),
        item("g", "Plugin"), item("h", "template", "", "g2"), item("i", "plugin", {}, "g1")};
    const std::vector<std::pair<QString, QStringList>> cases{
        {"fcp_templates", {"a", "c", "g", "h"}}, // one per install group, every type
        {"all_site", {"a", "c", "i"}},            // plug-ins only, exactly "plugin"
        {"all_plugins", {"a", "c", "i"}},
        {"tovel_subtitles", {"a", "b", "c", "g", "h", "i"}},
        {"plugin", {"a", "b", "c", "g", "h", "i"}}};
    for (const auto &[type, expected] : cases) {
        EXPECT_EQ(keys(batchProducts(library, batchInstallScope(type))), expected) << type.toStdString();
    }
    EXPECT_EQ(hybridCount(library), 1);
}

TEST(BatchInstallPlan, TheConfirmationEstimatesWholeMinutesAndTheSummaryNeverClaimsAllWhenSomeFailed) {
    for (const auto &[n, low, high] : std::vector<std::tuple<int, int, int>>{{1, 2, 4}, {3, 2, 4}, {10, 4, 9}, {20, 7, 18}, {40, 14, 36}}) {
        EXPECT_EQ(batchTimeEstimate(n), (BatchTimeEstimate{low, high})) << n;
    }
    const AlertRequest plain = batchConfirmation(batchInstallScope("all_plugins"), 20, 0);
    EXPECT_EQ(plain.messageText + plain.informativeText,
              "一键安装全部会员插件将自动下载并安装 20 款插件，预计约 7–18 分钟，实际时间取决于网速与 Mac 性能。\n\n"
              "下载阶段可以暂停或终止；进入系统安装阶段后，为避免插件损坏将不能中断。");
    const QStringList withHybrid = batchConfirmation(batchInstallScope("fcp_templates"), 3, 2).informativeText.split("\n\n");
    EXPECT_TRUE(withHybrid.size() == 3 && withHybrid[2].startsWith("其中 2 项含百度网盘补充内容"));

    const BatchInstallScope &scope = batchInstallScope("all_plugins");
    EXPECT_EQ(batchSummary(scope, 12, 0, 0, 12, 0).lastDeliveryMessage, "全部 12 款插件已自动安装完成。");
    const BatchSummary handed = batchSummary(scope, 3, 1, 2, 1, 0);
    EXPECT_EQ(handed.lastDeliveryMessage + handed.status + handed.deliverySuccessTitle,
              "已自动安装普通插件；2 组 FCP 模板已交给 macOS 安装器。自动安装完成；百度网盘补充内容请在对应项目单独领取安装已启动");
    const BatchSummary partial = batchSummary(scope, 5, 0, 0, 4, 1);
    for (const QString &text : {partial.lastDeliveryMessage, partial.installMessage, partial.status}) {
        EXPECT_EQ(text, "安装结束：4 项成功，1 项未完成。");
    }
}

TEST(BatchInstallRun, TheFlagsFollowOnePhaseAndNeverContradictEachOther) {
    int changes = 0;
    BatchInstallRun run([&] { ++changes; });
    EXPECT_FALSE(run.togglePause() || run.stop() || run.beginInstalling());
    const TaskHandle handle = *run.begin();
    EXPECT_FALSE(run.begin()) << "one batch at a time";
    EXPECT_TRUE(run.togglePause());
    EXPECT_TRUE(run.isPaused() && run.isControllable());
    EXPECT_TRUE(run.stop());
    EXPECT_TRUE(handle.isCancelled());
    EXPECT_FALSE(run.isControllable() || run.togglePause() || run.beginInstalling()) << "a stopped run never installs";
    run.end();
    EXPECT_FALSE(run.isRunning() || run.isPaused() || run.task());
    run.begin();
    run.togglePause();
    EXPECT_TRUE(run.beginInstalling());
    EXPECT_TRUE(run.isRunning() && !run.isPaused() && !run.isControllable());
    EXPECT_FALSE(run.togglePause() || run.stop());
    EXPECT_EQ(changes, 7);
}

namespace {

enum class Kind { ordinary, protectedTemplate, broken };

void signIn(PluginManager &model, const QString &membership = QStringLiteral("all_plugins")) {
    model.setIsWechatLoggedIn(true);
    model.setManagerAccessToken(QStringLiteral("token-1"));
    model.setActivatedProductKey(QStringLiteral("vrel-all-plugins-lifetime"));
    model.setActivatedProductType(membership);
}

class BatchInstallTest : public ::testing::Test {
protected:
    BatchInstallTest() { signIn(*model); }

    /// A library product named "Vrel <key>" unless `name` is given.
    void addProduct(const QString &key, const QString &name = QString()) {
        MemberProduct product = item(key);
        product.productName = name.isEmpty() ? QStringLiteral("Vrel ") + key : name;
        QList<MemberProduct> products = model->memberProducts();
        products.append(product);
        model->setMemberProducts(products);
    }
    std::string packagePath(const QString &key) const { return "/packages/" + key.toStdString() + ".pkg"; }
    /// A product whose package installs the title folder "<name>.localized" (and a generator folder).
    void add(const QString &key, Kind kind = Kind::ordinary, const QString &name = QString(),
             const QString &generator = QString()) {
        addProduct(key, name);
        const QString file = world.path(QStringLiteral("host/") + key + QStringLiteral(".pkg"));
        test::PackageBuilder builder(tree);
        builder.file(QStringLiteral("Titles.localized/%1.localized/t.moti").arg(model->memberProducts().last().productName), "t");
        if (!generator.isEmpty()) {
            builder.file(QStringLiteral("Generators.localized/%1/g.motn").arg(generator), "g");
        }
        QDir().mkpath(QFileInfo(file).absolutePath());
        builder.write(file);
        const std::string bytes = kind == Kind::broken ? "not a package" : test::readAll(file).toStdString();
        package = test::ScriptedReply{200, bytes, "application/octet-stream"};
        service.always(packagePath(key), package);
        QJsonObject reply{{"productKey", key},
                          {"downloadUrl", service.baseUrl().resolved(QString::fromStdString(packagePath(key)).mid(1)).toString()},
                          {"packageVersion", "1." + key}};
        if (kind == Kind::protectedTemplate) {
            reply.insert("fileName", "FCP-1.pkg");
        }
        service.then(kDownload, test::ScriptedReply::json(200, reply));
    }
    /// The last added package answers its probe, then stops half-sent until released.
    void holdLast(const QString &key) {
        service.then(packagePath(key), package);
        service.then(packagePath(key), test::ScriptedReply(package).heldMidway());
    }

    void start() {
        model->installAllMemberProducts();
        ASSERT_TRUE(model->isBatchInstalling());
    }
    void finish() { ASSERT_TRUE(test::waitUntil([&] { return !model->isBatchInstalling(); })); }

    QVariant record(const QString &prefix, const QString &key) const {
        return world.preferences->value(QStringLiteral("vrel.") + prefix + QLatin1Char('.') + key);
    }
    QString managed() const { return world.paths.applicationSupport + QStringLiteral("/Vrel 插件管理器/临时安装包"); }
    /// Whatever of the batch is still on disk: staging folders and managed packages.
    QStringList leftovers() const {
        QStringList found = QDir(world.paths.temporary).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        return found + test::snapshot(managed()).keys();
    }
    bool nothingLeft() const { return test::waitUntil([&] { return leftovers().isEmpty(); }); }
    bool installed(const QString &title) const {
        return QFileInfo::exists(world.paths.systemRoot + test::titlesLocation + QLatin1Char('/') + title +
                                 QStringLiteral(".localized/t.moti"));
    }
    void expectStoppedWithNothingLeft() {
        finish();
        EXPECT_EQ(model->installMessage(), kStopped);
        EXPECT_EQ(model->batchInstallStatus(), "已终止批量安装");
        EXPECT_EQ(model->locationSummary().failures, QStringList{"批量任务已终止，未进入安装的项目未安装。"});
        EXPECT_TRUE(nothingLeft()) << leftovers().join(", ").toStdString();
        EXPECT_FALSE(QFileInfo::exists(world.paths.systemRoot + test::titlesLocation)) << "nothing is installed";
        EXPECT_TRUE(world.workspace->openedFiles.isEmpty());
        EXPECT_FALSE(model->isWorking() || model->installingProductKey() || model->batchInstallTask());
    }

    test::FakeAccountService service;
    test::TestWorld world;
    std::unique_ptr<PluginManager> model = std::make_unique<PluginManager>(world.environment(service.baseUrl()));
    test::ScriptedReply package;
};

} // namespace

TEST_F(BatchInstallTest, OnePromptInstallsTheOrdinaryPackagesAndRecordsExactlyThoseThatInstalled) {
    add("a", Kind::ordinary, "Vrel 光影");
    add("p", Kind::protectedTemplate); // before the failing one: indexes count ordinary packages only
    add("b", Kind::broken);
    add("c", Kind::ordinary, "Vrel 光影"); // same name as "a": two products installed, one name
    world.makeFolder(QStringLiteral("system") + tree + QStringLiteral("/Effects.localized/Other Maker"));
    start();
    EXPECT_TRUE(model->isWorking());
    EXPECT_EQ(model->installingProductKey(), "__all_plugins_batch__");
    EXPECT_EQ(model->installMessage(), "正在下载 Vrel 光影（1/4）…");
    finish();

    for (const test::RecordedRequest &request : service.requestsTo(kDownload)) {
        EXPECT_EQ(request.header("Authorization"), "Bearer token-1");
        EXPECT_EQ(QJsonDocument::fromJson(QByteArray::fromStdString(request.body)).object().keys(),
                  (QStringList{"deviceId", "deviceName", "membershipProductKey", "productKey"}));
    }
    for (const QString &key : {QStringLiteral("a"), QStringLiteral("c")}) {
        EXPECT_EQ(record("product.install.receipt", key), true) << key.toStdString();
        EXPECT_EQ(record("product.version", key), "1." + key);
        EXPECT_EQ(record("product.paths", key).toStringList().size(), 1);
    }
    EXPECT_FALSE(record("product.install.receipt", "b").isValid() || record("product.install.receipt", "p").isValid());
    EXPECT_EQ(record("entitlement.products", "account:vrel-all-plugins-lifetime").toStringList(), (QStringList{"a", "c"}));
    EXPECT_TRUE(installed("Vrel 光影"));

    const InstallLocationSummary &summary = model->locationSummary();
    EXPECT_EQ(summary.failures, QStringList{"Vrel b：安装未完成，请在会员库重试。"});
    EXPECT_EQ(summary.pending, QStringList{"Vrel p"});
    EXPECT_EQ(summary.succeeded, QStringList{"Vrel 光影"});
    EXPECT_EQ(summary.entries, (QList<InstallLocationEntry>{{FCPLocation::titles, "Vrel 光影"}}));
    EXPECT_EQ(model->installMessage(), "安装结束：2 项成功，1 项未完成。 请重启 FCP。");
    EXPECT_EQ(model->batchInstallProgress(), 1.0);
    EXPECT_TRUE(model->showLocationGuide());
    EXPECT_FALSE(model->isWorking() || model->isBatchInstalling() || model->installingProductKey());

    // Only the handed-off package stays, in the run's own folder, until its watcher deletes it.
    ASSERT_EQ(world.workspace->openedFiles.size(), 1);
    const QString handedOff = world.workspace->openedFiles[0];
    EXPECT_TRUE(handedOff.startsWith(managed() + "/批量安装-") && handedOff.endsWith("/02.pkg"));
    EXPECT_TRUE(test::waitUntil([&] { return leftovers() == QStringList{QFileInfo(handedOff).path(), handedOff}; }));
}

TEST_F(BatchInstallTest, WithoutFailuresEveryNewFolderIsPlacedAndUnopenedTemplatesAreReported) {
    add("a", Kind::ordinary, QString(), "Extra.localized");
    start();
    finish();
    EXPECT_EQ(model->locationSummary().entries,
              (QList<InstallLocationEntry>{{FCPLocation::generators, "Extra"}, {FCPLocation::titles, "Vrel a"}}));
    EXPECT_EQ(model->batchInstallStatus(), "全部自动安装完成；请重启 FCP");

    // Only protected packages, which the Installer app refuses: no administrator run at all.
    ModelEnvironment environment = world.environment(service.baseUrl());
    environment.tools.osascript = world.path(QStringLiteral("no-such-osascript"));
    model = std::make_unique<PluginManager>(environment);
    signIn(*model, QStringLiteral("fcp_templates"));
    world.workspace->openFileSucceeds = false;
    add("p", Kind::protectedTemplate);
    add("q", Kind::protectedTemplate);
    start();
    finish();
    EXPECT_EQ(model->locationSummary().failures,
              (QStringList{"Vrel p：安装包下载失败或文件格式不正确", "Vrel q：安装包下载失败或文件格式不正确"}));
    EXPECT_EQ(model->installMessage(), "安装结束：0 项成功，2 项未完成。");
    EXPECT_TRUE(nothingLeft());
}

TEST_F(BatchInstallTest, PauseTakesEffectAfterTheCurrentDownloadAndStopWhilePausedEndsAtOnce) {
    add("a");
    add("b");
    holdLast("b");
    add("c");
    start();
    ASSERT_TRUE(test::waitUntil([&] { return service.heldCount() == 1; }));
    model->toggleBatchInstallPause();
    EXPECT_EQ(model->batchInstallStatus(), "将在当前文件下载完成后暂停");
    service.releaseHeld();
    ASSERT_TRUE(test::waitUntil([&] { return model->batchInstallCompleted() == 2; }));
    EXPECT_DOUBLE_EQ(model->batchInstallProgress(), 2.0 / 3.0 * 0.8);
    EXPECT_FALSE(test::waitUntil([&] { return service.count(kDownload) == 3; }, 300ms)) << "paused before item 3";
    model->terminateBatchInstall();
    expectStoppedWithNothingLeft();
    EXPECT_EQ(service.count(kDownload), 2u);
}

TEST_F(BatchInstallTest, StopDuringTheLastTransferAbortsItAndInstallsNothing) {
    add("p", Kind::protectedTemplate); // staged in the managed folder first: it must go too
    add("a");
    holdLast("a");
    start();
    ASSERT_TRUE(test::waitUntil([&] { return service.heldCount() == 1; }));
    model->terminateBatchInstall();
    EXPECT_EQ(model->batchInstallStatus(), "正在终止下载…");
    EXPECT_FALSE(model->canControlBatchInstall());
    expectStoppedWithNothingLeft(); // while the server still holds the transfer: it was cut off
}

TEST_F(BatchInstallTest, SigningOutStopsTheRunLikeStopAndASecondInstallAllIsIgnored) {
    add("a");
    holdLast("a");
    add("b");
    start();
    ASSERT_TRUE(test::waitUntil([&] { return service.heldCount() == 1; }));
    model->installAllMemberProducts();
    EXPECT_EQ(world.alerts->shown.size(), 1);
    model->signOutWechat();
    expectStoppedWithNothingLeft();
    EXPECT_EQ(service.count(kDownload), 1u);
}

TEST_F(BatchInstallTest, ARefusedOrUnusableAuthorisationEndsTheWholeRunAndLeavesNothing) {
    const QString unusable = QStringLiteral("批量安装未完成：安装包下载失败或文件格式不正确");
    const std::vector<std::tuple<test::ScriptedReply, QString, int>> cases{
        {test::ScriptedReply::json(403, std::string(R"({"error":"会员已过期"})")), "会员已过期", 0},
        {test::ScriptedReply::json(300, std::string()), "Vrel b 下载授权失败。", 0},
        {test::ScriptedReply::json(200, std::string(R"({"deliveryType":"baidu_pan","downloadUrl":"http://127.0.0.1:9/x"})")), unusable, 1},
        {test::ScriptedReply::json(200, std::string(R"({"downloadUrl":"file:///etc/passwd"})")), unusable, 1},
        {test::ScriptedReply::json(200, std::string(R"({"downloadUrl":"http://127.0.0.1:9/x","productType":"resource"})")), unusable, 1}};
    for (const auto &[reply, message, failureLines] : cases) {
        SCOPED_TRACE(message.toStdString());
        model->setMemberProducts({});
        add("a");
        addProduct("b");
        service.then(kDownload, reply);
        addProduct("c");
        const size_t before = service.count(kDownload);
        start();
        finish();
        EXPECT_EQ(model->installMessage(), message);
        EXPECT_EQ(model->locationSummary().failures.size(), failureLines);
        EXPECT_EQ(service.count(kDownload) - before, 2u) << "the products after it are not tried";
        EXPECT_TRUE(nothingLeft());
        EXPECT_FALSE(QFileInfo::exists(world.paths.systemRoot + test::titlesLocation));
    }
}

TEST_F(BatchInstallTest, ACancelledAdministratorPromptFailsTheRunWithoutRecordsOrHandOff) {
    const test::ScopedEnvironment cancel("QUILLON_OSASCRIPT_CANCEL", "1");
    add("a");
    add("p", Kind::protectedTemplate);
    start();
    finish();
    EXPECT_EQ(model->installMessage(), "批量安装未完成：已取消管理员授权。");
    EXPECT_EQ(model->batchInstallStatus(), "批量安装未完成，请根据提示重试");
    EXPECT_FALSE(record("product.install.receipt", "a").isValid());
    EXPECT_TRUE(world.workspace->openedFiles.isEmpty());
    EXPECT_TRUE(nothingLeft());
}

TEST_F(BatchInstallTest, NothingStartsWithoutConfirmationOrWhenTheAccountChangedDuringTheAlert) {
    add("a");
    world.alerts->answers = {1};
    model->installAllMemberProducts();
    EXPECT_FALSE(model->isBatchInstalling() || model->isWorking());
    EXPECT_EQ(model->installMessage(), QString());

    // The alert's event loop let a sync sign the user out meanwhile.
    struct SigningOut final : Alerts {
        PluginManager *model = nullptr;
        int runModal(const AlertRequest &) override {
            model->signOutWechat();
            return 0;
        }
    };
    auto alerts = std::make_shared<SigningOut>();
    ModelEnvironment environment = world.environment(service.baseUrl());
    environment.alerts = alerts;
    PluginManager other(environment);
    alerts->model = &other;
    signIn(other, QStringLiteral("fcp_templates"));
    other.setMemberProducts({item("a")});
    other.installAllMemberProducts();
    EXPECT_FALSE(other.isBatchInstalling() || other.isWorking());
    EXPECT_EQ(other.installMessage(), "请先登录并选择FCP 模板会员，再一键安装全部内容。");

    model->setMemberProducts({item("d", "plugin", "baidu_pan")});
    model->installAllMemberProducts();
    EXPECT_EQ(model->installMessage(), "当前会员插件权益中还没有可安装内容。");
    EXPECT_EQ(world.alerts->shown.size(), 1);
}

TEST_F(BatchInstallTest, TheModelCanGoAtAnyPointOfTheRun) {
    add("a");
    add("b");
    holdLast("b");
    start();
    ASSERT_TRUE(test::waitUntil([&] { return service.heldCount() == 1; }));
    model.reset();
    service.releaseHeld();
    EXPECT_TRUE(nothingLeft()) << "the run's files go with it";

    // During the administrator run, held until a file appears: it finishes, and nothing
    // of the model is touched afterwards.
    const QString go = world.path(QStringLiteral("go"));
    ModelEnvironment environment = world.environment(service.baseUrl());
    environment.tools.osascript = world.writeFile(
        QStringLiteral("bin/osascript"), QStringLiteral("#!/bin/sh\nwhile [ ! -e %1 ]; do sleep 0.01; done\nexec %2 \"$@\"\n")
                                             .arg(shellQuoted(go), shellQuoted(test::standIn(QStringLiteral("osascript"))))
                                             .toUtf8());
    QFile(environment.tools.osascript).setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    model = std::make_unique<PluginManager>(environment);
    signIn(*model);
    add("c");
    start();
    ASSERT_TRUE(test::waitUntil([&] { return model->batchInstallStatus() == "正在安装插件"; }));
    model.reset();
    world.writeFile(QStringLiteral("go"), {});
    EXPECT_TRUE(test::waitUntil([&] { return installed("Vrel c") && leftovers().isEmpty(); }));
}

TEST_F(BatchInstallTest, ASignOutForcedBySyncStopsTheRunLikeTheButtons) {
    add("a");
    add("b");
    holdLast("b");
    service.always("/api/manager/account", test::ScriptedReply::json(401, std::string(R"({"error":"登录已失效"})")));
    start();
    ASSERT_TRUE(test::waitUntil([&] { return service.heldCount() == 1; })); // the last download
    model->refreshWechatAccount();
    ASSERT_TRUE(test::waitUntil([&] { return !model->isWechatLoggedIn(); }));
    EXPECT_FALSE(model->managerAccessToken());
    service.releaseHeld(); // too late: the transfer was cut off
    expectStoppedWithNothingLeft();
    EXPECT_FALSE(record("product.install.receipt", "a").isValid());
    EXPECT_FALSE(record("entitlement.products", "account:vrel-all-plugins-lifetime").isValid());
    EXPECT_EQ(model->wechatLoginMessage(), "登录已失效");
}

TEST_F(BatchInstallTest, ClosingTheWindowMidDownloadTakesTheRunsFilesWithoutAnotherTurnOfTheEventLoop) {
    add("p", Kind::protectedTemplate); // in the managed folder
    add("a");
    holdLast("a");
    start();
    ASSERT_TRUE(test::waitUntil([&] { return service.heldCount() == 1; }));
    const QStringList during = leftovers();
    ASSERT_EQ(during.size(), 3) << during.join(", ").toStdString(); // staging folder, batch folder, 01.pkg
    const QString staging = QDir(world.paths.temporary).filePath(during.first());
    ASSERT_EQ(test::snapshot(staging).size(), 1); // the hidden part file of 02.pkg
    EXPECT_TRUE(test::snapshot(staging).firstKey().endsWith(".part"));
    {
        // Nor for a thread of the pool: at exit nothing new starts there either.
        const test::BusyThreadPool busy;
        ASSERT_TRUE(busy.busy());
        model.reset();
        // The application's last turn of the event loop may be over: nothing may wait for another.
        EXPECT_EQ(leftovers(), QStringList());
        EXPECT_FALSE(QFileInfo::exists(managed()));
    }
}
