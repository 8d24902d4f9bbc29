// A partner product claimed from the library: the share page, the partner code on the
// pasteboard and in the records, and the alert, against the local download authorisation.
#include "InstallRunFixture.h"

using namespace quillon;
using namespace quillon::test;

namespace {

const QString kLink = QStringLiteral("https://pan.example.com/s/1abc");

QJsonObject partnerReply(const QString &code, const QString &name = QStringLiteral("Vrel 合作包")) {
    return QJsonObject{{QStringLiteral("productKey"), QStringLiteral("c")},
                       {QStringLiteral("productName"), name},
                       {QStringLiteral("deliveryType"), QStringLiteral("partner_pool")},
                       {QStringLiteral("shareUrl"), kLink},
                       {QStringLiteral("accessCode"), QStringLiteral("ab12")},
                       {QStringLiteral("partnerActivationCode"), code}};
}

class PartnerDeliveryTest : public InstallRunTest {};

} // namespace

TEST_F(PartnerDeliveryTest, WithoutABrowserTheAlertAndStatusSaySoAndTheCodeIsStillCopied) {
    answer(QStringLiteral("c"), partnerReply(QStringLiteral("CODE-1")));
    world.workspace->openURLSucceeds = false;
    ASSERT_TRUE(install(QStringLiteral("c")));
    EXPECT_EQ(world.workspace->openedURLs, QList<QUrl>{QUrl(kLink)});
    EXPECT_EQ(model->lastDeliveryMessage(),
              QStringLiteral("未能自动打开 Vrel 合作包 的百度网盘页面，请复制链接在浏览器中打开。 链接：") + kLink +
                  QStringLiteral(" 提取码：ab12。 合作方激活码 CODE-1 已复制。每款合作商品仅分配 1 份。"));
    EXPECT_EQ(model->installMessage(), QStringLiteral("✓ 合作方激活码已复制，请手动打开网盘链接。"));
    EXPECT_EQ(world.pasteboard->contents, QStringLiteral("CODE-1"));
    EXPECT_EQ(model->claimedPartnerActivationCodes().value(QStringLiteral("c")), QStringLiteral("CODE-1"));
    EXPECT_EQ(model->deliverySuccessTitle(), QStringLiteral("合作商品已领取"));
    EXPECT_TRUE(model->showInstallSuccess());

    // With a browser, the page is said to be open.
    model->setShowInstallSuccess(false);
    world.workspace->openURLSucceeds = true;
    ASSERT_TRUE(install(QStringLiteral("c")));
    EXPECT_TRUE(model->lastDeliveryMessage().startsWith(QStringLiteral("已在浏览器打开 Vrel 合作包 的百度网盘页面。 提取码：ab12。")));
    EXPECT_EQ(model->installMessage(), QStringLiteral("✓ 安装包已打开，合作方激活码已复制。"));
}

TEST_F(PartnerDeliveryTest, TheCodeIsShownAndCopiedWithoutControlOrDirectionCharactersAndStoredAsSent) {
    // NUL, bell, an escape colour sequence, CR LF, a right-to-left override and a line separator.
    const QString code = QStringLiteral("AB") + QChar(0) + QString::fromUtf16(u"C\u0007D\u001B[31m\r\nE\u202E\u2028F");
    const QString name = QString::fromUtf16(u"Vrel gpj\u202E.exe");
    QJsonObject reply = partnerReply(code, name);
    reply.insert(QStringLiteral("accessCode"), QString::fromUtf16(u"ab\u2066 12\u2069"));
    reply.insert(QStringLiteral("archivePassword"), QStringLiteral("p") + QChar(0) + QString::fromUtf16(u"w\u001B"));
    reply.insert(QStringLiteral("deliveryNote"), QString::fromUtf16(u"第一行\r\n第二行\u202E\u0007\u2029第三行"));
    answer(QStringLiteral("c"), reply);
    ASSERT_TRUE(install(QStringLiteral("c")));

    const QString shown = QStringLiteral("ABCD[31mEF");
    EXPECT_EQ(world.pasteboard->contents, shown);
    EXPECT_EQ(model->lastDeliveryMessage(),
              QStringLiteral("已在浏览器打开 Vrel gpj.exe 的百度网盘页面。 提取码：ab 12。 合作方激活码 ") + shown +
                  QStringLiteral(" 已复制。每款合作商品仅分配 1 份。 压缩包密码：pw。\n\n第一行\n第二行\n第三行"));
    // The record keeps what the service sent (trimmed at the ends only).
    EXPECT_EQ(model->claimedPartnerActivationCodes().value(QStringLiteral("c")), code);

    // The library's code button copies and shows the same clean code.
    MemberProduct product;
    product.productKey = QStringLiteral("c");
    product.productName = name;
    world.pasteboard->contents.clear();
    EXPECT_TRUE(model->hasClaimedPartnerActivationCode(product));
    model->showClaimedPartnerActivationCode(product);
    EXPECT_EQ(world.pasteboard->contents, shown);
    ASSERT_EQ(world.alerts->shown.size(), 1);
    EXPECT_EQ(world.alerts->shown.first().informativeText,
              QStringLiteral("Vrel gpj.exe\n\n") + shown + QStringLiteral("\n\n激活码已复制，可直接粘贴使用。"));
}

TEST_F(PartnerDeliveryTest, ACodeOfNothingButControlCharactersIsKeptButNeitherCopiedNorOffered) {
    const QString code = QString::fromUtf16(u"\u0007\u202E\u001B");
    answer(QStringLiteral("c"), partnerReply(code));
    ASSERT_TRUE(install(QStringLiteral("c")));
    EXPECT_EQ(world.pasteboard->writes, 0);
    EXPECT_FALSE(model->lastDeliveryMessage().contains(QStringLiteral("合作方激活码")));
    EXPECT_EQ(model->claimedPartnerActivationCodes().value(QStringLiteral("c")), code);

    MemberProduct product;
    product.productKey = QStringLiteral("c");
    EXPECT_FALSE(model->hasClaimedPartnerActivationCode(product));
    model->showClaimedPartnerActivationCode(product);
    EXPECT_TRUE(world.alerts->shown.isEmpty());
    EXPECT_EQ(world.pasteboard->writes, 0);
}
