#include "AccountTestSupport.h"
#include "support/LogWatcher.h"

using namespace quillon;
using namespace quillon::test;

namespace {
const QString kUnreachable = QStringLiteral("会员插件库暂时无法连接，请稍后重试。");
}

class MemberLibraryTest : public AccountTest {
protected:
    const ManagerLicense allSite{QStringLiteral("vrel-all-site-lifetime"), QStringLiteral("全站会员"), QStringLiteral("all_site")};
    const ManagerLicense templates{QStringLiteral("fcp-template-membership"), QStringLiteral("FCP 模板会员"), std::nullopt};

    void SetUp() override {
        makeModel();
        signedIn(QStringLiteral("tok"), allSite);
        model->setAccountMemberships({allSite, templates});
        model->setActivatedProductType(QStringLiteral("all_site"));
    }

    void reload() {
        const size_t before = service.count(kLibrary);
        model->reloadMemberLibrary();
        EXPECT_EQ(model->memberLibraryMessage(), QStringLiteral("正在加载会员插件库…"));
        ASSERT_TRUE(waitUntil([&] {
            return service.count(kLibrary) > before && model->memberLibraryMessage() != QStringLiteral("正在加载会员插件库…");
        }));
    }
};

TEST_F(MemberLibraryTest, ASuccessfulLoadCountsTheProducts) {
    service.always(kLibrary, ScriptedReply::json(200, library(12)));
    reload();
    EXPECT_EQ(model->memberProducts().size(), 12);
    EXPECT_EQ(model->memberLibraryMessage(), QStringLiteral("可安装 12 款会员插件。"));
    EXPECT_EQ(model->memberProducts()[3].productKey, QStringLiteral("p3"));

    const auto requests = service.requestsTo(kLibrary);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].header("Authorization"), "Bearer tok");
    EXPECT_EQ(requests[0].header("Cache-Control"), "no-store");
    EXPECT_EQ(requests[0].header("Content-Type"), "application/json");
    EXPECT_EQ(bodyOf(requests[0]), QJsonObject({{QStringLiteral("deviceId"), model->deviceIdentifier()},
                                                {QStringLiteral("membershipProductKey"), QStringLiteral("vrel-all-site-lifetime")}}));
}

TEST_F(MemberLibraryTest, SelectingAMembershipLoadsItsLibrary) {
    service.always(kLibrary, ScriptedReply::json(200, library(7)).heldBack());
    model->setMemberProducts({MemberProduct{}});
    model->selectMemberLibrary(templates);
    EXPECT_TRUE(model->selectedMembershipUsesWechatAccount());
    EXPECT_EQ(model->activatedProductKey(), QStringLiteral("fcp-template-membership"));
    EXPECT_EQ(model->activatedProduct(), QStringLiteral("FCP 模板会员"));
    EXPECT_EQ(model->activatedProductType(), QStringLiteral("fcp_templates"));
    EXPECT_TRUE(model->memberProducts().isEmpty());
    EXPECT_EQ(model->memberLibraryTitle(), QStringLiteral("FCP 模板会员库"));
    ASSERT_TRUE(waitUntil([&] { return service.heldCount() == 1; }));
    service.releaseHeld();
    ASSERT_TRUE(waitUntil([&] { return model->memberLibraryMessage() == QStringLiteral("可安装 7 款模板。"); }));
    EXPECT_EQ(bodyOf(service.requestsTo(kLibrary)[0]).value(QStringLiteral("membershipProductKey")).toString(),
              QStringLiteral("fcp-template-membership"));
    EXPECT_TRUE(model->canInstallAllMemberProducts());
}

TEST_F(MemberLibraryTest, FailuresEmptyTheLibraryWithTheirMessage) {
    struct Case {
        ScriptedReply reply;
        QString message;
    };
    QJsonObject broken = library(2);
    QJsonArray products = broken.value(QStringLiteral("products")).toArray();
    QJsonObject second = products[1].toObject();
    second.remove(QStringLiteral("description"));
    products[1] = second;
    broken[QStringLiteral("products")] = products;
    std::vector<Case> cases{
        {ScriptedReply::dropped(), kUnreachable},
        {ScriptedReply::htmlErrorPage(502), kUnreachable},
        {ScriptedReply::invalidUtf8(), kUnreachable},
        {ScriptedReply::json(200, broken), kUnreachable},
        {ScriptedReply::json(500, std::string(R"({"error":"会员已过期"})")), QStringLiteral("会员已过期")},
        {ScriptedReply::json(403, std::string("{}")), QStringLiteral("会员插件库加载失败。")},
        {ScriptedReply::json(300, std::string(R"({"error":"请稍后","products":[]})")), QStringLiteral("请稍后")},
        {ScriptedReply::json(200, std::string("{}")), QStringLiteral("当前会员权益中还没有可安装的内容。")},
        {ScriptedReply::json(200, std::string(R"({"products":[]})")), QStringLiteral("当前会员权益中还没有可安装的内容。")},
    };
    for (Case &c : cases) {
        model->setMemberProducts({MemberProduct{}});
        service.always(kLibrary, c.reply);
        reload();
        EXPECT_TRUE(model->memberProducts().isEmpty());
        EXPECT_EQ(model->memberLibraryMessage(), c.message);
        // The membership and account mode stay, so a reload can try again.
        EXPECT_EQ(model->activatedProductKey(), QStringLiteral("vrel-all-site-lifetime"));
        EXPECT_TRUE(model->selectedMembershipUsesWechatAccount());
    }
}

TEST_F(MemberLibraryTest, OneProductIsCountedAndA299IsASuccessThatRescansThePlugins) {
    // Installed since the model last looked: the loaded library shows it as installed.
    world.makeFolder(QStringLiteral("system/Library/Application Support/Final Cut Pro/Templates.localized/Titles.localized/Vrel A"));
    service.always(kLibrary, ScriptedReply::json(299, library(1)));
    reload();
    EXPECT_EQ(model->memberProducts().size(), 1);
    EXPECT_EQ(model->memberLibraryMessage(), QStringLiteral("可安装 1 款会员插件。"));
    ASSERT_EQ(model->installedPlugins().size(), 1);
    EXPECT_EQ(model->installedPlugins().first().name, QStringLiteral("Vrel A"));
}

TEST_F(MemberLibraryTest, ReloadDoesNothingOutsideAccountMode) {
    model->setSelectedMembershipUsesWechatAccount(false);
    model->reloadMemberLibrary();
    EXPECT_EQ(model->memberLibraryMessage(), QString()) << "no load started";
    EXPECT_EQ(service.count(kLibrary), 0u);
}

TEST_F(MemberLibraryTest, ReloadDoesNothingWithoutAnAccount) {
    model->signOutWechat();
    model->reloadMemberLibrary();
    settle();
    EXPECT_EQ(service.count(kLibrary), 0u);
    EXPECT_EQ(model->memberLibraryMessage(), QString());
}

TEST_F(MemberLibraryTest, ALibraryReplyAfterSignOutChangesNothing) {
    service.always(kLibrary, ScriptedReply::json(200, library(3)).heldBack());
    model->reloadMemberLibrary();
    ASSERT_TRUE(waitUntil([&] { return service.heldCount() == 1; }));
    model->signOutWechat();
    service.releaseHeld();
    settle();
    EXPECT_TRUE(model->memberProducts().isEmpty());
    EXPECT_EQ(model->memberLibraryMessage(), QString());
}

TEST_F(MemberLibraryTest, MembershipPropertiesFollowTheCurrentMembership) {
    EXPECT_EQ(model->memberLibraryMemberships().size(), 2);
    EXPECT_EQ(model->membershipLibraryTitle(templates), QStringLiteral("FCP 模板会员库"));
    EXPECT_EQ(model->membershipLibrarySubtitle(allSite), QStringLiteral("插件、模板与资源全站权益"));
    EXPECT_EQ(model->memberLibraryTitle(), QStringLiteral("Vrel 全站会员库"));
    EXPECT_FALSE(model->canInstallAllMemberProducts()); // no products yet

    // A plain product as the current membership: still a member-library account.
    model->setActivatedProductType(QStringLiteral("plugin"));
    model->setActivatedProductKey(QStringLiteral("single"));
    model->setActivatedProduct(QStringLiteral("单品"));
    EXPECT_EQ(model->activeMembershipType(), QStringLiteral("plugin"));
    EXPECT_TRUE(model->hasMemberLibraryLicense());
    EXPECT_EQ(model->memberLibraryTitle(), QStringLiteral("会员插件库"));
    model->setMemberProducts({MemberProduct{}});
    EXPECT_FALSE(model->canInstallAllMemberProducts());

    model->setAccountMemberships({});
    EXPECT_FALSE(model->hasMemberLibraryLicense());
    // The name alone can make the current membership a library.
    model->setActivatedProduct(QStringLiteral("Vrel 全插件永久"));
    EXPECT_EQ(model->activeMembershipType(), QStringLiteral("all_plugins"));
    EXPECT_TRUE(model->hasMemberLibraryLicense());
    EXPECT_TRUE(model->canInstallAllMemberProducts());
}

TEST_F(MemberLibraryTest, AReplyForAnEarlierMembershipChangesNothing) {
    // The site-wide library answers slowly, the template library at once.
    service.then(kLibrary, ScriptedReply::json(200, library(12)).heldBack());
    service.then(kLibrary, ScriptedReply::json(200, library(7)));
    model->selectMemberLibrary(allSite);
    ASSERT_TRUE(waitUntil([&] { return service.heldCount() == 1; }));
    model->selectMemberLibrary(templates);
    ASSERT_TRUE(waitUntil([&] { return model->memberLibraryMessage() == QStringLiteral("可安装 7 款模板。"); }));

    LogWatcher log;
    service.releaseHeld();
    ASSERT_TRUE(waitUntil([&] { return log.saw(QStringLiteral("reply for an earlier selection was dropped")); }));
    EXPECT_EQ(model->activatedProductKey(), QStringLiteral("fcp-template-membership"));
    EXPECT_EQ(model->memberProducts().size(), 7);
    EXPECT_EQ(model->memberLibraryMessage(), QStringLiteral("可安装 7 款模板。"));
}

TEST_F(MemberLibraryTest, AReplyForAMembershipLeftAndPickedAgainIsOvertakenByTheNewerLoad) {
    // The first site-wide load answers last, with a success or with a failure; the user
    // meanwhile picked the templates and then the site-wide membership again.
    std::vector<ScriptedReply> lateReplies{ScriptedReply::json(200, library(12)),
                                           ScriptedReply::json(500, std::string(R"({"error":"旧的失败"})"))};
    for (ScriptedReply &late : lateReplies) {
        service.then(kLibrary, late.heldBack());
        service.then(kLibrary, ScriptedReply::json(200, library(7)));
        service.then(kLibrary, ScriptedReply::json(200, library(5)));
        model->selectMemberLibrary(allSite);
        ASSERT_TRUE(waitUntil([&] { return service.heldCount() == 1; }));
        model->selectMemberLibrary(templates);
        ASSERT_TRUE(waitUntil([&] { return model->memberLibraryMessage() == QStringLiteral("可安装 7 款模板。"); }));
        model->selectMemberLibrary(allSite);
        ASSERT_TRUE(waitUntil([&] { return model->memberLibraryMessage() == QStringLiteral("可安装 5 款会员插件。"); }));

        LogWatcher log;
        service.releaseHeld();
        // Until the late reply was dropped, or until it changed the library.
        ASSERT_TRUE(waitUntil([&] {
            return log.saw(QStringLiteral("overtaken by a newer load was dropped")) ||
                   model->memberLibraryMessage() != QStringLiteral("可安装 5 款会员插件。");
        }));
        EXPECT_EQ(model->activatedProductKey(), QStringLiteral("vrel-all-site-lifetime"));
        EXPECT_EQ(model->memberProducts().size(), 5);
        EXPECT_EQ(model->memberLibraryMessage(), QStringLiteral("可安装 5 款会员插件。"));
    }
}
