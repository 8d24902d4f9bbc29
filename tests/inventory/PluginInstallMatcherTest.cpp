#include "inventory/PluginInstallMatcher.h"

#include <gtest/gtest.h>

using namespace quillon;
namespace M = quillon::PluginInstallMatcher;

TEST(MatcherNormalized, FoldsTheExamples) {
    EXPECT_EQ(M::normalized(QStringLiteral("Vrel Glow.localized")), QStringLiteral("vrelglow"));
    EXPECT_EQ(M::normalized(QStringLiteral("ＡＢＣ-１")), QStringLiteral("abc1"));
    EXPECT_EQ(M::normalized(QStringLiteral("Café")), QStringLiteral("cafe"));
    EXPECT_EQ(M::normalized(QStringLiteral("Cafe\u0301")), QStringLiteral("cafe"));
    EXPECT_EQ(M::normalized(QStringLiteral("!?-- ...")), QString());
    EXPECT_EQ(M::normalized(QString()), QString());
}

TEST(MatcherNormalized, RemovesLocalizedAnywhereInAnyCase) {
    EXPECT_EQ(M::normalized(QStringLiteral("Glow.LOCALIZED")), QStringLiteral("glow"));
    EXPECT_EQ(M::normalized(QStringLiteral("Glow.LoCaLiZeD Pro")), QStringLiteral("glowpro"));
    EXPECT_EQ(M::normalized(QStringLiteral(".localizedGlow")), QStringLiteral("glow"));
    EXPECT_EQ(M::normalized(QStringLiteral("A.localized.localizedB")), QStringLiteral("ab"));
    // Without the dot it is an ordinary word.
    EXPECT_EQ(M::normalized(QStringLiteral("localized")), QStringLiteral("localized"));
    EXPECT_EQ(M::normalized(QStringLiteral("字幕.Localized")), QStringLiteral("字幕"));
}

TEST(MatcherNormalized, KeepsLettersAndDigitsOfEveryScript) {
    EXPECT_EQ(M::normalized(QStringLiteral("Vrel 电影字幕 2")), QStringLiteral("vrel电影字幕2"));
    EXPECT_EQ(M::normalized(QStringLiteral("Ünïcödé — ÆØÅ")), QStringLiteral("unicodeæøa"));
    EXPECT_EQ(M::normalized(QStringLiteral("ΑΒΓ Δ")), QStringLiteral("αβγδ"));
    EXPECT_EQ(M::normalized(QStringLiteral("Привет, мир")), QStringLiteral("приветмир"));
    EXPECT_EQ(M::normalized(QStringLiteral("Glow ✨🔥 Pack")), QStringLiteral("glowpack"));
    EXPECT_EQ(M::normalized(QStringLiteral("（全角）标题：一")), QStringLiteral("全角标题一"));
    // Letters outside the Basic Multilingual Plane are kept whole.
    EXPECT_EQ(M::normalized(QStringLiteral("𠀀𠀁 x")), QStringLiteral("𠀀𠀁x"));
    // Half-width Katakana becomes the ordinary form.
    EXPECT_EQ(M::normalized(QStringLiteral("ｱｲｳ")), QStringLiteral("アイウ"));
}

// Folding keeps ASCII letters and digits and the basic block of CJK ideographs by a short
// path, which holds only while every one of those ideographs folds to itself.
TEST(MatcherNormalized, TheBasicIdeographsFoldToThemselvesAndStandAlone) {
    for (char16_t u = 0x4E00; u <= 0x9FFF; ++u) {
        const QString c(QChar{u});
        ASSERT_EQ(QChar::category(char32_t(u)), QChar::Letter_Other) << int(u);
        ASSERT_EQ(QChar(u).decompositionTag(), QChar::NoDecomposition) << int(u);
        ASSERT_EQ(c.toCaseFolded().toLower(), c) << int(u);
        ASSERT_EQ(c.normalized(QString::NormalizationForm_D), c) << int(u);
    }
    EXPECT_EQ(M::normalized(QStringLiteral("Vrel 电影-字幕。Pack 2.localized")), QStringLiteral("vrel电影字幕pack2"));
    EXPECT_EQ(M::perceivedLength(QStringLiteral("电影A\r\n")), 4);
}

TEST(MatcherNormalized, LettersThatFoldToSeveralLettersTakeTheirFullFold) {
    EXPECT_EQ(M::normalized(QStringLiteral("Straße")), QStringLiteral("strasse"));
    EXPECT_EQ(M::normalized(QStringLiteral("STRAẞE")), QStringLiteral("strasse"));
    EXPECT_EQ(M::normalized(QStringLiteral("ﬁlm ﬂow")), QStringLiteral("filmflow"));
    EXPECT_EQ(M::normalized(QStringLiteral("ﬀ ﬃ ﬄ ﬅ ﬆ")), QStringLiteral("ffffifflstst"));
    EXPECT_EQ(M::normalized(QStringLiteral("\u0587")), QStringLiteral("\u0565\u0582"));
    // Capital I with dot above loses its dot like any other accent.
    EXPECT_EQ(M::normalized(QStringLiteral("İstanbul")), QStringLiteral("istanbul"));
}

TEST(MatcherMatches, CaseFoldingCountsTheFoldedLength) {
    EXPECT_TRUE(M::matches("Strasse Titles", "Vrel STRAßE Titles"));
    EXPECT_TRUE(M::matches("Straße", "strasse"));
    EXPECT_TRUE(M::matches("film", "Vrel ﬁlm.localized"));
    // Two letters on disk, three once folded.
    EXPECT_TRUE(M::matches("ssa", "ßa"));
}

TEST(MatcherNormalized, AsciiAndGeneralPathsAgree) {
    // The same text with one non-ASCII character appended takes the general path.
    const QStringList samples{"Vrel Glow.localized", "A-B_C d/e\\f", "MiXeD 123 case", "  ", "..localizedlocalized"};
    for (const QString &s : samples) {
        EXPECT_EQ(M::normalized(s) + QStringLiteral("字"), M::normalized(s + QStringLiteral("字"))) << s.toStdString();
    }
}

TEST(MatcherLength, CountsUserPerceivedCharacters) {
    EXPECT_EQ(M::perceivedLength(QStringLiteral("abc")), 3);
    EXPECT_EQ(M::perceivedLength(QStringLiteral("电影")), 2);
    EXPECT_EQ(M::perceivedLength(QStringLiteral("e\u0301e\u0301")), 2);
    EXPECT_EQ(M::perceivedLength(QStringLiteral("𠀀𠀁")), 2);
    EXPECT_EQ(M::perceivedLength(QStringLiteral("\r\n")), 1);
    EXPECT_EQ(M::perceivedLength(QString()), 0);
}

TEST(MatcherAliases, ProductNameFirstThenTableRowsInOrder) {
    const M::AliasTable table{{"Glow Pack", {"GP Titles", "GP Effects"}}};
    EXPECT_EQ(M::aliases("Glow Pack", table), (QStringList{"Glow Pack", "GP Titles", "GP Effects"}));
    // The lookup uses the name unchanged.
    EXPECT_EQ(M::aliases("glow pack", table), QStringList{"glow pack"});
    EXPECT_EQ(M::aliases("Other", table), QStringList{"Other"});
    EXPECT_EQ(M::aliases("Glow Pack"), QStringList{"Glow Pack"});
}

TEST(MatcherMatches, ContainmentRunsOneWay) {
    EXPECT_TRUE(M::matches("Glow", "Vrel Glow Pro"));
    EXPECT_FALSE(M::matches("Glow Pro Max", "Glow"));
    EXPECT_TRUE(M::matches("Vrel Glow", "vrel-glow.localized"));
    EXPECT_TRUE(M::matches("电影字幕", "Vrel 电影字幕 Pack"));
    EXPECT_TRUE(M::matches("Glow", "Gl-ow"));
    EXPECT_FALSE(M::matches("Glow", "Gloss"));
}

TEST(MatcherMatches, ShortFoldedFolderNamesMatchNothing) {
    EXPECT_FALSE(M::matches("ab", "ab"));
    EXPECT_FALSE(M::matches("a", "A.localized"));
    EXPECT_FALSE(M::matches("电影", "电影"));
    EXPECT_FALSE(M::matches("ab", "-a-b-"));
    // Three Chinese characters count three.
    EXPECT_TRUE(M::matches("电影字", "电影字"));
    // Composed accents count once: "éé" is two characters, not four code units.
    EXPECT_FALSE(M::matches("xy", "x\u0300y\u0300"));
}

TEST(MatcherMatches, AShortProductNameMatchesOnlyThroughALongAlias) {
    const M::AliasTable table{{"FX", {"FX Studio", "F"}}};
    EXPECT_FALSE(M::matches("FX", "FX Pack", table));
    EXPECT_TRUE(M::matches("FX", "Vrel FX Studio.localized", table));
    EXPECT_FALSE(M::matches("FX", "F Pack", table));
    EXPECT_FALSE(M::matches("FX", "FX Pack"));
}

TEST(MatcherMatches, AliasesAreTriedInOrderUntilAHit) {
    const M::AliasTable table{{"Product A", {"Alpha Titles", "Alpha Effects", "Beta"}}};
    EXPECT_TRUE(M::matches("Product A", "Alpha Effects.localized", table));
    EXPECT_TRUE(M::matches("Product A", "BETA", table));
    EXPECT_FALSE(M::matches("Product A", "Gamma", table));
    EXPECT_EQ(M::matchableAliases("Product A", table), (QStringList{"producta", "alphatitles", "alphaeffects", "beta"}));
    EXPECT_EQ(M::matchableAliases("P", M::AliasTable{{"P", {"xy", "xyz"}}}), QStringList{"xyz"});
}
