#include "core/ReplyDecoding.h"

#include <QSet>

#include <gtest/gtest.h>

using namespace quillon;

namespace {

const QByteArray kProduct = R"({"productKey":"k1","productName":"光效","category":"效果","productType":"plugin",
 "effectCount":12,"minFcpVersion":"10.6","coverUrl":"https://x/c.png","description":"d"})";

QByteArray productWith(const QByteArray &extra) {
    QByteArray json = kProduct;
    json.chop(1);
    return json + "," + extra + "}";
}

QString failingKey(const std::function<void()> &decode) {
    try {
        decode();
    } catch (const ReplyDecodingError &error) {
        return error.key();
    }
    return QStringLiteral("<decoded>");
}

} // namespace

TEST(ReplyDecoding, AnEmptyObjectDecodesIntoEveryEnvelopeAndTheUserButNotTheProductOrLicense) {
    EXPECT_EQ(decodeReply<ManagerUser>("{}"), ManagerUser());
    EXPECT_EQ(decodeReply<ManagerLoginStartResponse>("{}"), ManagerLoginStartResponse());
    EXPECT_EQ(decodeReply<ManagerLoginStatusResponse>("{}"), ManagerLoginStatusResponse());
    EXPECT_EQ(decodeReply<ManagerAccountResponse>("{}"), ManagerAccountResponse());
    EXPECT_EQ(decodeReply<LibraryResponse>("{}"), LibraryResponse());
    EXPECT_EQ(decodeReply<DownloadResponse>("{}"), DownloadResponse());
    EXPECT_EQ(failingKey([] { decodeReply<MemberProduct>("{}"); }), QStringLiteral("productKey"));
    EXPECT_EQ(failingKey([] { decodeReply<ManagerLicense>("{}"); }), QStringLiteral("productName"));
}

TEST(ReplyDecoding, AFullProductDecodesEveryField) {
    const MemberProduct p = decodeReply<MemberProduct>(productWith(
        R"("deliveryType":"pkg","deliveryStatus":"ok","deliveryActionLabel":"安装","resourceVersion":"1",
           "packageVersion":"2","updateNotes":"n","newUntil":"2026-01-01","isNew":true,"installGroup":"g","extra":[1])"));
    EXPECT_EQ(p.productKey, QStringLiteral("k1"));
    EXPECT_EQ(p.productName, QStringLiteral("光效"));
    EXPECT_EQ(p.category, QStringLiteral("效果"));
    EXPECT_EQ(p.effectCount, 12);
    EXPECT_EQ(p.minFcpVersion, QStringLiteral("10.6"));
    EXPECT_EQ(p.deliveryType, QStringLiteral("pkg"));
    EXPECT_EQ(p.deliveryActionLabel, QStringLiteral("安装"));
    EXPECT_EQ(p.newUntil, QStringLiteral("2026-01-01"));
    EXPECT_EQ(p.isNew, true);
    EXPECT_EQ(p.installGroup, QStringLiteral("g"));
    EXPECT_FALSE(decodeReply<MemberProduct>(kProduct).isNew);
}

TEST(ReplyDecoding, IntegersMustBeIntegralNumbers) {
    EXPECT_EQ(decodeReply<ManagerLoginStartResponse>(R"({"expiresIn":120})").expiresIn, 120);
    EXPECT_EQ(decodeReply<ManagerLoginStartResponse>(R"({"expiresIn":120.0})").expiresIn, 120);
    EXPECT_EQ(decodeReply<ManagerLoginStartResponse>(R"({"expiresIn":0})").expiresIn, 0);
    EXPECT_EQ(decodeReply<ManagerLoginStartResponse>(R"({"expiresIn":-5})").expiresIn, -5);
    EXPECT_FALSE(decodeReply<ManagerLoginStartResponse>(R"({"expiresIn":null})").expiresIn);
    EXPECT_EQ(failingKey([] { decodeReply<ManagerLoginStartResponse>(R"({"expiresIn":"120"})"); }),
              QStringLiteral("expiresIn"));
    EXPECT_EQ(failingKey([] { decodeReply<ManagerLoginStartResponse>(R"({"expiresIn":1.5})"); }),
              QStringLiteral("expiresIn"));
    EXPECT_EQ(failingKey([] { decodeReply<ManagerLoginStartResponse>(R"({"expiresIn":1e300})"); }),
              QStringLiteral("expiresIn"));
    EXPECT_EQ(failingKey([] { decodeReply<MemberProduct>(QByteArray(kProduct).replace("12", "true")); }),
              QStringLiteral("effectCount"));
}

TEST(ReplyDecoding, OptionalBoolAcceptsOnlyJsonBooleans) {
    EXPECT_FALSE(decodeReply<MemberProduct>(productWith(R"("isNew":null)")).isNew);
    EXPECT_EQ(decodeReply<MemberProduct>(productWith(R"("isNew":false)")).isNew, false);
    EXPECT_EQ(failingKey([] { decodeReply<MemberProduct>(productWith(R"("isNew":1)")); }), QStringLiteral("isNew"));
    const QByteArray library = "{\"products\":[" + kProduct + "," + productWith(R"("isNew":1)") + "]}";
    EXPECT_EQ(failingKey([&] { decodeReply<LibraryResponse>(library); }), QStringLiteral("products[1].isNew"));
}

TEST(ReplyDecoding, ARequiredFieldMissingNullOrMistypedFailsTheWholeReply) {
    QByteArray noDescription = kProduct;
    noDescription.replace(R"(,"description":"d")", "");
    EXPECT_EQ(failingKey([&] { decodeReply<LibraryResponse>("{\"products\":[" + noDescription + "]}"); }),
              QStringLiteral("products[0].description"));
    QByteArray nullName = kProduct;
    nullName.replace(R"("光效")", "null");
    EXPECT_EQ(failingKey([&] { decodeReply<MemberProduct>(nullName); }), QStringLiteral("productName"));
    EXPECT_EQ(failingKey([] {
                  decodeReply<ManagerAccountResponse>(R"({"memberships":[{"productName":"a"},{"productKey":"k"}]})");
              }),
              QStringLiteral("memberships[1].productName"));
    EXPECT_EQ(failingKey([] { decodeReply<ManagerAccountResponse>(R"({"membership":{"productName":5}})"); }),
              QStringLiteral("membership.productName"));
    EXPECT_EQ(failingKey([] { decodeReply<ManagerAccountResponse>(R"({"memberships":{}})"); }),
              QStringLiteral("memberships"));
    EXPECT_EQ(failingKey([] { decodeReply<ManagerAccountResponse>(R"({"memberships":["x"]})"); }),
              QStringLiteral("memberships[0]"));
    EXPECT_EQ(failingKey([] { decodeReply<ManagerLoginStatusResponse>(R"({"user":"名字"})"); }),
              QStringLiteral("user"));
    EXPECT_EQ(failingKey([] { decodeReply<ManagerAccountResponse>(R"({"authenticated":"yes"})"); }),
              QStringLiteral("authenticated"));
    EXPECT_EQ(failingKey([] { decodeReply<DownloadResponse>(R"({"downloadUrl":["u"]})"); }),
              QStringLiteral("downloadUrl"));
}

TEST(ReplyDecoding, BodiesThatAreNotOneJsonObjectFail) {
    for (const QByteArray &body : {QByteArray(), QByteArray("<html>502</html>"), QByteArray("[]"), QByteArray("\"x\""),
                                   QByteArray("{\"error\":\"\xff\xfe\"}"), QByteArray("{\"error\":")}) {
        EXPECT_THROW(decodeReply<ManagerAccountResponse>(body), ReplyDecodingError) << body.toStdString();
    }
}

TEST(ReplyDecoding, NestedRecordsAndOptionalsDecode) {
    const auto status = decodeReply<ManagerLoginStatusResponse>(
        R"({"status":"approved","accessToken":"t","user":{"nickname":"小明","avatarUrl":null},"unknown":1})");
    EXPECT_EQ(status.status, QStringLiteral("approved"));
    EXPECT_EQ(status.accessToken, QStringLiteral("t"));
    ASSERT_TRUE(status.user);
    EXPECT_EQ(status.user->nickname, QStringLiteral("小明"));
    EXPECT_FALSE(status.user->avatarUrl);

    const auto account = decodeReply<ManagerAccountResponse>(
        R"({"authenticated":false,"membership":{"productName":"全站","productType":"all_site"},"memberships":[],"message":"m"})");
    EXPECT_EQ(account.authenticated, false);
    ASSERT_TRUE(account.memberships);
    EXPECT_TRUE(account.memberships->isEmpty());
    ASSERT_TRUE(account.membership);
    EXPECT_FALSE(account.membership->productKey);
    EXPECT_EQ(account.message, QStringLiteral("m"));

    const auto download = decodeReply<DownloadResponse>(
        R"({"productKey":"a","productName":"b","downloadUrl":"c","productType":"d","fileName":"e","deliveryType":"f",
            "shareUrl":"g","accessCode":"h","archivePassword":"i","partnerActivationCode":"j","deliveryNote":"k",
            "resourceVersion":"l","packageVersion":"m","updateNotes":"n","error":"o"})");
    EXPECT_EQ(download.productKey, QStringLiteral("a"));
    EXPECT_EQ(download.partnerActivationCode, QStringLiteral("j"));
    EXPECT_EQ(download.error, QStringLiteral("o"));
}

TEST(ReplyDecoding, LicenseIdentity) {
    EXPECT_EQ(decodeReply<ManagerLicense>(R"({"productKey":"k","productName":"n","productType":"t"})").id(),
              QStringLiteral("k"));
    EXPECT_EQ(decodeReply<ManagerLicense>(R"({"productKey":"","productName":"n"})").id(), QString());
    EXPECT_EQ(decodeReply<ManagerLicense>(R"({"productName":"n","productType":"t"})").id(), QStringLiteral("t::n"));
    EXPECT_EQ(decodeReply<ManagerLicense>(R"({"productName":"n"})").id(), QStringLiteral("license::n"));
}

TEST(ReplyDecoding, EqualityAndHashingCoverEveryField) {
    MemberProduct a = decodeReply<MemberProduct>(productWith(R"("updateNotes":"one")"));
    MemberProduct b = decodeReply<MemberProduct>(productWith(R"("updateNotes":"two")"));
    MemberProduct c = decodeReply<MemberProduct>(kProduct);
    EXPECT_NE(a, b);
    EXPECT_NE(a, c);
    EXPECT_EQ(a, decodeReply<MemberProduct>(productWith(R"("updateNotes":"one")")));
    EXPECT_EQ(QSet<MemberProduct>({a, b, c, a}).size(), 3);

    ManagerLicense x{std::nullopt, QStringLiteral("n"), QStringLiteral("t")};
    ManagerLicense y{QStringLiteral("t::n"), QStringLiteral("n"), QStringLiteral("t")};
    EXPECT_EQ(x.id(), y.id());
    EXPECT_NE(x, y);
    EXPECT_EQ(QSet<ManagerLicense>({x, y, x}).size(), 2);
}
