#include "core/AccountTestSupport.h"
#include "ui/AccountPanel.h"
#include "ui/MemberLibraryPanel.h"

#include <QComboBox>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QTest>

using namespace quillon;
using namespace quillon::test;

class AccountPanelTest : public AccountTest {
protected:
    const ManagerLicense allSite{QStringLiteral("a"), QStringLiteral("全站会员"), QStringLiteral("all_site")};
    const ManagerLicense templates{QStringLiteral("t"), QStringLiteral("FCP 模板会员"), std::nullopt};
    void SetUp() override { makeModel(); }
};

TEST_F(AccountPanelTest, SignedOutOffersSignInAndTheSyncButtonAsksForIt) {
    AccountPanel panel(*model);
    panel.show();
    EXPECT_EQ(panel.message()->text(), QStringLiteral("微信扫码登录后，自动读取会员权益。"));
    EXPECT_FALSE(panel.signInButton()->isHidden());
    EXPECT_TRUE(panel.signOutButton()->isHidden());
    EXPECT_TRUE(panel.membershipPicker()->isHidden());

    panel.syncButton()->click();
    ASSERT_TRUE(waitUntil([&] { return panel.message()->text() == QStringLiteral("请先使用微信扫码登录。"); }));

    service.then(kLoginStart, ScriptedReply::dropped());
    panel.signInButton()->click();
    ASSERT_TRUE(waitUntil([&] { return service.count(kLoginStart) == 1; }));
    ASSERT_TRUE(waitUntil([&] { return panel.message()->text() == QStringLiteral("暂时无法连接微信登录服务，请稍后重试。"); }));
}

TEST_F(AccountPanelTest, SignedInShowsTheUserAndPicksAMembership) {
    signedIn(QStringLiteral("tok"), allSite);
    model->setAccountMemberships({allSite, templates});
    AccountPanel panel(*model);
    MemberLibraryPanel library(*model);
    panel.show();
    library.show();
    EXPECT_EQ(panel.userName()->text(), QStringLiteral("小明"));
    EXPECT_TRUE(panel.signInButton()->isHidden());
    EXPECT_FALSE(panel.signOutButton()->isHidden());
    QComboBox *picker = panel.membershipPicker();
    ASSERT_EQ(picker->count(), 2);
    EXPECT_EQ(picker->itemText(0), QStringLiteral("Vrel 全站会员库"));
    EXPECT_EQ(picker->itemText(1), QStringLiteral("FCP 模板会员库"));
    EXPECT_EQ(picker->itemData(1, Qt::ToolTipRole).toString(), QStringLiteral("7 款模板，底层三组安装包"));
    EXPECT_EQ(picker->currentIndex(), 0);
    EXPECT_EQ(library.title()->text(), QStringLiteral("Vrel 全站会员库"));

    service.always(kLibrary, ScriptedReply::json(200, quillon::test::library(7)));
    picker->setCurrentIndex(1);
    Q_EMIT picker->activated(1); // what a user's choice emits
    EXPECT_EQ(model->activatedProductKey(), QStringLiteral("t"));
    ASSERT_TRUE(waitUntil([&] { return library.message()->text() == QStringLiteral("可安装 7 款模板。"); }));
    EXPECT_EQ(library.title()->text(), QStringLiteral("FCP 模板会员库"));
    EXPECT_EQ(library.subtitle()->text(), QStringLiteral("7 款模板可按需安装，也可一次安装全部"));
    EXPECT_EQ(library.products()->model()->rowCount(), 7);
    EXPECT_EQ(panel.membershipPicker()->currentIndex(), 1);

    // The library's refresh asks the service again.
    service.always(kLibrary, ScriptedReply::json(500, std::string(R"({"error":"暂停服务"})")));
    library.refreshButton()->click();
    ASSERT_TRUE(waitUntil([&] { return library.message()->text() == QStringLiteral("暂停服务"); }));
    EXPECT_EQ(library.products()->model()->rowCount(), 0);
    EXPECT_EQ(service.count(kLibrary), 2u);

    panel.signOutButton()->click();
    ASSERT_TRUE(waitUntil([&] { return panel.message()->text() == QStringLiteral("已退出微信账号。重新扫码即可恢复名下权益。"); }));
    EXPECT_FALSE(panel.signInButton()->isHidden());
    EXPECT_TRUE(panel.membershipPicker()->isHidden());
    EXPECT_FALSE(library.refreshButton()->isEnabled());
    EXPECT_EQ(library.title()->text(), QStringLiteral("会员插件库"));
}

TEST_F(AccountPanelTest, APickMadeBeforeTheListCatchesUpChoosesWhatWasShown) {
    signedIn(QStringLiteral("tok"), allSite);
    model->setAccountMemberships({allSite, templates});
    AccountPanel panel(*model);
    QComboBox *picker = panel.membershipPicker();
    ASSERT_EQ(picker->itemText(1), QStringLiteral("FCP 模板会员库"));

    // A sync reorders the memberships; the picker shows the old order until the next turn.
    service.always(kLibrary, ScriptedReply::json(200, quillon::test::library(1)));
    model->setAccountMemberships({templates, allSite});
    Q_EMIT picker->activated(1); // the user picked the templates row
    EXPECT_EQ(model->activatedProductKey(), QStringLiteral("t"));
    EXPECT_EQ(model->activatedProductType(), QStringLiteral("fcp_templates"));

    // A row whose membership the account no longer has selects nothing.
    model->setAccountMemberships({templates});
    Q_EMIT picker->activated(0); // still the old all-site row
    EXPECT_EQ(model->activatedProductKey(), QStringLiteral("t"));
    ASSERT_TRUE(waitUntil([&] { return picker->count() == 1; }));
}

TEST_F(AccountPanelTest, TheOpenListKeepsTheRowBeingChosenWhileTheModelChanges) {
    signedIn(QStringLiteral("tok"), allSite);
    model->setAccountMemberships({allSite, templates});
    service.always(kLibrary, ScriptedReply::json(200, quillon::test::library(1)));
    AccountPanel panel(*model);
    panel.show();
    QComboBox *picker = panel.membershipPicker();
    picker->showPopup();
    QAbstractItemView *list = picker->view();
    ASSERT_TRUE(waitUntil([&] { return list->isVisible(); }));
    QTest::keyClick(list, Qt::Key_Down);
    ASSERT_EQ(list->currentIndex().row(), 1);

    // Something else changes meanwhile: the panel shows it, the list stays as the user left it.
    model->setWechatLoginMessage(QStringLiteral("正在同步…"));
    ASSERT_TRUE(waitUntil([&] { return panel.message()->text() == QStringLiteral("正在同步…"); }));
    EXPECT_TRUE(list->isVisible());
    EXPECT_EQ(list->currentIndex().row(), 1);
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_EQ(model->activatedProductKey(), QStringLiteral("t"));
    EXPECT_EQ(picker->currentIndex(), 1);
}
