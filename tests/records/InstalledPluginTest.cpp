#include "records/InstalledPlugin.h"

#include <QSet>

#include <gtest/gtest.h>

using namespace quillon;

TEST(InstalledPluginTest, IdIsCategoryAndName) {
    const InstalledPlugin plugin{QStringLiteral("字幕"), QStringLiteral("Vrel Glow.localized"), {QStringLiteral("/a")}};
    EXPECT_EQ(plugin.id(), QStringLiteral("字幕::Vrel Glow.localized"));
}

TEST(InstalledPluginTest, EqualityAndHashingCoverCategoryNameAndEveryPath) {
    const InstalledPlugin one{QStringLiteral("字幕"), QStringLiteral("Glow"), {QStringLiteral("/s/Glow")}};
    const InstalledPlugin same{QStringLiteral("字幕"), QStringLiteral("Glow"), {QStringLiteral("/s/Glow")}};
    const InstalledPlugin bothTrees{QStringLiteral("字幕"), QStringLiteral("Glow"),
                                    {QStringLiteral("/s/Glow"), QStringLiteral("/u/Glow")}};
    const InstalledPlugin otherCategory{QStringLiteral("效果"), QStringLiteral("Glow"), {QStringLiteral("/s/Glow")}};

    EXPECT_EQ(qHash(one, 7), qHash(same, 7));
    EXPECT_NE(qHash(one, 7), qHash(bothTrees, 7));
    EXPECT_NE(qHash(one, 7), qHash(otherCategory, 7));

    // The same id with other paths is another value.
    QSet<InstalledPlugin> set{one, same, bothTrees, otherCategory};
    EXPECT_EQ(set.size(), 3);
    EXPECT_TRUE(set.contains(InstalledPlugin{QStringLiteral("字幕"), QStringLiteral("Glow"),
                                             {QStringLiteral("/s/Glow"), QStringLiteral("/u/Glow")}}));
    EXPECT_FALSE(set.contains(InstalledPlugin{QStringLiteral("字幕"), QStringLiteral("Glow"), {}}));
}
