#include "core/PluginManager.h"
#include "core/ReplyDecoding.h"
#include "core/ServiceClient.h"
#include "install/DownloadAuthorization.h"
#include "support/FakeAccountService.h"
#include "support/TestWorld.h"
#include "support/Wait.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

using namespace quillon;
using test::ScriptedReply;

namespace {
const std::string kDownload = "/api/manager/download";
}

TEST(DownloadAuthorization, SendsOnlyTheKeysItHasAndTheTokenOnlyInAccountMode) {
    test::FakeAccountService service;
    test::TestWorld world;
    PluginManager model(world.environment(service.baseUrl()));
    service.always(kDownload, ScriptedReply::json(403, std::string(R"({"error":"次数已用完"})")));

    const auto refused = test::run(requestDownloadAuthorization(
        model, {QStringLiteral("p1"), true, QStringLiteral("vrel-all-site-lifetime"), QStringLiteral("tok")}));
    EXPECT_EQ(refused.httpStatus, 403);
    EXPECT_EQ(refused.serviceError(), QStringLiteral("次数已用完"));

    service.always(kDownload, ScriptedReply::htmlErrorPage(502));
    const auto bare = test::run(requestDownloadAuthorization(model, {std::nullopt, false, std::nullopt, std::nullopt}));
    EXPECT_EQ(bare.httpStatus, 502);
    EXPECT_FALSE(bare.serviceError());
    EXPECT_THROW(bare.decoded(), ReplyDecodingError);

    const auto requests = service.requestsTo(kDownload);
    ASSERT_EQ(requests.size(), 2u);
    const auto body = [](const test::RecordedRequest &r) {
        return QJsonDocument::fromJson(QByteArray::fromStdString(r.body)).object();
    };
    EXPECT_EQ(body(requests[0]), (QJsonObject{{"deviceId", model.deviceIdentifier()},
                                              {"deviceName", model.deviceName()},
                                              {"productKey", "p1"},
                                              {"deliveryMode", "supplement"},
                                              {"membershipProductKey", "vrel-all-site-lifetime"}}));
    EXPECT_EQ(requests[0].header("Authorization"), "Bearer tok");
    EXPECT_EQ(body(requests[1]), (QJsonObject{{"deviceId", model.deviceIdentifier()}, {"deviceName", model.deviceName()}}));
    EXPECT_FALSE(requests[1].hasHeader("Authorization"));
}

TEST(DownloadAuthorization, OnlyAbsoluteWebURLsAreUsable) {
    EXPECT_EQ(serviceWebURL(QStringLiteral("https://pan.example.test/s/1abc?pwd=x")),
              QUrl(QStringLiteral("https://pan.example.test/s/1abc?pwd=x")));
    EXPECT_TRUE(serviceWebURL(QStringLiteral("HTTP://127.0.0.1:8080/p.pkg")));
    for (const char *text : {"", "not a url", "file:///etc/passwd", "/files/p.pkg", "javascript:alert(1)",
                             "ftp://host/p.pkg", "https://", "http:///p.pkg", "https://host/bad path%zz"}) {
        EXPECT_FALSE(serviceWebURL(QString::fromUtf8(text))) << text;
    }
    EXPECT_FALSE(serviceWebURL(std::nullopt));
}

TEST(ProtectedTemplatePackages, KnownByFileNameInAnyCaseOrByProduct) {
    EXPECT_TRUE(PluginManager::usesProtectedFcpTemplatePackage(std::nullopt, QStringLiteral("FCP-2.pkg")));
    EXPECT_TRUE(PluginManager::usesProtectedFcpTemplatePackage(QStringLiteral("x"), QStringLiteral("dir/fcp-3.PKG")));
    EXPECT_TRUE(PluginManager::usesProtectedFcpTemplatePackage(QStringLiteral("FCP-Template-Wedding"), QString()));
    EXPECT_FALSE(PluginManager::usesProtectedFcpTemplatePackage(std::nullopt, QStringLiteral("fcp-4.pkg")));
    EXPECT_FALSE(PluginManager::usesProtectedFcpTemplatePackage(QStringLiteral("fcp-template"), QStringLiteral("fcp-1.pkg.zip")));
}
