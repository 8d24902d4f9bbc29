// The stand-in studio service's own faults that the end-to-end test would not pin down:
// byte ranges answered exactly and paced when asked, and tokens and rights checked on every
// endpoint that needs them.
#include "support/StudioServiceProcess.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>

#include <httplib.h>

#include <gtest/gtest.h>

#include <tuple>

using quillon::test::StudioServiceProcess;

namespace {

QJsonObject json(const httplib::Result &result) {
    return result ? QJsonDocument::fromJson(QByteArray::fromStdString(result->body)).object() : QJsonObject();
}

} // namespace

TEST(StudioService, AnswersByteRangesOfItsPackagesExactly) {
    StudioServiceProcess service;
    httplib::Client client("127.0.0.1", service.baseUrl().port());
    const std::string path =
        "/packages/" + StudioServiceProcess::catalogue()[QStringLiteral("files")][0][QStringLiteral("fileName")].toString().toStdString();
    const httplib::Result whole = client.Get(path);
    ASSERT_TRUE(whole);
    ASSERT_EQ(whole->status, 200);
    const std::string &bytes = whole->body;
    const std::size_t n = bytes.size();
    const std::string total = std::to_string(n);
    const httplib::Result head = client.Head(path);
    ASSERT_TRUE(head);
    EXPECT_EQ(head->get_header_value("Content-Length"), total);
    EXPECT_EQ(head->get_header_value("Accept-Ranges"), "bytes");

    struct Case {
        std::string range;
        int status;
        std::string contentRange;
        std::string body;
    };
    const Case cases[] = {
        {"bytes=100-199", 206, "bytes 100-199/" + total, bytes.substr(100, 100)},
        {"bytes=10-", 206, "bytes 10-" + std::to_string(n - 1) + "/" + total, bytes.substr(10)},
        {"bytes=-7", 206, "bytes " + std::to_string(n - 7) + "-" + std::to_string(n - 1) + "/" + total, bytes.substr(n - 7)},
        {"bytes=5-" + std::to_string(n + 50), 206, "bytes 5-" + std::to_string(n - 1) + "/" + total, bytes.substr(5)},
        {"bytes=" + total + "-", 416, "bytes */" + total, ""},
        {"bytes=0-1,4-5", 200, "", bytes}, // several ranges may be ignored: the whole file
    };
    for (const Case &c : cases) {
        const httplib::Result result = client.Get(path, {{"Range", c.range}});
        ASSERT_TRUE(result) << c.range;
        EXPECT_EQ(result->status, c.status) << c.range;
        EXPECT_EQ(result->get_header_value("Content-Range"), c.contentRange) << c.range;
        EXPECT_TRUE(result->body == c.body) << c.range;
    }
}

TEST(StudioService, PacesItsPackagesWhenAskedTo) {
    StudioServiceProcess service({QStringLiteral("--throttle-bytes-per-second"), QString::number(1 << 20)});
    httplib::Client client("127.0.0.1", service.baseUrl().port());
    QElapsedTimer timer;
    timer.start();
    const httplib::Result half = client.Get("/packages/Vrel-Dynamic-Transitions.pkg", {{"Range", "bytes=0-524287"}}); // the large one
    ASSERT_TRUE(half);
    EXPECT_EQ(half->body.size(), 524288u);
    EXPECT_GE(timer.elapsed(), 400) << "half a MiB at 1 MiB/s: its last piece leaves after 0.44 s";
}

TEST(StudioService, EndpointsOfTheAccountWantATokenItHandedOut) {
    StudioServiceProcess service;
    httplib::Client client("127.0.0.1", service.baseUrl().port());
    const std::string body = R"({"deviceId":"D","productKey":"none"})";
    const char *const endpoints[] = {"/api/manager/account", "/api/manager/library", "/api/manager/download"};
    for (const char *endpoint : endpoints) {
        for (const char *authorization : {"", "Bearer ", "Bearer vrel-trial-forged", "Basic dXNlcg=="}) {
            httplib::Headers headers;
            if (*authorization) {
                headers.emplace("Authorization", authorization);
            }
            const httplib::Result refused = client.Post(endpoint, headers, body, "application/json");
            ASSERT_TRUE(refused);
            EXPECT_EQ(refused->status, 401) << endpoint << " " << authorization;
            EXPECT_EQ(json(refused)[QStringLiteral("error")].toString(), QStringLiteral("登录已失效，请重新扫码登录。"));
        }
    }

    // A token of an approved sign-in opens them.
    const QJsonObject ticket = json(client.Post("/api/manager/login/start", R"({"deviceId":"D"})", "application/json"));
    const std::string id = ticket[QStringLiteral("ticket")].toString().toStdString();
    ASSERT_EQ(client.Post("/authorize/approve", "ticket=" + id, "application/x-www-form-urlencoded")->status, 200);
    const QJsonObject approved =
        json(client.Post("/api/manager/login/status", R"({"ticket":")" + id + R"("})", "application/json"));
    const std::string token = approved[QStringLiteral("accessToken")].toString().toStdString();
    ASSERT_FALSE(token.empty());
    const QJsonObject catalogue = StudioServiceProcess::catalogue();
    auto keyOf = [&](int membership, int product = -1) {
        const QJsonValue entry = catalogue[QStringLiteral("memberships")][membership];
        return (product < 0 ? entry[QStringLiteral("productKey")] : entry[QStringLiteral("library")][product]).toString().toStdString();
    };
    const std::string own = R"({"productKey":")" + keyOf(0, 0) + R"(","membershipProductKey":")" + keyOf(0) + R"("})";
    const std::string other = R"({"productKey":")" + keyOf(1, 0) + R"(","membershipProductKey":")" + keyOf(0) + R"("})";
    const std::tuple<const char *, std::string, int> allowed[] = {
        {endpoints[0], body, 200}, {endpoints[1], body, 200}, {endpoints[2], own, 200}, {endpoints[2], other, 403}};
    for (const auto &[endpoint, request, status] : allowed) {
        const httplib::Result result = client.Post(endpoint, {{"Authorization", "Bearer " + token}}, request, "application/json");
        ASSERT_TRUE(result);
        EXPECT_EQ(result->status, status) << endpoint << " " << request;
    }
}
