#include "inventory/InstallRecords.h"
#include "model/PluginManager.h"
#include "support/Products.h"
#include "support/TestWorld.h"

#include <QSet>

#include <gtest/gtest.h>

using namespace quillon;

namespace {

using test::product;

QSet<QString> asSet(const QStringList &list) { return QSet<QString>(list.begin(), list.end()); }

} // namespace

TEST(InstallRecordKeys, OneBuilderServesEveryPrefixAndKeepsTheKeyUnchanged) {
    EXPECT_EQ(installedPathsDefaultsKey(InstallRecord::installReceipt, "K"), "vrel.product.install.receipt.K");
    EXPECT_EQ(installedPathsDefaultsKey(InstallRecord::packageVersion, "K"), "vrel.product.version.K");
    EXPECT_EQ(installedPathsDefaultsKey(InstallRecord::productPaths, "K"), "vrel.product.paths.K");
    EXPECT_EQ(installedPathsDefaultsKey(InstallRecord::installedPaths, "wechat-account"),
              "vrel.installed.paths.wechat-account");
    EXPECT_EQ(installedPathsDefaultsKey(InstallRecord::entitlementProducts, "account:M"),
              "vrel.entitlement.products.account:M");
    EXPECT_EQ(installedPathsDefaultsKey(InstallRecord::productPaths, " Mixed Case "), "vrel.product.paths. Mixed Case ");
}

TEST(InstallRecordKeys, EntitlementKeyNamesTheMembershipOrTheAccount) {
    EXPECT_EQ(entitlementStorageKey(QStringLiteral("all_site_2024")), "account:all_site_2024");
    EXPECT_EQ(entitlementStorageKey(QString()), "wechat-account");
    EXPECT_EQ(entitlementStorageKey(std::nullopt), "wechat-account");
    EXPECT_EQ(entitlementStorageKey(QStringLiteral(" ")), "account: ");
}

TEST(InstallRecordsUnion, NoItemTwice) {
    EXPECT_EQ(unionOfRecords({"a", "b"}, {"b", "c", "c", "a"}), (QStringList{"a", "b", "c"}));
    EXPECT_EQ(unionOfRecords({"a", "a"}, {}), QStringList{"a"});
    EXPECT_TRUE(unionOfRecords({}, {}).isEmpty());
}

TEST(InstallRecords, SavingTheSamePathsTwiceStoresEachOnce) {
    test::TestWorld world;
    PluginManager m(world.environment());
    m.saveInstalledProductPaths({"/a", "/b"}, "P1");
    m.saveInstalledProductPaths({"/b", "/a", "/c"}, "P1");
    EXPECT_EQ(asSet(m.savedInstalledProductPaths("P1")), (QSet<QString>{"/a", "/b", "/c"}));
    EXPECT_EQ(m.savedInstalledProductPaths("P1").size(), 3);
    EXPECT_TRUE(m.savedInstalledProductPaths("P2").isEmpty());

    m.saveInstalledPaths({"/x", "/x"}, "wechat-account");
    m.saveInstalledPaths({"/y", "/x"}, "wechat-account");
    EXPECT_EQ(m.savedInstalledPaths("wechat-account").size(), 2);
    EXPECT_EQ(asSet(m.savedInstalledPaths("wechat-account")), (QSet<QString>{"/x", "/y"}));

    m.saveInstalledEntitlementProductKey("P1", "account:M");
    m.saveInstalledEntitlementProductKey("P2", "account:M");
    m.saveInstalledEntitlementProductKey("P1", "account:M");
    EXPECT_EQ(asSet(m.savedInstalledEntitlementProductKeys("account:M")), (QSet<QString>{"P1", "P2"}));
    EXPECT_EQ(m.savedInstalledEntitlementProductKeys("account:M").size(), 2);
    EXPECT_TRUE(m.savedInstalledEntitlementProductKeys("wechat-account").isEmpty());
}

TEST(InstallRecords, RecordsSurviveARestart) {
    test::TestWorld world;
    {
        PluginManager m(world.environment());
        m.saveInstalledProductPaths({"/a"}, "P");
        m.saveInstalledEntitlementProductKey("P", "wechat-account");
        m.recordClaimedPartnerActivationCode("CODE-1", QStringLiteral("P"));
        world.preferences->sync();
    }
    world.preferences = Preferences::inFile(world.preferences->fileName());
    PluginManager m(world.environment());
    m.start();
    EXPECT_EQ(m.savedInstalledProductPaths("P"), QStringList{"/a"});
    EXPECT_EQ(m.savedInstalledEntitlementProductKeys("wechat-account"), QStringList{"P"});
    EXPECT_EQ(m.claimedPartnerActivationCodes(), (PartnerCodes{{"P", "CODE-1"}}));
    m.saveInstalledProductPaths({"/a", "/b"}, "P");
    EXPECT_EQ(m.savedInstalledProductPaths("P"), (QStringList{"/a", "/b"}));
}

TEST(InstallRecords, AStoredValueOfTheWrongTypeReadsAsMissing) {
    test::TestWorld world;
    PluginManager m(world.environment());
    Preferences &d = m.defaults();
    d.setValue("vrel.product.paths.P", QStringLiteral("/a"));
    d.setValue("vrel.installed.paths.O", QVariantList{QStringLiteral("/a"), 3});
    d.setValue("vrel.entitlement.products.E", 7);
    d.setValue("vrel.product.install.receipt.P", QStringLiteral("true"));
    d.setValue("vrel.product.version.P", 2);
    EXPECT_TRUE(m.savedInstalledProductPaths("P").isEmpty());
    EXPECT_TRUE(m.savedInstalledPaths("O").isEmpty());
    EXPECT_TRUE(m.savedInstalledEntitlementProductKeys("E").isEmpty());
    EXPECT_FALSE(m.hasInstallReceipt("P"));
    EXPECT_FALSE(m.savedInstalledVersion("P"));

    // A union write over a value of the wrong type starts from nothing.
    m.saveInstalledPaths({"/b"}, "O");
    EXPECT_EQ(m.savedInstalledPaths("O"), QStringList{"/b"});
}

TEST(InstallRecords, ReceiptAndVersionReadAsStored) {
    test::TestWorld world;
    PluginManager m(world.environment());
    EXPECT_FALSE(m.hasInstallReceipt("P"));
    EXPECT_FALSE(m.savedInstalledVersion("P"));
    m.defaults().setValue(installedPathsDefaultsKey(InstallRecord::installReceipt, "P"), true);
    m.defaults().setValue(installedPathsDefaultsKey(InstallRecord::packageVersion, "P"), QStringLiteral(" 1.2 "));
    EXPECT_TRUE(m.hasInstallReceipt("P"));
    EXPECT_EQ(m.savedInstalledVersion("P"), QStringLiteral(" 1.2 "));
    EXPECT_FALSE(m.hasInstallReceipt("p"));
}

// ---- Partner product codes ----

TEST(PartnerCodes, RecordedCodesArePublishedAndStored) {
    test::TestWorld world;
    PluginManager m(world.environment());
    m.recordClaimedPartnerActivationCode("AAA", QStringLiteral("P1"));
    m.recordClaimedPartnerActivationCode("BBB", QStringLiteral("P2"));
    m.recordClaimedPartnerActivationCode("CCC", QStringLiteral("P1"));
    const PartnerCodes expected{{"P1", "CCC"}, {"P2", "BBB"}};
    EXPECT_EQ(m.claimedPartnerActivationCodes(), expected);
    const auto stored = m.defaults().stringDictionary("vrel.partner.activation.codes");
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->value("P1").toString(), "CCC");
    EXPECT_EQ(stored->value("P2").toString(), "BBB");
    EXPECT_EQ(stored->size(), 2);
}

TEST(PartnerCodes, WithoutAProductKeyOrACodeNothingIsRecorded) {
    test::TestWorld world;
    PluginManager m(world.environment());
    m.recordClaimedPartnerActivationCode("AAA", std::nullopt);
    m.recordClaimedPartnerActivationCode("AAA", QString());
    m.recordClaimedPartnerActivationCode(QString(), QStringLiteral("P"));
    EXPECT_TRUE(m.claimedPartnerActivationCodes().isEmpty());
    EXPECT_FALSE(m.defaults().contains("vrel.partner.activation.codes"));
}

TEST(PartnerCodes, TheStartUpLoadsTheStoredCodes) {
    test::TestWorld world;
    world.preferences->setValue("vrel.partner.activation.codes", QVariantMap{{"P", QStringLiteral("X-1")}});
    PluginManager m(world.environment());
    EXPECT_TRUE(m.claimedPartnerActivationCodes().isEmpty()) << "the constructor reads nothing";
    m.start();
    EXPECT_EQ(m.claimedPartnerActivationCodes(), (PartnerCodes{{"P", "X-1"}}));
    EXPECT_TRUE(m.hasClaimedPartnerActivationCode(product("P", "Glow")));
    EXPECT_FALSE(m.hasClaimedPartnerActivationCode(product("Q", "Other")));
}

TEST(PartnerCodes, AStoredDictionaryOfTheWrongTypeLoadsAsNone) {
    test::TestWorld world;
    world.preferences->setValue("vrel.partner.activation.codes", QVariantMap{{"P", 5}});
    PluginManager m(world.environment());
    EXPECT_TRUE(m.claimedPartnerActivationCodes().isEmpty());

    test::TestWorld other;
    other.preferences->setValue("vrel.partner.activation.codes", QStringLiteral("P=X"));
    PluginManager n(other.environment());
    EXPECT_TRUE(n.claimedPartnerActivationCodes().isEmpty());
}

TEST(PartnerCodes, AnEmptyStoredCodeCountsAsNone) {
    test::TestWorld world;
    world.preferences->setValue("vrel.partner.activation.codes", QVariantMap{{"P", QString()}});
    PluginManager m(world.environment());
    EXPECT_FALSE(m.hasClaimedPartnerActivationCode(product("P", "Glow")));
    m.showClaimedPartnerActivationCode(product("P", "Glow"));
    EXPECT_TRUE(world.alerts->shown.isEmpty());
    EXPECT_EQ(world.pasteboard->writes, 0);
}

TEST(PartnerCodes, ShowingACodeCopiesItAndShowsTheAlert) {
    test::TestWorld world;
    PluginManager m(world.environment());
    m.recordClaimedPartnerActivationCode("ABCD-1234", QStringLiteral("P"));
    m.showClaimedPartnerActivationCode(product("P", "Vrel 光效"));
    EXPECT_EQ(world.pasteboard->contents, "ABCD-1234");
    EXPECT_EQ(world.pasteboard->writes, 1);
    ASSERT_EQ(world.alerts->shown.size(), 1);
    const AlertRequest &alert = world.alerts->shown.first();
    EXPECT_EQ(alert.style, AlertRequest::Style::Informational);
    EXPECT_EQ(alert.messageText, QStringLiteral("合作方激活码"));
    EXPECT_EQ(alert.informativeText, QStringLiteral("Vrel 光效\n\nABCD-1234\n\n激活码已复制，可直接粘贴使用。"));
    EXPECT_EQ(alert.buttons, QStringList{QStringLiteral("好的")});
}

TEST(PartnerCodes, ShowingWithoutAStoredCodeOpensNoAlert) {
    test::TestWorld world;
    PluginManager m(world.environment());
    m.recordClaimedPartnerActivationCode("ABCD", QStringLiteral("P"));
    m.showClaimedPartnerActivationCode(product("Q", "Other"));
    EXPECT_TRUE(world.alerts->shown.isEmpty());
    EXPECT_EQ(world.pasteboard->writes, 0);
}

// ---- What an uninstall forgets ----

TEST(InstallRecords, TheProductsThatAddedARemovedFolderAreFoundAndLoseOnlyTheirReceipts) {
    test::TestWorld world;
    InstallRecords records(*world.preferences);
    records.saveInstalledProductPaths({"/t/字幕/Glow", "/t/效果/Blur"}, "glow");
    records.saveInstalledProductPaths({"/t/转场/Slide"}, "slide");
    records.saveInstalledProductPaths({"/t/效果/Blur"}, "blur");
    for (const QString key : {"glow", "slide", "blur"}) {
        records.recordInstalledProduct(key, entitlementStorageKey(std::nullopt), QStringLiteral("1.0"));
    }

    EXPECT_EQ(records.productsThatAdded({"/t/效果/Blur"}), (QSet<QString>{"glow", "blur"}));
    EXPECT_EQ(records.productsThatAdded({"/t/转场/Slide", "/elsewhere"}), QSet<QString>{"slide"});
    EXPECT_TRUE(records.productsThatAdded({"/t/效果"}).isEmpty()); // whole paths only
    EXPECT_TRUE(records.productsThatAdded({}).isEmpty());

    records.forgetReceipts({"glow", "never-installed"});
    EXPECT_FALSE(records.hasInstallReceipt("glow"));
    EXPECT_TRUE(records.hasInstallReceipt("slide"));
    EXPECT_TRUE(records.hasInstallReceipt("blur"));
    // The receipt alone goes: the version and the folders stay on record.
    EXPECT_EQ(records.savedInstalledVersion("glow"), QStringLiteral("1.0"));
    EXPECT_EQ(records.savedInstalledProductPaths("glow").size(), 2);
    EXPECT_EQ(records.savedInstalledEntitlementProductKeys("wechat-account"), (QStringList{"glow", "slide", "blur"}));
}
