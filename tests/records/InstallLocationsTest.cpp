#include "records/InstallLocations.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QSet>

#include <gtest/gtest.h>

using namespace quillon;

namespace {

InstallLocationEntry entry(FCPLocation category, const QString &folder) { return InstallLocationEntry{category, folder}; }

QStringList folders(const QList<InstallLocationEntry> &entries) {
    QStringList result;
    for (const auto &e : entries) {
        result.append(e.id());
    }
    return result;
}

QJsonObject parse(const char *json) { return QJsonDocument::fromJson(QByteArray(json)).object(); }

} // namespace

// ---- FCPLocation ----

TEST(FCPLocationTest, RawValuesInDeclaredOrder) {
    QStringList raws;
    for (FCPLocation location : fcpLocationAllCases) {
        raws.append(rawValue(location));
    }
    EXPECT_EQ(raws, (QStringList{"字幕", "发生器", "效果", "转场"}));
    EXPECT_EQ(sortIndex(FCPLocation::titles), 0);
    EXPECT_EQ(sortIndex(FCPLocation::transitions), 3);
}

TEST(FCPLocationTest, FromRawValueAcceptsExactlyTheFourWords) {
    for (FCPLocation location : fcpLocationAllCases) {
        EXPECT_EQ(fcpLocationFromRawValue(rawValue(location)), location);
    }
    EXPECT_FALSE(fcpLocationFromRawValue(QString()));
    EXPECT_FALSE(fcpLocationFromRawValue(QStringLiteral("字幕 ")));
    EXPECT_FALSE(fcpLocationFromRawValue(QStringLiteral("titles")));
    EXPECT_FALSE(fcpLocationFromRawValue(QStringLiteral("Titles.localized")));
}

// ---- InstallLocationEntry ----

TEST(InstallLocationEntryTest, IdAndEqualityCoverCategoryAndFolder) {
    const auto a = entry(FCPLocation::effects, QStringLiteral("Glow"));
    EXPECT_EQ(a.id(), QStringLiteral("效果::Glow"));
    EXPECT_EQ(a, entry(FCPLocation::effects, QStringLiteral("Glow")));
    EXPECT_NE(a, entry(FCPLocation::titles, QStringLiteral("Glow")));
    EXPECT_NE(a, entry(FCPLocation::effects, QStringLiteral("glow")));
    QSet<InstallLocationEntry> set{a, entry(FCPLocation::effects, QStringLiteral("Glow")),
                                   entry(FCPLocation::titles, QStringLiteral("Glow"))};
    EXPECT_EQ(set.size(), 2);
}

TEST(InstallLocationEntryTest, JsonRoundTripUsesTheCategoryWord) {
    const auto a = entry(FCPLocation::generators, QStringLiteral("Vrel 背景"));
    const QJsonObject json = a.toJson();
    EXPECT_EQ(json.value("category").toString(), QStringLiteral("发生器"));
    EXPECT_EQ(json.value("folder").toString(), QStringLiteral("Vrel 背景"));
    EXPECT_EQ(json.size(), 2);
    EXPECT_EQ(InstallLocationEntry::fromJson(json), a);
}

TEST(InstallLocationEntryTest, DecodingRefusesMissingKeysWrongTypesAndUnknownCategories) {
    EXPECT_FALSE(InstallLocationEntry::fromJson(parse(R"({"category":"字幕"})")));
    EXPECT_FALSE(InstallLocationEntry::fromJson(parse(R"({"folder":"x"})")));
    EXPECT_FALSE(InstallLocationEntry::fromJson(parse(R"({"category":"字幕","folder":3})")));
    EXPECT_FALSE(InstallLocationEntry::fromJson(parse(R"({"category":"Titles","folder":"x"})")));
    EXPECT_FALSE(InstallLocationEntry::fromJson(parse(R"({"category":null,"folder":"x"})")));
    EXPECT_EQ(InstallLocationEntry::fromJson(parse(R"({"category":"转场","folder":""})")),
              entry(FCPLocation::transitions, QString()));
}

// ---- InstallLocationSummary: record ----

TEST(InstallLocationSummaryTest, EmptySummaryHasNothing) {
    const InstallLocationSummary s;
    EXPECT_TRUE(s.entries.isEmpty());
    EXPECT_TRUE(s.succeeded.isEmpty());
    EXPECT_TRUE(s.failures.isEmpty());
    EXPECT_TRUE(s.pending.isEmpty());
    EXPECT_FALSE(s.isBatch);
    EXPECT_FALSE(s.isBrowsing);
    EXPECT_TRUE(s.categories().isEmpty());
}

TEST(InstallLocationSummaryTest, RecordingTheSameProductTwiceKeepsOneNameAndNoDuplicateEntries) {
    InstallLocationSummary s;
    const QList<InstallLocationEntry> es{entry(FCPLocation::effects, "Glow"), entry(FCPLocation::titles, "Glow")};
    s.record(QStringLiteral("Glow"), es);
    s.record(QStringLiteral("Glow"), es + QList{entry(FCPLocation::effects, "Glow")});
    EXPECT_EQ(s.succeeded, QStringList{"Glow"});
    EXPECT_EQ(folders(s.entries), (QStringList{"字幕::Glow", "效果::Glow"}));
}

TEST(InstallLocationSummaryTest, SucceededKeepsFirstRecordingOrderAndExactText) {
    InstallLocationSummary s;
    s.record(QStringLiteral("B"), {});
    s.record(QStringLiteral("A"), {});
    s.record(QStringLiteral("b"), {});
    s.record(QStringLiteral("B"), {});
    EXPECT_EQ(s.succeeded, (QStringList{"B", "A", "b"}));
    EXPECT_TRUE(s.entries.isEmpty());
}

TEST(InstallLocationSummaryTest, DigitsSortByValueWithinACategory) {
    InstallLocationSummary s;
    s.record(QStringLiteral("p"), {entry(FCPLocation::titles, "Vrel 10"), entry(FCPLocation::titles, "Vrel 2"),
                                   entry(FCPLocation::titles, "Vrel 1")});
    EXPECT_EQ(folders(s.entries), (QStringList{"字幕::Vrel 1", "字幕::Vrel 2", "字幕::Vrel 10"}));
}

TEST(InstallLocationSummaryTest, FolderOrderIgnoresLetterCase) {
    InstallLocationSummary s;
    s.record(QStringLiteral("p"), {entry(FCPLocation::effects, "beta"), entry(FCPLocation::effects, "Alpha"),
                                   entry(FCPLocation::effects, "Gamma"), entry(FCPLocation::effects, "delta")});
    EXPECT_EQ(folders(s.entries), (QStringList{"效果::Alpha", "效果::beta", "效果::delta", "效果::Gamma"}));
}

TEST(InstallLocationSummaryTest, CategoriesSortInDeclaredOrderBeforeNames) {
    InstallLocationSummary s;
    s.record(QStringLiteral("one"), {entry(FCPLocation::transitions, "A"), entry(FCPLocation::generators, "A")});
    s.record(QStringLiteral("two"), {entry(FCPLocation::titles, "Z"), entry(FCPLocation::effects, "A")});
    EXPECT_EQ(folders(s.entries), (QStringList{"字幕::Z", "发生器::A", "效果::A", "转场::A"}));
    EXPECT_EQ(s.categories(), (QList<FCPLocation>{FCPLocation::titles, FCPLocation::generators, FCPLocation::effects,
                                                  FCPLocation::transitions}));
}

TEST(InstallLocationSummaryTest, CategoriesListOnlyThoseWithEntries) {
    InstallLocationSummary s;
    s.record(QStringLiteral("x"), {entry(FCPLocation::transitions, "T"), entry(FCPLocation::generators, "G"),
                                   entry(FCPLocation::generators, "H")});
    EXPECT_EQ(s.categories(), (QList<FCPLocation>{FCPLocation::generators, FCPLocation::transitions}));
}

TEST(InstallLocationSummaryTest, RecordKeepsOtherFields) {
    InstallLocationSummary s;
    s.failures = {QStringLiteral("X：失败")};
    s.pending = {QStringLiteral("Y")};
    s.isBatch = true;
    s.record(QStringLiteral("Z"), {entry(FCPLocation::titles, "Z")});
    EXPECT_EQ(s.failures, QStringList{"X：失败"});
    EXPECT_EQ(s.pending, QStringList{"Y"});
    EXPECT_TRUE(s.isBatch);
    EXPECT_FALSE(s.isBrowsing);
}

// ---- resultTitle: every row ----

struct TitleRow {
    bool browsing;
    bool succeeded;
    bool failed;
    bool pending;
    const char *title;
};

class ResultTitleTest : public testing::TestWithParam<TitleRow> {};

TEST_P(ResultTitleTest, TitleFollowsTheOutcome) {
    const TitleRow row = GetParam();
    InstallLocationSummary s;
    s.isBrowsing = row.browsing;
    if (row.succeeded) {
        s.succeeded = {QStringLiteral("A")};
    }
    if (row.failed) {
        s.failures = {QStringLiteral("B：坏了")};
    }
    if (row.pending) {
        s.pending = {QStringLiteral("C")};
    }
    EXPECT_EQ(s.resultTitle(), QString::fromUtf8(row.title));
}

INSTANTIATE_TEST_SUITE_P(EveryRow, ResultTitleTest,
                         testing::Values(TitleRow{true, false, false, false, "插件位置"},
                                         TitleRow{true, true, true, true, "插件位置"},
                                         TitleRow{false, false, true, false, "未能安装"},
                                         TitleRow{false, false, true, true, "未能安装"},
                                         TitleRow{false, false, false, true, "请完成系统安装"},
                                         TitleRow{false, false, false, false, "请查看安装进度"},
                                         TitleRow{false, true, true, false, "部分插件已安装"},
                                         TitleRow{false, true, true, true, "部分插件已安装"},
                                         TitleRow{false, true, false, true, "部分插件已安装"},
                                         TitleRow{false, true, false, false, "安装成功"}));

// ---- preview ----

TEST(InstallLocationSummaryTest, PreviewHasTwelveBrandFoldersOverTheFourCategories) {
    const InstallLocationSummary p = InstallLocationSummary::preview();
    ASSERT_EQ(p.entries.size(), 12);
    EXPECT_EQ(p.succeeded.size(), 12);
    EXPECT_TRUE(p.failures.isEmpty());
    EXPECT_TRUE(p.pending.isEmpty());
    EXPECT_TRUE(p.isBatch);
    EXPECT_FALSE(p.isBrowsing);
    EXPECT_EQ(p.categories().size(), 4);

    QMap<FCPLocation, int> perCategory;
    for (const auto &e : p.entries) {
        ++perCategory[e.category];
        EXPECT_TRUE(e.folder.startsWith(QStringLiteral("Vrel "))) << e.folder.toStdString();
        EXPECT_TRUE(p.succeeded.contains(e.folder));
        // Brand word, a space, then Chinese characters only.
        const QString product = e.folder.mid(5);
        EXPECT_FALSE(product.isEmpty());
        for (QChar c : product) {
            EXPECT_EQ(c.script(), QChar::Script_Han) << e.folder.toStdString();
        }
    }
    EXPECT_EQ(perCategory.value(FCPLocation::titles), 6);
    EXPECT_EQ(perCategory.value(FCPLocation::generators), 2);
    EXPECT_EQ(perCategory.value(FCPLocation::effects), 3);
    EXPECT_EQ(perCategory.value(FCPLocation::transitions), 1);
    // Recorded category by category, in declared order.
    for (int i = 1; i < p.entries.size(); ++i) {
        EXPECT_LE(sortIndex(p.entries[i - 1].category), sortIndex(p.entries[i].category));
    }
    EXPECT_EQ(p.resultTitle(), QStringLiteral("安装成功"));
}

// ---- JSON ----

TEST(InstallLocationSummaryTest, JsonRoundTripKeepsEveryField) {
    InstallLocationSummary s = InstallLocationSummary::preview();
    s.failures = {QStringLiteral("A：失败")};
    s.pending = {QStringLiteral("B")};
    s.isBrowsing = true;
    const QJsonObject json = s.toJson();
    const QStringList keys = json.keys();
    EXPECT_EQ(QSet<QString>(keys.begin(), keys.end()),
              (QSet<QString>{"entries", "succeeded", "failures", "pending", "isBatch", "isBrowsing"}));
    const QByteArray bytes = QJsonDocument(json).toJson();
    EXPECT_EQ(InstallLocationSummary::fromJson(QJsonDocument::fromJson(bytes).object()), s);
}

TEST(InstallLocationSummaryTest, DecodingRequiresEveryKey) {
    const QJsonObject full = InstallLocationSummary::preview().toJson();
    ASSERT_TRUE(InstallLocationSummary::fromJson(full));
    for (const QString &key : full.keys()) {
        QJsonObject missing = full;
        missing.remove(key);
        EXPECT_FALSE(InstallLocationSummary::fromJson(missing)) << key.toStdString();
    }
}

TEST(InstallLocationSummaryTest, DecodingRefusesWrongTypes) {
    const QJsonObject full = InstallLocationSummary().toJson();
    const QList<QPair<QString, QJsonValue>> bad{
        {"entries", QJsonValue(QStringLiteral("x"))},
        {"entries", QJsonArray{QJsonValue(1)}},
        {"entries", QJsonArray{QJsonObject{{"category", "Titles"}, {"folder", "x"}}}},
        {"succeeded", QJsonArray{QJsonValue(1)}},
        {"failures", QJsonValue(QStringLiteral("x"))},
        {"pending", QJsonValue::Null},
        {"isBatch", QJsonValue(1)},
        {"isBrowsing", QJsonValue(QStringLiteral("true"))},
    };
    for (const auto &[key, value] : bad) {
        QJsonObject broken = full;
        broken.insert(key, value);
        EXPECT_FALSE(InstallLocationSummary::fromJson(broken)) << key.toStdString();
    }
}

TEST(InstallLocationSummaryTest, DecodesAHandWrittenDocument) {
    const auto s = InstallLocationSummary::fromJson(parse(R"({
        "entries": [{"category": "效果", "folder": "Glow"}],
        "succeeded": ["Glow"], "failures": [], "pending": ["Pkg"],
        "isBatch": true, "isBrowsing": false})"));
    ASSERT_TRUE(s);
    EXPECT_EQ(s->entries, QList<InstallLocationEntry>{entry(FCPLocation::effects, "Glow")});
    EXPECT_EQ(s->succeeded, QStringList{"Glow"});
    EXPECT_EQ(s->pending, QStringList{"Pkg"});
    EXPECT_TRUE(s->isBatch);
    EXPECT_EQ(s->resultTitle(), QStringLiteral("部分插件已安装"));
}

// Recording many at once must give what recording them one by one gives, including the
// order of names that only differ in letter case (which the folder order ranks equal).
TEST(InstallLocationSummaryTest, RecordAllEqualsRecordingOneByOne) {
    const QStringList folders{"Glow", "glow", "GLOW", "Vrel 10", "Vrel 2", "vrel 2", "Alpha", "alpha", "电影", "Beta 1"};
    QList<std::pair<QString, QList<InstallLocationEntry>>> items;
    QRandomGenerator random(7);
    const auto randomEntry = [&] {
        return entry(random.bounded(2) ? FCPLocation::titles : FCPLocation::effects,
                     folders.at(int(random.bounded(folders.size()))));
    };
    for (int i = 0; i < 60; ++i) {
        QList<InstallLocationEntry> es{randomEntry()};
        if (i % 3 == 0) {
            es.append(randomEntry());
        }
        items.append({QStringLiteral("P%1").arg(i % 23), es});
    }
    InstallLocationSummary oneByOne;
    oneByOne.record(QStringLiteral("Before"), {entry(FCPLocation::effects, "glow")});
    InstallLocationSummary atOnce = oneByOne;
    for (const auto &[name, es] : items) {
        oneByOne.record(name, es);
    }
    atOnce.recordAll(items);
    EXPECT_EQ(atOnce, oneByOne);
    EXPECT_EQ(atOnce.succeeded.size(), 24);
}

// Names of equal rank (they differ in letter case only) keep the order they arrived in,
// however many entries are sorted at once.
TEST(InstallLocationSummaryTest, NamesOfEqualRankKeepTheirArrivalOrder) {
    QList<std::pair<QString, QList<InstallLocationEntry>>> items;
    for (const QString &name : {QStringLiteral("glow 2"), QStringLiteral("Glow 10"), QStringLiteral("GLOW 2"),
                                QStringLiteral("Glow 2"), QStringLiteral("glow 1")}) {
        items.append({name, {InstallLocationEntry{FCPLocation::effects, name}}});
    }
    InstallLocationSummary summary;
    summary.recordAll(items);
    QStringList folders;
    for (const InstallLocationEntry &entry : summary.entries) {
        folders.append(entry.folder);
    }
    EXPECT_EQ(folders, (QStringList{"glow 1", "glow 2", "GLOW 2", "Glow 2", "Glow 10"}));
}
