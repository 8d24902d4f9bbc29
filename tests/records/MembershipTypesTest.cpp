#include "records/MembershipTypes.h"

#include <gtest/gtest.h>

using namespace quillon;

namespace {
using O = std::optional<QString>;
O s(const char *text) { return QString::fromUtf8(text); }
ManagerLicense license(O key, const char *name, O type = std::nullopt) {
    return ManagerLicense{std::move(key), QString::fromUtf8(name), std::move(type)};
}
} // namespace

TEST(MembershipTypes, RowsInOrderByKeyTypeOrName) {
    EXPECT_EQ(canonicalMembershipType(s("All_Site_Member"), std::nullopt, std::nullopt), QStringLiteral("all_site"));
    EXPECT_EQ(canonicalMembershipType(std::nullopt, s("VREL-ALL-PLUGINS-LIFETIME"), std::nullopt),
              QStringLiteral("all_plugins"));
    EXPECT_EQ(canonicalMembershipType(std::nullopt, s("fcp-template-membership"), s("含全站会员")),
              QStringLiteral("all_site"));
    EXPECT_EQ(canonicalMembershipType(std::nullopt, std::nullopt, s("Vrel FCP 模板会员")), QStringLiteral("fcp_templates"));
    EXPECT_EQ(canonicalMembershipType(std::nullopt, std::nullopt, s("Vrel fcp 模板会员")), QStringLiteral("plugin"));
    EXPECT_EQ(canonicalMembershipType(s("Template_Membership"), std::nullopt, std::nullopt), QStringLiteral("fcp_templates"));
    EXPECT_EQ(canonicalMembershipType(s("tovel_subtitle_member"), std::nullopt, std::nullopt),
              QStringLiteral("tovel_subtitles"));
    EXPECT_EQ(canonicalMembershipType(std::nullopt, std::nullopt, s("Tovel会员年卡")), QStringLiteral("tovel_subtitles"));
    EXPECT_EQ(canonicalMembershipType(std::nullopt, std::nullopt, s("Vrel 全插件永久")), QStringLiteral("all_plugins"));
    EXPECT_EQ(canonicalMembershipType(s("Single_Plugin"), s("x"), s("y")), QStringLiteral("Single_Plugin"));
    EXPECT_EQ(canonicalMembershipType(std::nullopt, s("x"), s("y")), QStringLiteral("plugin"));
    EXPECT_EQ(canonicalMembershipType(s(""), std::nullopt, std::nullopt), QString());
}

TEST(MembershipTypes, OnlyTheFourCanonicalTypesOpenALibrary) {
    for (const char *type : {"all_site", "all_plugins", "tovel_subtitles", "fcp_templates"}) {
        EXPECT_TRUE(isMemberLibraryType(QString::fromLatin1(type)));
    }
    for (const char *type : {"ALL_SITE", "plugin", "all_site_member", ""}) {
        EXPECT_FALSE(isMemberLibraryType(QString::fromLatin1(type)));
    }
}

TEST(MembershipTypes, UniqueKeepsTheFirstOfEachKeyAndDropsBlankKeys) {
    const QList<ManagerLicense> input{
        license(s("a"), "first"), license(s(" "), "blank"),     license(std::nullopt, "none"),
        license(s("a"), "second"), license(s("a "), "spaced"), license(s("\n"), "newline"),
    };
    const QList<ManagerLicense> result = AccountPurchaseList::unique(input);
    ASSERT_EQ(result.size(), 2);
    EXPECT_EQ(result[0].productName, QStringLiteral("first"));
    EXPECT_EQ(result[1].productName, QStringLiteral("spaced"));
}

TEST(MembershipTypes, TitlesAndSubtitles) {
    EXPECT_EQ(memberLibraryTitleFor(QStringLiteral("all_site")), QStringLiteral("Vrel 全站会员库"));
    EXPECT_EQ(memberLibrarySubtitleFor(QStringLiteral("all_site")),
              QStringLiteral("插件、模板和资源均可按需领取；合作商品每款限领 1 份激活码"));
    EXPECT_EQ(memberLibraryTitleFor(QStringLiteral("all_plugins")), QStringLiteral("Vrel 全插件会员库"));
    EXPECT_EQ(memberLibrarySubtitleFor(QStringLiteral("all_plugins")), QStringLiteral("全部会员插件可逐个安装，也可一次安装全部"));
    EXPECT_EQ(memberLibraryTitleFor(QStringLiteral("tovel_subtitles")), QStringLiteral("Tovel插件库"));
    EXPECT_EQ(memberLibrarySubtitleFor(QStringLiteral("tovel_subtitles")), QStringLiteral("可逐个安装，也可一次安装全部Tovel"));
    EXPECT_EQ(memberLibraryTitleFor(QStringLiteral("fcp_templates")), QStringLiteral("FCP 模板会员库"));
    EXPECT_EQ(memberLibrarySubtitleFor(QStringLiteral("fcp_templates")), QStringLiteral("7 款模板可按需安装，也可一次安装全部"));
    EXPECT_EQ(memberLibraryTitleFor(QStringLiteral("plugin")), QStringLiteral("会员插件库"));
    EXPECT_EQ(memberLibrarySubtitleFor(QStringLiteral("plugin")), QStringLiteral("会员权益内的插件可按需逐个下载和安装"));

    EXPECT_EQ(membershipLibraryTitleFor(QStringLiteral("all_site")), QStringLiteral("Vrel 全站会员库"));
    EXPECT_EQ(membershipLibrarySubtitleFor(QStringLiteral("all_site")), QStringLiteral("插件、模板与资源全站权益"));
    EXPECT_EQ(membershipLibraryTitleFor(QStringLiteral("all_plugins")), QStringLiteral("Vrel 全插件会员库"));
    EXPECT_EQ(membershipLibrarySubtitleFor(QStringLiteral("all_plugins")), QStringLiteral("可逐个安装，也可一键安装全部"));
    EXPECT_EQ(membershipLibraryTitleFor(QStringLiteral("tovel_subtitles")), QStringLiteral("Tovel插件库"));
    EXPECT_EQ(membershipLibrarySubtitleFor(QStringLiteral("tovel_subtitles")), QStringLiteral("可一键安装全部Tovel"));
    EXPECT_EQ(membershipLibraryTitleFor(QStringLiteral("fcp_templates")), QStringLiteral("FCP 模板会员库"));
    EXPECT_EQ(membershipLibrarySubtitleFor(QStringLiteral("fcp_templates")), QStringLiteral("7 款模板，底层三组安装包"));
    EXPECT_EQ(membershipLibraryTitleFor(QStringLiteral("other")), QStringLiteral("Vrel 全插件会员库"));
    EXPECT_EQ(membershipLibrarySubtitleFor(QStringLiteral("other")), QStringLiteral("可逐个安装，也可一键安装全部"));
}
