#include "model/PluginManager.h"
#include "support/FakeInventoryHost.h"
#include "support/TestWorld.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace quillon;

namespace {

const QString systemTree = QStringLiteral("system/Library/Application Support/Final Cut Pro/Templates.localized");
const QString userTree = QStringLiteral("home/Movies/Motion Templates.localized");

QStringList entryIds(const InstallLocationSummary &s) {
    QStringList result;
    for (const auto &e : s.entries) {
        result.append(e.id());
    }
    return result;
}

QSet<QString> allPaths(const PluginManager &m) {
    QSet<QString> result;
    for (const auto &p : m.allTemplatePlugins()) {
        for (const auto &path : p.paths) {
            result.insert(path);
        }
    }
    return result;
}

} // namespace

TEST(LocationCollection, BeginOpensAnEmptyRun) {
    test::TestWorld world;
    PluginManager m(world.environment());
    m.refreshInstalledPlugins();
    InstallLocationSummary old;
    old.succeeded = {"X"};
    m.setLocationSummary(old);
    m.setShowLocationGuide(true);
    m.beginLocationCollection(true);
    InstallLocationSummary expected;
    expected.isBatch = true;
    EXPECT_EQ(m.locationSummary(), expected);
    EXPECT_FALSE(m.showLocationGuide());
    EXPECT_TRUE(m.collectingLocations());
}

TEST(LocationCollection, ASingleInstallRecordsNewFoldersAndOpensTheGuide) {
    test::TestWorld world;
    world.makeFolder(userTree + "/Titles.localized/Someone Else");
    PluginManager m(world.environment());
    m.refreshInstalledPlugins();
    const QSet<QString> before = allPaths(m);
    // The install added two folders whose names do not match the product.
    world.makeFolder(userTree + "/Titles.localized/Pack 10.localized");
    world.makeFolder(userTree + "/Generators.localized/Pack 2");
    m.recordInstallLocation("Unrelated Product", QStringLiteral("P"), before);
    const InstallLocationSummary &s = m.locationSummary();
    EXPECT_EQ(s.succeeded, QStringList{"Unrelated Product"});
    EXPECT_EQ(entryIds(s), (QStringList{"字幕::Pack 10", "发生器::Pack 2"}));
    EXPECT_FALSE(s.isBatch);
    EXPECT_FALSE(s.isBrowsing);
    EXPECT_TRUE(m.showLocationGuide());
    EXPECT_EQ(s.resultTitle(), "安装成功");
}

TEST(LocationCollection, MatchingAndRecordedFoldersCountThoughTheyExistedBefore) {
    test::TestWorld world;
    world.makeFolder(systemTree + "/Effects.localized/Vrel Glow.localized");
    world.makeFolder(systemTree + "/Effects.localized/Glow.LOCALIZED Extra");
    const QString recorded = world.makeFolder(userTree + "/Transitions.localized/Swoosh");
    world.makeFolder(userTree + "/Transitions.localized/Not Mine");
    PluginManager m(world.environment());
    m.refreshInstalledPlugins();
    m.saveInstalledProductPaths({recorded}, "P");
    m.recordInstallLocation("Glow", QStringLiteral("P"), allPaths(m));
    EXPECT_EQ(entryIds(m.locationSummary()),
              (QStringList{"效果::Glow.LOCALIZED Extra", "效果::Vrel Glow", "转场::Swoosh"}));
}

TEST(LocationCollection, RecordedPathsNeedTheProductKey) {
    test::TestWorld world;
    const QString recorded = world.makeFolder(userTree + "/Transitions.localized/Swoosh");
    PluginManager m(world.environment());
    m.refreshInstalledPlugins();
    m.saveInstalledProductPaths({recorded}, "P");
    m.recordInstallLocation("Nothing", std::nullopt, allPaths(m));
    EXPECT_TRUE(m.locationSummary().entries.isEmpty());
}

TEST(LocationCollection, NothingFoundStillListsTheProduct) {
    test::TestWorld world;
    world.makeFolder(userTree + "/Titles.localized/Other");
    PluginManager m(world.environment());
    m.refreshInstalledPlugins();
    m.recordInstallLocation("Vrel Nothing", QStringLiteral("P"), allPaths(m));
    EXPECT_EQ(m.locationSummary().succeeded, QStringList{"Vrel Nothing"});
    EXPECT_TRUE(m.locationSummary().entries.isEmpty());
    EXPECT_EQ(m.locationSummary().resultTitle(), "安装成功");
    EXPECT_TRUE(m.showLocationGuide());
}

TEST(LocationCollection, OutsideARunEachRecordReplacesTheSummary) {
    test::TestWorld world;
    PluginManager m(world.environment());
    m.refreshInstalledPlugins();
    InstallLocationSummary stale;
    stale.succeeded = {"Old"};
    stale.isBatch = true;
    m.setLocationSummary(stale);
    m.recordInstallLocation("A", std::nullopt, {});
    m.recordInstallLocation("B", std::nullopt, {});
    EXPECT_EQ(m.locationSummary().succeeded, QStringList{"B"});
    EXPECT_FALSE(m.locationSummary().isBatch);
}

TEST(LocationCollection, ARunCollectsThenShowsOnFinish) {
    test::TestWorld world;
    PluginManager m(world.environment());
    m.refreshInstalledPlugins();
    m.setInstallMessage("✓ 批量安装完成");
    m.setBatchInstallStatus("已安装 2 个");
    m.beginLocationCollection(true);

    QSet<QString> before = allPaths(m);
    world.makeFolder(userTree + "/Titles.localized/First");
    m.recordInstallLocation("First Product", QStringLiteral("A"), before);
    before = allPaths(m);
    world.makeFolder(userTree + "/Effects.localized/Second");
    m.recordInstallLocation("Second Product", QStringLiteral("B"), before);
    m.recordInstallLocation("First Product", QStringLiteral("A"), allPaths(m));
    EXPECT_FALSE(m.showLocationGuide());

    InstallLocationSummary failed = m.locationSummary();
    failed.failures.append("Third：下载失败");
    m.setLocationSummary(failed);

    m.finishLocationCollection();
    EXPECT_FALSE(m.collectingLocations());
    EXPECT_TRUE(m.showLocationGuide());
    const InstallLocationSummary &s = m.locationSummary();
    EXPECT_TRUE(s.isBatch);
    EXPECT_EQ(s.succeeded, (QStringList{"First Product", "Second Product"}));
    EXPECT_EQ(entryIds(s), (QStringList{"字幕::First", "效果::Second"}));
    EXPECT_EQ(s.resultTitle(), "部分插件已安装");
    EXPECT_EQ(m.installMessage(), "✓ 批量安装完成 请重启 FCP。");
    EXPECT_EQ(m.batchInstallStatus(), "已安装 2 个；请重启 FCP");

    // Finishing again adds no second hint.
    m.finishLocationCollection();
    EXPECT_EQ(m.installMessage(), "✓ 批量安装完成 请重启 FCP。");
    EXPECT_EQ(m.batchInstallStatus(), "已安装 2 个；请重启 FCP");
}

TEST(LocationCollection, FinishingWithNothingCollectedChangesNothing) {
    test::TestWorld world;
    PluginManager m(world.environment());
    m.refreshInstalledPlugins();
    m.setInstallMessage("msg");
    m.setBatchInstallStatus("status");
    m.beginLocationCollection(false);
    QSignalSpy spy(&m, &PluginManager::changed);
    m.finishLocationCollection();
    EXPECT_FALSE(m.showLocationGuide());
    EXPECT_FALSE(m.collectingLocations());
    EXPECT_EQ(m.installMessage(), "msg");
    EXPECT_EQ(m.batchInstallStatus(), "status");
    EXPECT_EQ(spy.count(), 0);
}

TEST(LocationCollection, FailuresAloneOpenTheGuideWithoutTheHint) {
    test::TestWorld world;
    PluginManager m(world.environment());
    m.refreshInstalledPlugins();
    m.beginLocationCollection(true);
    InstallLocationSummary s = m.locationSummary();
    s.failures = {"A：失败"};
    m.setLocationSummary(s);
    m.finishLocationCollection();
    EXPECT_TRUE(m.showLocationGuide());
    EXPECT_EQ(m.installMessage(), QString());
    EXPECT_EQ(m.locationSummary().resultTitle(), "未能安装");
}

TEST(LocationCollection, TheHintGoesIntoAnEmptyInstallMessageButNotAnEmptyBatchStatus) {
    test::TestWorld world;
    PluginManager m(world.environment());
    m.refreshInstalledPlugins();
    m.beginLocationCollection(false);
    m.recordInstallLocation("A", std::nullopt, {});
    m.finishLocationCollection();
    EXPECT_EQ(m.installMessage(), " 请重启 FCP。");
    EXPECT_EQ(m.batchInstallStatus(), QString());
}

TEST(LocationCollection, AnInstallAfterAStoppedBatchLeavesThatBatchsLineAsItWas) {
    test::TestWorld world;
    PluginManager m(world.environment());
    m.refreshInstalledPlugins();
    m.setBatchInstallStatus("已终止批量安装");
    m.beginLocationCollection(false);
    m.recordInstallLocation("A", std::nullopt, {});
    m.finishLocationCollection();
    EXPECT_EQ(m.installMessage(), " 请重启 FCP。");
    EXPECT_EQ(m.batchInstallStatus(), "已终止批量安装") << "nothing of that batch was installed";
}

TEST(LocationBrowse, AllInstalledPluginsAfterARescan) {
    test::TestWorld world;
    world.makeFolder(systemTree + "/Titles.localized/Vrel Old");
    PluginManager m(world.environment());
    m.refreshInstalledPlugins();
    world.makeFolder(userTree + "/Effects.localized/Vrel Fx.localized");
    world.makeFolder(userTree + "/Titles.localized/Vrel Old");
    world.makeFolder(userTree + "/Titles.localized/Other Maker");
    m.viewInstalledLocations(std::nullopt);
    const InstallLocationSummary &s = m.locationSummary();
    EXPECT_EQ(s.succeeded, (QStringList{"Vrel Old", "Vrel Fx.localized"}));
    EXPECT_EQ(entryIds(s), (QStringList{"字幕::Vrel Old", "效果::Vrel Fx"}));
    EXPECT_TRUE(s.isBrowsing);
    EXPECT_FALSE(s.isBatch);
    EXPECT_TRUE(m.showLocationGuide());
    EXPECT_EQ(s.resultTitle(), "插件位置");
}

TEST(LocationBrowse, OnePluginAsPassedIn) {
    test::TestWorld world;
    PluginManager m(world.environment());
    m.refreshInstalledPlugins();
    m.viewInstalledLocations(InstalledPlugin{"转场", "Swipe.localized", {"/gone"}});
    EXPECT_EQ(m.locationSummary().succeeded, QStringList{"Swipe.localized"});
    EXPECT_EQ(entryIds(m.locationSummary()), QStringList{"转场::Swipe"});
    // An unknown category word contributes the name only.
    m.viewInstalledLocations(InstalledPlugin{"Motion", "Odd", {"/gone"}});
    EXPECT_EQ(m.locationSummary().succeeded, QStringList{"Odd"});
    EXPECT_TRUE(m.locationSummary().entries.isEmpty());
}

TEST(LocationBrowse, WithNothingInstalledTheGuideOpensEmpty) {
    test::TestWorld world;
    PluginManager m(world.environment());
    m.refreshInstalledPlugins();
    m.viewInstalledLocations(std::nullopt);
    EXPECT_TRUE(m.showLocationGuide());
    EXPECT_TRUE(m.locationSummary().succeeded.isEmpty());
    EXPECT_TRUE(m.locationSummary().entries.isEmpty());
    EXPECT_EQ(m.locationSummary().resultTitle(), "插件位置");
}

TEST(LocationBrowse, RefusedWhileBusyOrCollecting) {
    test::TestWorld world;
    world.makeFolder(systemTree + "/Titles.localized/Vrel A");
    PluginManager m(world.environment());
    m.refreshInstalledPlugins();
    m.setIsWorking(true);
    m.viewInstalledLocations(std::nullopt);
    EXPECT_FALSE(m.showLocationGuide());
    EXPECT_EQ(m.locationSummary(), InstallLocationSummary());

    m.setIsWorking(false);
    m.beginLocationCollection(false);
    m.viewInstalledLocations(std::nullopt);
    EXPECT_FALSE(m.showLocationGuide());
    EXPECT_FALSE(m.locationSummary().isBrowsing);
}

TEST(LocationBrowse, GuidePreviewShowsTheSampleListWithoutScanning) {
    test::TestWorld world;
    world.isGuidePreview = true;
    world.makeFolder(systemTree + "/Titles.localized/Vrel Real");
    PluginManager m(world.environment());
    m.start();
    m.setInstalledPlugins({InstalledPlugin{"字幕", "Vrel 样例", {"/sample"}}});
    m.viewInstalledLocations(std::nullopt);
    EXPECT_EQ(m.locationSummary().succeeded, QStringList{"Vrel 样例"});
    EXPECT_TRUE(m.allTemplatePlugins().isEmpty());
}

TEST(LocationCollection, ABatchAddsTheNewFoldersOfKnownCategoriesSortedWithoutRepeats) {
    test::TestWorld world;
    test::FakeInventoryHost host(world.environment());
    const auto plugin = [](const QString &category, const QString &name, const QString &path) {
        return InstalledPlugin{category, name, {path}};
    };
    host.setAllTemplatePlugins({
        plugin("字幕", "Old Title", "/t/Titles.localized/Old Title"),
        plugin("转场", "Slide.localized", "/t/Transitions.localized/Slide.localized"),
        plugin("效果", "Blur", "/t/Effects.localized/Blur"),
        plugin("别的", "Odd", "/t/Other/Odd"),
    });
    InstallLocationSummary summary;
    summary.isBatch = true;
    summary.entries = {InstallLocationEntry{FCPLocation::effects, "Blur"}};
    host.setLocationSummary(summary);

    host.inventory().addEntriesOfNewFolders({"/t/Titles.localized/Old Title"});
    const QStringList expected{InstallLocationEntry{FCPLocation::effects, "Blur"}.id(),
                               InstallLocationEntry{FCPLocation::transitions, "Slide"}.id()};
    EXPECT_EQ(entryIds(host.locationSummary()), expected);
    EXPECT_TRUE(host.locationSummary().isBatch);

    // Nothing new: the summary stays as it was.
    const InstallLocationSummary before = host.locationSummary();
    host.inventory().addEntriesOfNewFolders({"/t/Titles.localized/Old Title",
                                            "/t/Transitions.localized/Slide.localized", "/t/Effects.localized/Blur",
                                            "/t/Other/Odd"});
    EXPECT_EQ(host.locationSummary(), before);
}
