#include "platform/Preferences.h"
#include "support/Wait.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
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

TEST_F(PreferencesTest, ADamagedFileIsSetAsideAndNeverOverwritten) {
    static int warnings = 0;
    const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &context, const QString &) {
        warnings += type == QtWarningMsg && QByteArray(context.category) == "quillon.platform" ? 1 : 0;
    });
    const QList<QByteArray> damaged{R"({"vrel.device.id": "3F2A9C1E-0000", "vrel.product.paths.a": ["/x)", "[1, 2]"};
    for (qsizetype n = 0; n < damaged.size(); ++n) {
        const QString folder = dir.filePath(QString::number(n));
        const QString path = folder + QStringLiteral("/prefs.json");
        QDir().mkpath(folder);
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(damaged.at(n));
        file.close();
        warnings = 0;
        auto prefs = Preferences::inFile(path);
        EXPECT_EQ(warnings, 1);
        EXPECT_FALSE(prefs->contains(QStringLiteral("vrel.device.id")));
        prefs->setValue(QStringLiteral("vrel.device.id"), QStringLiteral("NEW"));
        prefs->sync();

        const QStringList aside = QDir(folder).entryList({QStringLiteral("prefs.json.damaged-*")}, QDir::Files);
        ASSERT_EQ(aside.size(), 1);
        QFile kept(QDir(folder).filePath(aside.first()));
        ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
        EXPECT_EQ(kept.readAll(), damaged.at(n));
        EXPECT_EQ(Preferences::inFile(path)->string(QStringLiteral("vrel.device.id")), QStringLiteral("NEW"));
    }
    qInstallMessageHandler(previous);
}

// QSettings would read "/" as a group separator: these keys would collide, and removing
// "…pro" would take "…pro/2024" with it.
TEST_F(PreferencesTest, EveryKeyIsStoredAsGivenAndApartFromTheOthers) {
    const QStringList keys{QStringLiteral("pro"),    QStringLiteral("pro/"),   QStringLiteral("/pro"),
                           QStringLiteral("pro//x"), QStringLiteral("pro/x"),  QStringLiteral("pro%2Fx"),
                           QStringLiteral("pro%x"),  QStringLiteral("pro/2024")};
    auto prefs = Preferences::inFile(file());
    for (const QString &key : keys) {
        prefs->setValue(key, key);
    }
    prefs->remove(QStringLiteral("pro"));
    prefs->sync();
    auto reread = Preferences::inFile(file());
    EXPECT_FALSE(reread->contains(QStringLiteral("pro")));
    for (const QString &key : keys.mid(1)) {
        EXPECT_EQ(reread->string(key), key) << key.toStdString();
    }
    QFile stored(file());
    ASSERT_TRUE(stored.open(QIODevice::ReadOnly));
    const QStringList storedKeys = QJsonDocument::fromJson(stored.readAll()).object().keys();
    EXPECT_EQ(QSet<QString>(storedKeys.begin(), storedKeys.end()), QSet<QString>(keys.begin() + 1, keys.end()));
}

TEST_F(PreferencesTest, AFileWrittenByEarlierVersionsReadsBackAsItWas) {
    QFile earlier(file());
    ASSERT_TRUE(earlier.open(QIODevice::WriteOnly));
    earlier.write(R"({ "vrel.device.id": "ID", "vrel.product.paths.a/b": ["/x"], "vrel.product.version.50%off": "1.0" })");
    earlier.close();
    auto prefs = Preferences::inFile(file());
    EXPECT_EQ(prefs->string(QStringLiteral("vrel.device.id")), QStringLiteral("ID"));
    EXPECT_EQ(prefs->stringArray(QStringLiteral("vrel.product.paths.a/b")), QStringList{QStringLiteral("/x")});
    EXPECT_EQ(prefs->string(QStringLiteral("vrel.product.version.50%off")), QStringLiteral("1.0"));
}

// Readers that keep what they read go by the generation: it must move with every way the
// stored values can change, also when the store takes in what another program wrote.
TEST_F(PreferencesTest, TheGenerationMovesWithEveryChangeIncludingAnotherProgramsWrites) {
    auto ours = Preferences::inFile(file());
    const QString key = QStringLiteral("vrel.product.install.receipt.p");
    quint64 seen = ours->generation();
    ours->setValue(QStringLiteral("vrel.device.id"), QStringLiteral("A"));
    EXPECT_NE(ours->generation(), seen);
    seen = ours->generation();
    ours->remove(QStringLiteral("vrel.device.id"));
    EXPECT_NE(ours->generation(), seen);
    seen = ours->generation();
    ours->sync();
    EXPECT_NE(ours->generation(), seen);

    // Another program writes a receipt into the file.
    QFile other(file());
    ASSERT_TRUE(other.open(QIODevice::WriteOnly | QIODevice::Truncate));
    other.write(QJsonDocument(QJsonObject{{key, true}, {QStringLiteral("vrel.other.program"), 1}}).toJson());
    other.close();
    ASSERT_FALSE(ours->boolean(key));
    // A write of ours makes the store sync by itself at the next turn of the event loop,
    // which takes in the other program's receipt.
    ours->setValue(QStringLiteral("vrel.device.id"), QStringLiteral("B"));
    seen = ours->generation();
    ASSERT_TRUE(test::waitUntil([&] { return ours->boolean(key).has_value(); }));
    EXPECT_NE(ours->generation(), seen);
}
