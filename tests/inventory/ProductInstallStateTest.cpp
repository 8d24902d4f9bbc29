#include "inventory/InstallRecords.h"
#include "inventory/PluginInstallMatcher.h"
#include "inventory/TemplateNameIndex.h"
#include "model/PluginManager.h"
#include "support/Products.h"
#include "support/TestWorld.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <gtest/gtest.h>

using namespace quillon;

namespace {

const QString systemTree = QStringLiteral("system/Library/Application Support/Final Cut Pro/Templates.localized");
const QString userTree = QStringLiteral("home/Movies/Motion Templates.localized");

using test::product;

void setReceipt(PluginManager &m, const QString &key) {
    m.defaults().setValue(installedPathsDefaultsKey(InstallRecord::installReceipt, key), true);
}

void setVersion(PluginManager &m, const QString &key, const QString &version) {
    m.defaults().setValue(installedPathsDefaultsKey(InstallRecord::packageVersion, key), version);
}

} // namespace

TEST(InstalledPaths, EveryMatchingRecordInListOrder) {
    test::TestWorld world;
    const QString s1 = world.makeFolder(systemTree + "/Titles.localized/Glow Titles");
    const QString u1 = world.makeFolder(userTree + "/Titles.localized/Glow Titles");
    const QString g = world.makeFolder(userTree + "/Generators.localized/Glow Back.localized");
    world.makeFolder(userTree + "/Effects.localized/Other");
    PluginManager m(world.environment());
    m.refreshInstalledPlugins();
    EXPECT_EQ(m.installedPluginPaths("Glow"), (QStringList{g, s1, u1}));
    EXPECT_TRUE(m.installedPluginPaths("Missing").isEmpty());
    EXPECT_TRUE(m.installedPluginPaths("Gl").isEmpty());
}

TEST(InstalledPaths, FollowTheListWhenItIsReplaced) {
    test::TestWorld world;
    world.makeFolder(systemTree + "/Titles.localized/Glow Titles");
    PluginManager m(world.environment());
    m.refreshInstalledPlugins();
    ASSERT_EQ(m.installedPluginPaths("Glow").size(), 1);
    m.setAllTemplatePlugins({InstalledPlugin{"效果", "Vrel Glow", {"/x", "/y"}}, InstalledPlugin{"字幕", "Glow 2", {"/z"}}});
    EXPECT_EQ(m.installedPluginPaths("Glow"), (QStringList{"/x", "/y", "/z"}));
    // The member library's products are matched ahead; a new library or list is matched anew.
    m.setMemberProducts({product("P", "Glow")});
    EXPECT_EQ(m.installedPluginPaths("Glow"), (QStringList{"/x", "/y", "/z"}));
    m.setAllTemplatePlugins({InstalledPlugin{"字幕", "Glow 3", {"/w"}}, InstalledPlugin{"字幕", "Other", {"/v"}}});
    EXPECT_EQ(m.installedPluginPaths("Glow"), QStringList{"/w"});
    m.setMemberProducts({product("P", "Glow 3")});
    EXPECT_EQ(m.installedPluginPaths("Glow 3"), QStringList{"/w"});
    m.setAllTemplatePlugins({});
    EXPECT_TRUE(m.installedPluginPaths("Glow 3").isEmpty());
}

TEST(ProductInstalled, AReceiptIsEnoughEvenWithoutFolders) {
    test::TestWorld world;
    PluginManager m(world.environment());
    m.refreshInstalledPlugins();
    const auto p = product("P", "Glow");
    EXPECT_FALSE(m.isProductInstalled(p));
    setReceipt(m, "P");
    EXPECT_TRUE(m.isProductInstalled(p));
    EXPECT_FALSE(m.isProductInstalled(product("p", "Glow")));
}

TEST(ProductInstalled, ARecordedPathCountsWhileItExists) {
    test::TestWorld world;
    const QString folder = world.makeFolder("anywhere/Some Folder");
    PluginManager m(world.environment());
    m.refreshInstalledPlugins();
    const auto p = product("P", "Unmatched Name");
    m.saveInstalledProductPaths({world.path("gone"), folder}, "P");
    EXPECT_TRUE(m.isProductInstalled(p));
    ASSERT_TRUE(QDir(folder).removeRecursively());
    EXPECT_FALSE(m.isProductInstalled(p));
    // A recorded file counts as much as a folder.
    m.saveInstalledProductPaths({world.writeFile("anywhere/file", "x")}, "P");
    EXPECT_TRUE(m.isProductInstalled(p));
}

TEST(ProductInstalled, AMatchingScannedFolderCountsWithoutAnyRecord) {
    test::TestWorld world;
    world.makeFolder(userTree + "/Effects.localized/Vrel Light Leaks.localized");
    PluginManager m(world.environment());
    m.refreshInstalledPlugins();
    EXPECT_TRUE(m.isProductInstalled(product("P", "Light Leaks")));
    EXPECT_FALSE(m.isProductInstalled(product("Q", "Light Leaks Pro")));
    EXPECT_FALSE(m.isProductInstalled(product("R", "Li")));
}

TEST(ProductInstalled, TheScanIsNotRepeatedByTheTest) {
    test::TestWorld world;
    PluginManager m(world.environment());
    m.refreshInstalledPlugins();
    world.makeFolder(userTree + "/Effects.localized/Vrel Light Leaks");
    EXPECT_FALSE(m.isProductInstalled(product("P", "Light Leaks")));
    m.refreshInstalledPlugins();
    EXPECT_TRUE(m.isProductInstalled(product("P", "Light Leaks")));
}

TEST(ProductUpdate, VersionsCompareNumerically) {
    test::TestWorld world;
    PluginManager m(world.environment());
    m.refreshInstalledPlugins();
    setReceipt(m, "P");
    const auto offered = [](const QString &v) { return product("P", "Glow", v); };

    setVersion(m, "P", "1.10");
    EXPECT_TRUE(m.isProductUpdateAvailable(offered("2.0")));
    setVersion(m, "P", "1.9");
    EXPECT_TRUE(m.isProductUpdateAvailable(offered("1.10")));
    setVersion(m, "P", "2.0.0");
    EXPECT_FALSE(m.isProductUpdateAvailable(offered("2.0")));
    setVersion(m, "P", "2.1");
    EXPECT_FALSE(m.isProductUpdateAvailable(offered("2.0")));
    // The offered version is trimmed; the stored one is compared as stored.
    setVersion(m, "P", "1.0");
    EXPECT_TRUE(m.isProductUpdateAvailable(offered(" \n1.1\t ")));
    EXPECT_FALSE(m.isProductUpdateAvailable(offered(" 1.0\n")));
}

TEST(ProductUpdate, ABlankOrAbsentOfferNeverUpdates) {
    test::TestWorld world;
    PluginManager m(world.environment());
    m.refreshInstalledPlugins();
    setReceipt(m, "P");
    EXPECT_FALSE(m.isProductUpdateAvailable(product("P", "Glow")));
    EXPECT_FALSE(m.isProductUpdateAvailable(product("P", "Glow", QString())));
    EXPECT_FALSE(m.isProductUpdateAvailable(product("P", "Glow", QStringLiteral(" \n\t"))));
}

TEST(ProductUpdate, AnInstalledProductWithoutAStoredVersionIsOffered) {
    test::TestWorld world;
    PluginManager m(world.environment());
    m.refreshInstalledPlugins();
    setReceipt(m, "P");
    EXPECT_TRUE(m.isProductUpdateAvailable(product("P", "Glow", "1.0")));
    setVersion(m, "P", QString());
    EXPECT_TRUE(m.isProductUpdateAvailable(product("P", "Glow", "1.0")));
    // A version stored with the wrong type reads as none.
    m.defaults().setValue(installedPathsDefaultsKey(InstallRecord::packageVersion, "P"), 3);
    EXPECT_TRUE(m.isProductUpdateAvailable(product("P", "Glow", "1.0")));
}

TEST(ProductUpdate, ANotInstalledProductIsNeverOffered) {
    test::TestWorld world;
    PluginManager m(world.environment());
    m.refreshInstalledPlugins();
    setVersion(m, "P", "1.0");
    EXPECT_FALSE(m.isProductUpdateAvailable(product("P", "Glow", "9.0")));
}

// The index must answer exactly what the matcher answers, folder by folder.
TEST(TemplateNameIndexTest, AgreesWithTheMatcherOnGeneratedNames) {
    const QStringList pieces{"Vrel", " ", "Glow", "glow", "GLOW", ".localized", ".LOCALIZED", "电影", "字幕", "-",
                             "Ｇｌｏｗ", "é", "e\u0301", "10", "2", "𠀀", "::", "ab", "Pro", "Max", "✨", "ｱ"};
    QRandomGenerator random(20261206);
    const auto makeName = [&](int maxPieces) {
        QString name;
        const int count = 1 + int(random.bounded(maxPieces));
        for (int i = 0; i < count; ++i) {
            name += pieces.at(int(random.bounded(pieces.size())));
        }
        return name;
    };
    QList<InstalledPlugin> plugins;
    for (int i = 0; i < 400; ++i) {
        plugins.append(InstalledPlugin{"字幕", makeName(5), {QString::number(i)}});
    }
    plugins.append(InstalledPlugin{"字幕", "Vrel Glow 电影字幕", {"both aliases"}});
    const PluginInstallMatcher::AliasTable table{{"Glow Set", {"Vrel Glow", "ab", "电影字幕"}}, {"Glow", {"Ｇｌｏｗ Pro"}}};
    QStringList products{"Glow Set", "Glow", "电影字幕", "Ｇｌｏｗ Pro", "ab", "Glow"};
    for (int i = 0; i < 100; ++i) {
        products.append(makeName(3));
    }
    // The library's products are matched all at once, any other name (here "Glow Set",
    // whose aliases may match one folder twice) on its own.
    QList<MemberProduct> library;
    for (const QString &name : products.mid(2, 60)) {
        library.append(product(name, name));
    }
    const TemplateNameIndex index(plugins, library, nullptr, table);
    std::vector<char> libraryFolders(size_t(plugins.size()), 0);
    int hits = 0;
    for (qsizetype p = 0; p < products.size(); ++p) {
        const QString &name = products.at(p);
        QList<qsizetype> expected;
        for (qsizetype i = 0; i < plugins.size(); ++i) {
            if (PluginInstallMatcher::matches(name, plugins.at(i).name, table)) {
                expected.append(i);
                libraryFolders[size_t(i)] |= p >= 2 && p < 62 ? 1 : 0;
            }
        }
        hits += int(expected.size());
        EXPECT_EQ(index.matching(name, table), expected) << name.toStdString();
    }
    EXPECT_EQ(index.productFolders(), libraryFolders);
    EXPECT_GT(hits, 100);
}

// An alias found as the tail of a longer one's beginning ("bcd" inside "abcd…"), and a
// library large enough that the automaton's edge table grows.
TEST(TemplateNameIndexTest, FindsAliasesInsideLongerOnesAndInLargeLibraries) {
    QList<MemberProduct> library{product("1", "Bcd"), product("2", "Abcde"), product("3", "Cdx")};
    for (int i = 0; i < 300; ++i) {
        library.append(product(QString::number(i), QStringLiteral("Product %1 Extra Long Name").arg(i)));
    }
    const QList<InstalledPlugin> plugins{{"字幕", "Abcdx", {"0"}}, {"字幕", "Vrel Product 250 Extra Long Name", {"1"}}};
    const TemplateNameIndex index(plugins, library);
    EXPECT_EQ(index.matching("Bcd"), QList<qsizetype>{0});
    EXPECT_EQ(index.matching("Cdx"), QList<qsizetype>{0});
    EXPECT_TRUE(index.matching("Abcde").isEmpty());
    EXPECT_EQ(index.matching("Product 250 Extra Long Name"), QList<qsizetype>{1});
    EXPECT_TRUE(index.matching("Product 25 Extra Long Name").isEmpty());
}

TEST(TemplateNameIndexTest, AgreesWithTheMatcherWhenFoldingLengthensANameOrTheProduct) {
    const QList<InstalledPlugin> plugins{
        {"字幕", "Straße", {"0"}}, {"字幕", "ßa", {"1"}}, {"字幕", "ﬁlm Pack", {"2"}},
        {"字幕", "Strasse", {"3"}}, {"字幕", "ab", {"4"}}, {"字幕", "ﬀ", {"5"}}};
    const QStringList names{"strasse", "STRAẞE", "ssa", "film", "ﬃ", "ff", "ß"};
    QList<MemberProduct> library;
    for (const QString &name : names) {
        library.append(product(name, name));
    }
    const PluginInstallMatcher::AliasTable table;
    const TemplateNameIndex index(plugins), withLibrary(plugins, library, nullptr, table);
    for (const QString &name : names) {
        QList<qsizetype> expected;
        for (qsizetype i = 0; i < plugins.size(); ++i) {
            if (PluginInstallMatcher::matches(name, plugins.at(i).name, table)) {
                expected.append(i);
            }
        }
        EXPECT_EQ(index.matching(name, table), expected) << name.toStdString();
        EXPECT_EQ(withLibrary.matching(name, table), expected) << name.toStdString();
    }
    EXPECT_EQ(index.matching("strasse", table), (QList<qsizetype>{0, 3}));
    EXPECT_EQ(index.matching("ssa", table), QList<qsizetype>{1});
    EXPECT_EQ(index.matching("film", table), QList<qsizetype>{2});
}

TEST(InstalledPaths, ARescanWithTheSameNamesReportsTheNewPaths) {
    test::TestWorld world;
    const QString system = world.makeFolder(systemTree + "/Titles.localized/Glow Titles");
    PluginManager m(world.environment());
    m.refreshInstalledPlugins();
    ASSERT_EQ(m.installedPluginPaths("Glow"), QStringList{system});
    // Moved from the system tree to the user's: the same names, other paths.
    ASSERT_TRUE(QDir(system).removeRecursively());
    const QString user = world.makeFolder(userTree + "/Titles.localized/Glow Titles");
    m.refreshInstalledPlugins();
    EXPECT_EQ(m.installedPluginPaths("Glow"), QStringList{user});
    // A new name beside the old one is matched as well.
    const QString other = world.makeFolder(userTree + "/Titles.localized/Glow More");
    m.refreshInstalledPlugins();
    EXPECT_EQ(m.installedPluginPaths("Glow"), (QStringList{other, user}));
}

// The row tests keep each product's records and what the scan found of its folders between
// calls: every change must still show at the next call.
TEST(ProductInstalled, ARecordedTemplateFolderCountsWhileItExistsAndWhileItIsRecorded) {
    test::TestWorld world;
    const QString folder = world.makeFolder(userTree + "/Titles.localized/Some Titles");
    world.makeFolder(userTree + "/Titles.localized/Neighbour");
    PluginManager m(world.environment());
    m.refreshInstalledPlugins();
    const auto p = product("P", "Unmatched Name");
    EXPECT_FALSE(m.isProductInstalled(p));
    m.saveInstalledProductPaths({folder + "-gone", folder}, "P");
    EXPECT_TRUE(m.isProductInstalled(p));

    // Looked at now: removed or made again behind the program's back, without a rescan.
    ASSERT_TRUE(QDir(folder).removeRecursively());
    EXPECT_FALSE(m.isProductInstalled(p));
    world.makeFolder(userTree + "/Titles.localized/Some Titles");
    EXPECT_TRUE(m.isProductInstalled(p));

    // A file of that name counts as much as a folder; a record taken away counts no more.
    ASSERT_TRUE(QDir(folder).removeRecursively());
    EXPECT_FALSE(m.isProductInstalled(p));
    world.writeFile(userTree + "/Titles.localized/Some Titles", "x");
    EXPECT_TRUE(m.isProductInstalled(p));
    m.defaults().remove(installedPathsDefaultsKey(InstallRecord::productPaths, "P"));
    EXPECT_FALSE(m.isProductInstalled(p));
    setReceipt(m, "P");
    EXPECT_TRUE(m.isProductInstalled(p));
    m.defaults().remove(installedPathsDefaultsKey(InstallRecord::installReceipt, "P"));
    EXPECT_FALSE(m.isProductInstalled(p));
}

TEST(ProductInstalled, ARecordedLinkOrAPathBelowATemplateFolderIsLookedAtEveryTime) {
    test::TestWorld world;
    const QString target = world.makeFolder("elsewhere/Target");
    const QString link = world.path(userTree + "/Effects.localized/Linked");
    world.makeFolder(userTree + "/Effects.localized");
    ASSERT_TRUE(QFile::link(target, link));
    const QString inner = world.makeFolder(userTree + "/Effects.localized/Outer/Inner");
    PluginManager m(world.environment());
    m.refreshInstalledPlugins();
    const auto p = product("P", "Unmatched Name");
    const auto q = product("Q", "Other Unmatched");
    m.saveInstalledProductPaths({link}, "P");
    m.saveInstalledProductPaths({inner}, "Q");
    EXPECT_TRUE(m.isProductInstalled(p));
    EXPECT_TRUE(m.isProductInstalled(q));
    // Without a rescan: the link's target and the inner folder go, and the tests see it.
    ASSERT_TRUE(QDir(target).removeRecursively());
    ASSERT_TRUE(QDir(inner).removeRecursively());
    EXPECT_FALSE(m.isProductInstalled(p));
    EXPECT_FALSE(m.isProductInstalled(q));
}

TEST(ProductUpdate, AVersionStoredLaterIsCompared) {
    test::TestWorld world;
    PluginManager m(world.environment());
    m.refreshInstalledPlugins();
    setReceipt(m, "P");
    const auto p = product("P", "Glow", "2.0");
    EXPECT_TRUE(m.isProductUpdateAvailable(p));
    setVersion(m, "P", "2.0");
    EXPECT_FALSE(m.isProductUpdateAvailable(p));
    m.defaults().remove(installedPathsDefaultsKey(InstallRecord::packageVersion, "P"));
    EXPECT_TRUE(m.isProductUpdateAvailable(p));
}
