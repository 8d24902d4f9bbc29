#include "platform/Preferences.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace quillon;

class PreferencesTest : public ::testing::Test {
protected:
    QString file() const { return dir.filePath(QStringLiteral("prefs.json")); }
    QTemporaryDir dir;
};

TEST_F(PreferencesTest, ValuesKeepTheirTypesAcrossARestart) {
    {
        auto prefs = Preferences::inFile(file());
        prefs->setValue(QStringLiteral("vrel.window.layout.version"), 358);
        prefs->setValue(QStringLiteral("vrel.device.id"), QStringLiteral("3F2A9C1E-0000"));
        prefs->setValue(QStringLiteral("vrel.onboarding.completed.v2"), true);
        prefs->setValue(QStringLiteral("vrel.product.paths.a"), QStringList{QStringLiteral("/x"), QStringLiteral("/y")});
        prefs->setValue(QStringLiteral("vrel.partner.activation.codes"),
                        QVariantMap{{QStringLiteral("p1"), QStringLiteral("CODE-1")}});
        prefs->sync();
    }
    auto reread = Preferences::inFile(file());
    EXPECT_EQ(reread->integer(QStringLiteral("vrel.window.layout.version")), 358);
    EXPECT_EQ(reread->string(QStringLiteral("vrel.device.id")), QStringLiteral("3F2A9C1E-0000"));
    EXPECT_EQ(reread->boolean(QStringLiteral("vrel.onboarding.completed.v2")), true);
    EXPECT_EQ(reread->stringArray(QStringLiteral("vrel.product.paths.a")),
              (QStringList{QStringLiteral("/x"), QStringLiteral("/y")}));
    const auto codes = reread->stringDictionary(QStringLiteral("vrel.partner.activation.codes"));
    ASSERT_TRUE(codes);
    EXPECT_EQ(codes->value(QStringLiteral("p1")).toString(), QStringLiteral("CODE-1"));
}

TEST_F(PreferencesTest, AValueOfAnotherTypeReadsAsMissing) {
    auto prefs = Preferences::inFile(file());
    prefs->setValue(QStringLiteral("number"), 7);
    prefs->setValue(QStringLiteral("text"), QStringLiteral("7"));
    prefs->setValue(QStringLiteral("mixed"), QVariantList{QStringLiteral("a"), 1});
    prefs->setValue(QStringLiteral("dict"), QVariantMap{{QStringLiteral("k"), 1}});
    prefs->sync();
    auto reread = Preferences::inFile(file());
    EXPECT_FALSE(reread->string(QStringLiteral("number")));
    EXPECT_FALSE(reread->integer(QStringLiteral("text")));
    EXPECT_FALSE(reread->stringArray(QStringLiteral("text")));
    EXPECT_FALSE(reread->stringArray(QStringLiteral("mixed")));
    EXPECT_FALSE(reread->stringDictionary(QStringLiteral("dict")));
    EXPECT_FALSE(reread->integer(QStringLiteral("missing")));
    EXPECT_FALSE(reread->contains(QStringLiteral("missing")));
}

TEST_F(PreferencesTest, AFractionIsNotAnInteger) {
    auto prefs = Preferences::inFile(file());
    prefs->setValue(QStringLiteral("half"), 0.5);
    prefs->sync();
    EXPECT_FALSE(Preferences::inFile(file())->integer(QStringLiteral("half")));
}

TEST_F(PreferencesTest, RemoveForgetsTheKey) {
    auto prefs = Preferences::inFile(file());
    prefs->setValue(QStringLiteral("k"), QStringLiteral("v"));
    prefs->remove(QStringLiteral("k"));
    prefs->sync();
    EXPECT_FALSE(Preferences::inFile(file())->contains(QStringLiteral("k")));
}

TEST_F(PreferencesTest, ACorruptFileLeavesTheStoreEmptyAndUsable) {
    QFile corrupt(file());
    ASSERT_TRUE(corrupt.open(QIODevice::WriteOnly));
    corrupt.write("{ not json");
    corrupt.close();
    auto prefs = Preferences::inFile(file());
    EXPECT_FALSE(prefs->contains(QStringLiteral("anything")));
    prefs->setValue(QStringLiteral("k"), QStringLiteral("v"));
    EXPECT_EQ(prefs->string(QStringLiteral("k")), QStringLiteral("v"));
}
