#include "inventory/TemplateScan.h"
#include "model/PluginManager.h"
#include "support/Products.h"
#include "support/TestWorld.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>

#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

using namespace quillon;

namespace {

const QString systemTree = QStringLiteral("system/Library/Application Support/Final Cut Pro/Templates.localized");
const QString userTree = QStringLiteral("home/Movies/Motion Templates.localized");

QString systemFolder(test::TestWorld &world, const QString &category, const QString &name) {
    return world.makeFolder(systemTree + "/" + category + "/" + name);
}

QString userFolder(test::TestWorld &world, const QString &category, const QString &name) {
    return world.makeFolder(userTree + "/" + category + "/" + name);
}

QStringList ids(const QList<InstalledPlugin> &plugins) {
    QStringList result;
    for (const auto &p : plugins) {
        result.append(p.id());
    }
    return result;
}

using test::product;

} // namespace

TEST(TemplateScan, RootsAreTheSystemTreeThenTheUserTree) {
    SystemPaths paths;
    paths.systemRoot = QStringLiteral("/");
    paths.home = QStringLiteral("/Users/ann");
    EXPECT_EQ(templateRoots(paths),
              (QStringList{"/Library/Application Support/Final Cut Pro/Templates.localized",
                           "/Users/ann/Movies/Motion Templates.localized"}));
    paths.systemRoot = QStringLiteral("/sandbox");
    EXPECT_EQ(templateRoots(paths).first(), "/sandbox/Library/Application Support/Final Cut Pro/Templates.localized");
}

TEST(TemplateScan, NeitherTreeGivesEmptyLists) {
    test::TestWorld world;
    PluginManager m(world.environment());
    m.refreshInstalledPlugins();
    EXPECT_TRUE(m.allTemplatePlugins().isEmpty());
    EXPECT_TRUE(m.installedPlugins().isEmpty());
}

TEST(TemplateScan, PlainFilesAndTheMarkerAreIgnoredHiddenFoldersAreListed) {
    test::TestWorld world;
    world.writeFile(systemTree + "/Titles.localized/.DS_Store", "x");
    world.writeFile(systemTree + "/Titles.localized/Vrel Note.txt", "x");
    world.writeFile(systemTree + "/Effects.localized/.localized", "");
    world.makeFolder(userTree + "/Effects.localized/.localized");
    systemFolder(world, "Titles.localized", ".Vrel Hidden");
    systemFolder(world, "Titles.localized", "Vrel Shown");
    PluginManager m(world.environment());
    m.refreshInstalledPlugins();
    EXPECT_EQ(ids(m.allTemplatePlugins()), (QStringList{"字幕::.Vrel Hidden", "字幕::Vrel Shown"}));
}

TEST(TemplateScan, TheSameFolderInBothTreesIsOneRecordSystemPathFirst) {
    test::TestWorld world;
    const QString user = userFolder(world, "Titles.localized", "Vrel Glow");
    const QString system = systemFolder(world, "Titles.localized", "Vrel Glow");
    PluginManager m(world.environment());
    m.refreshInstalledPlugins();
    ASSERT_EQ(m.allTemplatePlugins().size(), 1);
    const InstalledPlugin &p = m.allTemplatePlugins().first();
    EXPECT_EQ(p.category, "字幕");
    EXPECT_EQ(p.name, "Vrel Glow");
    EXPECT_EQ(p.paths, (QStringList{system, user}));
    EXPECT_EQ(m.installedPlugins(), m.allTemplatePlugins());
}

TEST(TemplateScan, ANameComposedInOneTreeAndDecomposedInTheOtherIsOneRecord) {
    test::TestWorld world;
    // Each record takes the system tree's spelling; the paths stay as on disk.
    const QString composed = QStringLiteral("Vrel Caf\u00e9"), decomposed = QStringLiteral("Vrel Cafe\u0301");
    const QStringList titles{userFolder(world, "Titles.localized", composed), systemFolder(world, "Titles.localized", decomposed)};
    const QStringList effects{userFolder(world, "Effects.localized", decomposed), systemFolder(world, "Effects.localized", composed)};
    PluginManager m(world.environment());
    m.refreshInstalledPlugins();
    ASSERT_EQ(m.allTemplatePlugins().size(), 2);
    EXPECT_EQ(m.allTemplatePlugins().at(0), (InstalledPlugin{"字幕", decomposed, {titles[1], titles[0]}}));
    EXPECT_EQ(m.allTemplatePlugins().at(1), (InstalledPlugin{"效果", composed, {effects[1], effects[0]}}));
}

TEST(TemplateScan, TheSameNameInTwoCategoriesIsTwoRecords) {
    test::TestWorld world;
    systemFolder(world, "Titles.localized", "Vrel Glow");
    userFolder(world, "Effects.localized", "Vrel Glow");
    PluginManager m(world.environment());
    m.refreshInstalledPlugins();
    EXPECT_EQ(ids(m.allTemplatePlugins()), (QStringList{"字幕::Vrel Glow", "效果::Vrel Glow"}));
}

TEST(TemplateScan, NamesKeepTheirLocalizedEndingAndNamesWithTheSeparatorAreDropped) {
    test::TestWorld world;
    systemFolder(world, "Generators.localized", "Vrel Back.localized");
    systemFolder(world, "Generators.localized", "Vrel::Odd");
    systemFolder(world, "Generators.localized", "::Vrel");
    systemFolder(world, "Generators.localized", "Vrel: one:");
    PluginManager m(world.environment());
    m.refreshInstalledPlugins();
    EXPECT_EQ(ids(m.allTemplatePlugins()), (QStringList{"发生器::Vrel Back.localized", "发生器::Vrel: one:"}));
}

TEST(TemplateScan, SymbolicLinksAreNotPlugins) {
    test::TestWorld world;
    const QString target = world.makeFolder("elsewhere/Vrel Linked Target");
    const QString category = world.makeFolder(systemTree + "/Effects.localized");
    ASSERT_TRUE(QFile::link(target, category + "/Vrel Linked"));
    ASSERT_TRUE(QFile::link(world.writeFile("elsewhere/file", "x"), category + "/Vrel File Link"));
    ASSERT_TRUE(QFile::link(world.path("nowhere"), category + "/Vrel Broken Link"));
    systemFolder(world, "Effects.localized", "Vrel Real");
    PluginManager m(world.environment());
    m.refreshInstalledPlugins();
    EXPECT_EQ(ids(m.allTemplatePlugins()), QStringList{"效果::Vrel Real"});
}

TEST(TemplateScan, ARescanTakesUnchangedListingsAsTheyWereAndSeesEveryChange) {
    test::TestWorld world;
    const QString glow = systemFolder(world, "Effects.localized", "Vrel Glow");
    systemFolder(world, "Titles.localized", "Vrel Title");
    TemplateScanner scanner;
    const QStringList roots = templateRoots(world.paths);
    const QList<InstalledPlugin> first = scanner.scan(roots);
    const QList<InstalledPlugin> again = scanner.scan(roots);
    EXPECT_EQ(again.constData(), first.constData()) << "nothing changed, so nothing was made anew";

    // A folder replaced by a link of the same name: the listing differs, the record goes.
    ASSERT_TRUE(QDir(glow).removeRecursively());
    ASSERT_TRUE(QFile::link(world.makeFolder("elsewhere/Vrel Glow"), glow));
    EXPECT_EQ(ids(scanner.scan(roots)), QStringList{"字幕::Vrel Title"});
    EXPECT_EQ(scanner.scan(roots), scanTemplateTrees(roots));
}

TEST(TemplateScan, AMissingTreeLeavesTheOtherScanned) {
    test::TestWorld world;
    userFolder(world, "Transitions.localized", "Vrel Swipe");
    PluginManager m(world.environment());
    m.refreshInstalledPlugins();
    ASSERT_EQ(m.allTemplatePlugins().size(), 1);
    EXPECT_EQ(m.allTemplatePlugins().first().paths.size(), 1);
    EXPECT_TRUE(m.allTemplatePlugins().first().paths.first().contains("/home/Movies/Motion Templates.localized/"));
}

TEST(TemplateScan, OnlyTheFourCategoryFoldersAreRead) {
    test::TestWorld world;
    world.makeFolder(systemTree + "/Vrel Loose");
    world.makeFolder(systemTree + "/Titles/Vrel NotLocalized");
    world.makeFolder(systemTree + "/Titles.localized/Vrel Deep/Vrel Nested");
    PluginManager m(world.environment());
    m.refreshInstalledPlugins();
    EXPECT_EQ(ids(m.allTemplatePlugins()), QStringList{"字幕::Vrel Deep"});
}

TEST(TemplateScan, WithoutMemberProductsOnlyTheBrandIsPublished) {
    test::TestWorld world;
    systemFolder(world, "Titles.localized", "vREL lower");
    systemFolder(world, "Titles.localized", "Other Maker Titles");
    systemFolder(world, "Effects.localized", "MyVrelFx");
    PluginManager m(world.environment());
    m.refreshInstalledPlugins();
    EXPECT_EQ(ids(m.allTemplatePlugins()), (QStringList{"字幕::Other Maker Titles", "字幕::vREL lower", "效果::MyVrelFx"}));
    EXPECT_EQ(ids(m.installedPlugins()), (QStringList{"字幕::vREL lower", "效果::MyVrelFx"}));
}

TEST(TemplateScan, AFolderOfAMemberProductIsPublished) {
    test::TestWorld world;
    systemFolder(world, "Titles.localized", "Cinema-Titles Pack.localized");
    systemFolder(world, "Titles.localized", "Unrelated");
    PluginManager m(world.environment());
    m.refreshInstalledPlugins();
    EXPECT_TRUE(m.installedPlugins().isEmpty());
    m.setMemberProducts({product("p1", "Nothing Here"), product("p2", "Cinema Titles")});
    m.refreshInstalledPlugins();
    EXPECT_EQ(ids(m.installedPlugins()), QStringList{"字幕::Cinema-Titles Pack.localized"});
    EXPECT_EQ(m.allTemplatePlugins().size(), 2);
    // Another library of the same size over the same folders.
    m.setMemberProducts({product("p1", "Nothing Here"), product("p3", "Unrelated")});
    m.refreshInstalledPlugins();
    EXPECT_EQ(ids(m.installedPlugins()), QStringList{"字幕::Unrelated"});
}

TEST(TemplateScan, PublishedOrderIsGeneratorsTitlesEffectsTransitionsThenName) {
    test::TestWorld world;
    userFolder(world, "Transitions.localized", "Vrel A");
    userFolder(world, "Effects.localized", "Vrel B");
    systemFolder(world, "Effects.localized", "Vrel A");
    systemFolder(world, "Titles.localized", "Vrel b");
    systemFolder(world, "Titles.localized", "Vrel B");
    systemFolder(world, "Titles.localized", "Vrel 10");
    systemFolder(world, "Titles.localized", "Vrel 2");
    userFolder(world, "Generators.localized", "Vrel Z");
    PluginManager m(world.environment());
    m.refreshInstalledPlugins();
    EXPECT_EQ(ids(m.installedPlugins()),
              (QStringList{"发生器::Vrel Z", "字幕::Vrel 10", "字幕::Vrel 2", "字幕::Vrel B", "字幕::Vrel b",
                           "效果::Vrel A", "效果::Vrel B", "转场::Vrel A"}));
}

TEST(TemplateScan, NamesSortByCodePointsOfTheirComposedForms) {
    test::TestWorld world;
    // U+FF21 sorts before U+20000 by code point, after it by UTF-16 unit.
    systemFolder(world, "Titles.localized", "Vrel \U00020000");
    systemFolder(world, "Titles.localized", "Vrel \uFF21");
    // A decomposed é sorts as the composed one (U+00E9), after "f".
    systemFolder(world, "Titles.localized", "Vrel e\u0301");
    systemFolder(world, "Titles.localized", "Vrel f");
    PluginManager m(world.environment());
    m.refreshInstalledPlugins();
    QStringList names;
    for (const auto &p : m.installedPlugins()) {
        names.append(p.name);
    }
    EXPECT_EQ(names, (QStringList{"Vrel f", "Vrel e\u0301", "Vrel \uFF21", "Vrel \U00020000"}));
}

TEST(TemplateScan, CompareCodePoints) {
    EXPECT_LT(compareCodePoints(u"\uFF21", u"\U00020000"), 0);
    EXPECT_GT(compareCodePoints(u"\U00020000", u"\uE000"), 0);
    EXPECT_LT(compareCodePoints(u"\uD7FF", u"\U00010000"), 0);
    EXPECT_LT(compareCodePoints(u"ab", u"abc"), 0);
    EXPECT_EQ(compareCodePoints(u"abc", u"abc"), 0);
    EXPECT_GT(compareCodePoints(u"b", u"abc"), 0);
}

TEST(TemplateScan, ARescanForgetsRemovedFoldersAndPublishesOnce) {
    test::TestWorld world;
    const QString a = systemFolder(world, "Titles.localized", "Vrel A");
    systemFolder(world, "Titles.localized", "Vrel B");
    PluginManager m(world.environment());
    m.refreshInstalledPlugins();
    ASSERT_EQ(m.installedPlugins().size(), 2);

    QSignalSpy spy(&m, &PluginManager::changed);
    ASSERT_TRUE(QDir(a).removeRecursively());
    systemFolder(world, "Effects.localized", "Vrel C");
    systemFolder(world, "Effects.localized", "Other");
    m.refreshInstalledPlugins();
    EXPECT_EQ(ids(m.installedPlugins()), (QStringList{"字幕::Vrel B", "效果::Vrel C"}));
    EXPECT_EQ(ids(m.allTemplatePlugins()), (QStringList{"字幕::Vrel B", "效果::Other", "效果::Vrel C"}));
    EXPECT_EQ(spy.count(), 1);
}

TEST(TemplateScan, GuidePreviewDoesNotScan) {
    test::TestWorld world;
    world.isGuidePreview = true;
    systemFolder(world, "Titles.localized", "Vrel A");
    PluginManager m(world.environment());
    m.start();
    EXPECT_TRUE(m.allTemplatePlugins().isEmpty());
}

namespace {

// Sets a folder's modification time an hour back, as if it had been left alone since.
void ageFolder(const QString &folder) {
    timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = ::time(nullptr) - 3600;
    times[1].tv_nsec = 0;
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(folder).constData(), times, 0), 0);
}

} // namespace

// A folder whose stamp has not moved since a listing made well after its last change is
// taken as listed then; any change moves the stamp.
TEST(TemplateScan, ASettledCategoryFolderIsListedAgainOnlyWhenItChanged) {
    test::TestWorld world;
    const QString titles = world.makeFolder(userTree + "/Titles.localized");
    const QString glow = userFolder(world, "Titles.localized", "Vrel Glow");
    ageFolder(titles);
    // The clock runs ahead, so that folders changed just now count as settled.
    TemplateScanner scanner([] { return (qint64(::time(nullptr)) + 600) * 1000000000; });
    const QStringList roots = templateRoots(world.paths);
    EXPECT_EQ(ids(scanner.scan(roots)), QStringList{"字幕::Vrel Glow"});
    EXPECT_EQ(ids(scanner.scan(roots)), QStringList{"字幕::Vrel Glow"});

    userFolder(world, "Titles.localized", "Vrel Added");
    EXPECT_EQ(ids(scanner.scan(roots)), (QStringList{"字幕::Vrel Added", "字幕::Vrel Glow"}));
    ageFolder(titles);
    scanner.scan(roots);
    ASSERT_TRUE(QDir(glow).removeRecursively());
    EXPECT_EQ(ids(scanner.scan(roots)), QStringList{"字幕::Vrel Added"});
    ageFolder(titles);
    scanner.scan(roots);
    world.writeFile(userTree + "/Titles.localized/notes.txt", "x");
    EXPECT_EQ(ids(scanner.scan(roots)), QStringList{"字幕::Vrel Added"}) << "a file is no plug-in";
    ageFolder(titles);
    scanner.scan(roots);
    ASSERT_TRUE(QFile::remove(world.path(userTree + "/Titles.localized/notes.txt")));
    world.makeFolder(userTree + "/Titles.localized/notes.txt");
    EXPECT_EQ(ids(scanner.scan(roots)), (QStringList{"字幕::Vrel Added", "字幕::notes.txt"}))
        << "a file that became a folder of the same name";
    // The folder replaced by another of the same name.
    ageFolder(titles);
    scanner.scan(roots);
    ASSERT_TRUE(QDir(titles).removeRecursively());
    userFolder(world, "Titles.localized", "Vrel Other");
    ageFolder(titles);
    EXPECT_EQ(ids(scanner.scan(roots)), QStringList{"字幕::Vrel Other"});
    EXPECT_EQ(scanner.scan(roots), scanTemplateTrees(roots));
}
