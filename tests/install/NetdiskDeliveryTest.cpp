#include "records/NetdiskDelivery.h"

#include "InstallFixtures.h"

#include <gtest/gtest.h>

using namespace quillon;

namespace {

NetdiskDelivery delivery(const QString &code, const QString &password, const QString &note) {
    return NetdiskDelivery{QUuid::createUuid(), QStringLiteral("Vrel 转场包"),
                           QUrl(QStringLiteral("https://pan.baidu.com/s/1AbC-xyz?pwd=k9f2")), code, password, note, true};
}

} // namespace

TEST(NetdiskDeliveryTest, ALinkOnlyDeliveryIsOneLine) {
    EXPECT_EQ(delivery({}, {}, {}).allClaimInformation(),
              QStringLiteral("百度网盘链接：https://pan.baidu.com/s/1AbC-xyz?pwd=k9f2"));
}

TEST(NetdiskDeliveryTest, ABlankNoteAddsNothing) {
    EXPECT_EQ(delivery({}, {}, QStringLiteral(" \n\t\u3000 ")).allClaimInformation(),
              QStringLiteral("百度网盘链接：https://pan.baidu.com/s/1AbC-xyz?pwd=k9f2"));
}

TEST(NetdiskDeliveryTest, AFullDeliveryListsLinkCodePasswordAndNoteInThatOrder) {
    EXPECT_EQ(delivery(QStringLiteral("k9f2"), QStringLiteral("vrel@2024"), QStringLiteral(" 解压后双击安装 \n")).allClaimInformation(),
              QStringLiteral("百度网盘链接：https://pan.baidu.com/s/1AbC-xyz?pwd=k9f2\n"
                             "提取码：k9f2\n"
                             "压缩包密码：vrel@2024\n"
                             "说明： 解压后双击安装 \n"));
    EXPECT_EQ(delivery({}, QStringLiteral("pw"), {}).allClaimInformation(),
              QStringLiteral("百度网盘链接：https://pan.baidu.com/s/1AbC-xyz?pwd=k9f2\n压缩包密码：pw"));
}

TEST(NetdiskDeliveryTest, TheLinkIsWrittenInItsEncodedForm) {
    NetdiskDelivery d = delivery({}, {}, {});
    d.shareURL = QUrl(QStringLiteral("https://pan.baidu.com/s/1x?from=插件 中心"));
    EXPECT_EQ(d.allClaimInformation(),
              QStringLiteral("百度网盘链接：https://pan.baidu.com/s/1x?from=%E6%8F%92%E4%BB%B6%20%E4%B8%AD%E5%BF%83"));
}
