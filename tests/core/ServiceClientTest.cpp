#include "core/ServiceClient.h"
#include "model/PluginManager.h"
#include "platform/Http.h"
#include "support/FakeAccountService.h"
#include "support/LocalHttpServer.h"
#include "support/TestWorld.h"
#include "support/Wait.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QRegularExpression>

#include <gtest/gtest.h>

using namespace quillon;
using test::ScriptedReply;

namespace {

const std::string kStart = "/api/manager/login/start";

template <typename T>
ServiceResult<T> send(QNetworkAccessManager &network, const QUrl &url, const ServiceBody &body = {},
                      std::optional<QString> bearer = std::nullopt,
                      std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    return test::run(requestJSON<T>(network, makeServiceRequest(url, body, bearer, timeout)));
}

} // namespace

TEST(EndpointURL, AppendsEachNonEmptySegmentToTheBase) {
    const QUrl base(QStringLiteral("https://api.example.test/"));
    const QString expected = QStringLiteral("https://api.example.test/api/manager/login/start");
    EXPECT_EQ(endpointURL(base, QStringLiteral("api/manager/login/start")).toString(), expected);
    EXPECT_EQ(endpointURL(base, QStringLiteral("/api//manager/login/start/")).toString(), expected);
    EXPECT_EQ(endpointURL(base, QString()), base);
    EXPECT_EQ(endpointURL(base, QStringLiteral("///")), base);
    EXPECT_EQ(endpointURL(QUrl(QStringLiteral("https://h.test/v1")), QStringLiteral("a")).toString(),
              QStringLiteral("https://h.test/v1/a"));
    // A segment is one component: characters a component cannot hold are escaped.
    const QUrl odd = endpointURL(base, QStringLiteral("a?b#c/d e"));
    EXPECT_TRUE(odd.query().isEmpty());
    EXPECT_TRUE(odd.fragment().isEmpty());
    EXPECT_EQ(odd.path(QUrl::FullyEncoded), QStringLiteral("/a%3Fb%23c/d%20e"));
}

class ServiceClientTest : public ::testing::Test {
protected:
    test::FakeAccountService service;
    QNetworkAccessManager network;
    QUrl url(const std::string &path) const { return service.baseUrl().resolved(QUrl(QString::fromStdString(path))); }
};

TEST_F(ServiceClientTest, SendsOnePostWithTheFixedHeadersAndACompactBodyOfStrings) {
    service.always(kStart, ScriptedReply::json(200, std::string(R"({"ticket":"t1"})")));
    const auto result = send<ManagerLoginStartResponse>(
        network, url(kStart), {{QStringLiteral("deviceId"), QStringLiteral("ID")}, {QStringLiteral("deviceName"), QStringLiteral("工作室 · Vrel-ID")}},
        QStringLiteral("tok"));
    EXPECT_EQ(result.status, 200);
    EXPECT_EQ(result.reply.ticket, QStringLiteral("t1"));

    const auto requests = service.requestsTo(kStart);
    ASSERT_EQ(requests.size(), 1u);
    const auto &r = requests[0];
    EXPECT_EQ(r.method, "POST");
    EXPECT_EQ(r.header("Content-Type"), "application/json");
    EXPECT_EQ(r.header("Cache-Control"), "no-store");
    EXPECT_EQ(r.header("Authorization"), "Bearer tok");
    EXPECT_EQ(r.body.find('\n'), std::string::npos);
    EXPECT_EQ(r.body.find(": "), std::string::npos);
    const QJsonObject body = QJsonDocument::fromJson(QByteArray::fromStdString(r.body)).object();
    EXPECT_EQ(body.size(), 2);
    EXPECT_EQ(body.value(QStringLiteral("deviceId")).toString(), QStringLiteral("ID"));
    EXPECT_EQ(body.value(QStringLiteral("deviceName")).toString(), QStringLiteral("工作室 · Vrel-ID"));
}

TEST_F(ServiceClientTest, NoBearerMeansNoAuthorizationAndAnEmptyBearerIsStillSent) {
    service.always(kStart, ScriptedReply::json(200, std::string("{}")));
    send<ManagerLoginStartResponse>(network, url(kStart));
    send<ManagerLoginStartResponse>(network, url(kStart), {}, QString());
    const auto requests = service.requestsTo(kStart);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_FALSE(requests[0].hasHeader("Authorization"));
    EXPECT_EQ(requests[0].body, "{}");
    // HTTP drops the trailing space of a header value on the wire; the request holds it.
    EXPECT_EQ(requests[1].header("Authorization"), "Bearer");
    EXPECT_EQ(makeServiceRequest(url(kStart), {}, QString(), std::chrono::seconds(1)).request.rawHeader("Authorization"),
              QByteArray("Bearer "));
}

TEST_F(ServiceClientTest, AnEmptyObjectIsASuccessWithEveryFieldAbsent) {
    service.always(kStart, ScriptedReply::json(200, std::string("{}")));
    const auto result = send<ManagerLoginStartResponse>(network, url(kStart));
    EXPECT_EQ(result.status, 200);
    EXPECT_EQ(result.reply, ManagerLoginStartResponse());
}

TEST_F(ServiceClientTest, AJsonErrorReplyIsReturnedWithItsStatus) {
    service.always(kStart, ScriptedReply::json(502, std::string(R"({"error":"网关故障"})")));
    const auto result = send<ManagerLoginStartResponse>(network, url(kStart));
    EXPECT_EQ(result.status, 502);
    EXPECT_EQ(result.reply.error, QStringLiteral("网关故障"));

    service.always(kStart, ScriptedReply::json(401, std::string(R"({"error":"登录失效"})")));
    EXPECT_EQ(send<ManagerLoginStartResponse>(network, url(kStart)).status, 401);
    service.always(kStart, ScriptedReply::json(410, std::string("{}")));
    EXPECT_EQ(send<ManagerLoginStartResponse>(network, url(kStart)).status, 410);
    service.always(kStart, ScriptedReply::json(400, std::string("{}")));
    EXPECT_EQ(send<ManagerLoginStartResponse>(network, url(kStart)).status, 400);
}

TEST_F(ServiceClientTest, UndecodableRepliesThrowWhateverTheStatus) {
    service.always(kStart, ScriptedReply::htmlErrorPage(502));
    EXPECT_THROW(send<ManagerLoginStartResponse>(network, url(kStart)), ReplyDecodingError);
    service.always(kStart, ScriptedReply::invalidUtf8(200));
    EXPECT_THROW(send<ManagerLoginStartResponse>(network, url(kStart)), ReplyDecodingError);
    service.always(kStart, ScriptedReply::json(200, std::string(R"({"expiresIn":"600"})")));
    EXPECT_THROW(send<ManagerLoginStartResponse>(network, url(kStart)), ReplyDecodingError);
}

TEST_F(ServiceClientTest, TransportFailuresThrow) {
    service.always(kStart, ScriptedReply::dropped());
    EXPECT_THROW(send<ManagerLoginStatusResponse>(network, url(kStart)), http::NetworkFailure);

    service.always(kStart, ScriptedReply::json(200, std::string("{}")).after(std::chrono::milliseconds(2000)));
    EXPECT_THROW(send<ManagerLoginStartResponse>(network, url(kStart), {}, std::nullopt, std::chrono::milliseconds(100)),
                 http::NetworkFailure);

    EXPECT_THROW(send<ManagerLoginStartResponse>(network, QUrl(QStringLiteral("http://127.0.0.1:9/x"))),
                 http::NetworkFailure);
}

TEST_F(ServiceClientTest, CancellingTheTokenAbortsTheRequest) {
    service.always(kStart, ScriptedReply::json(200, std::string("{}")).heldBack());
    TaskHandle handle;
    auto task = requestJSON<ManagerLoginStartResponse>(
        network, makeServiceRequest(url(kStart), {}, std::nullopt, std::chrono::seconds(10)), handle.token());
    ASSERT_TRUE(test::waitUntil([&] { return service.heldCount() == 1; }));
    handle.cancel();
    EXPECT_THROW(test::run(std::move(task)), TaskCancelled);
    service.releaseHeld();
}

TEST(DeviceIdentity, NameJoinsHostSeparatorAndTheFirstEightCharacters) {
    EXPECT_EQ(deviceNameFor(QStringLiteral("工作室"), QStringLiteral("3F2A9C1E-0000-4000-8000-000000000000")),
              QStringLiteral("工作室 · Vrel-3F2A9C1E"));
    EXPECT_EQ(deviceNameFor(QString(), QStringLiteral("ABCDEFGHIJ")), QStringLiteral("Mac · Vrel-ABCDEFGH"));
    EXPECT_EQ(deviceNameFor(QStringLiteral("m"), QStringLiteral("abc")), QStringLiteral("m · Vrel-abc"));
    EXPECT_EQ(deviceNameFor(QStringLiteral("m"), QString()), QStringLiteral("m · Vrel-"));
    // Eight user-perceived characters, never half of one.
    EXPECT_EQ(deviceNameFor(QStringLiteral("m"), QStringLiteral("1234567😀89")), QStringLiteral("m · Vrel-1234567😀"));
    EXPECT_EQ(QStringLiteral(" · Vrel-").at(1), QChar(0x00B7));
}

TEST(DeviceIdentity, IdentifierIsCreatedOnceUpperCaseAndStored) {
    test::TestWorld world;
    PluginManager model(world.environment());
    EXPECT_FALSE(world.preferences->contains(QStringLiteral("vrel.device.id")));
    const QString first = model.deviceIdentifier();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$"))
                    .match(first)
                    .hasMatch());
    EXPECT_EQ(model.deviceIdentifier(), first);
    EXPECT_EQ(world.preferences->string(QStringLiteral("vrel.device.id")), first);
    EXPECT_TRUE(model.deviceName().endsWith(QStringLiteral(" · Vrel-") + first.left(8)));

    world.preferences->setValue(QStringLiteral("vrel.device.id"), QStringLiteral("short"));
    EXPECT_EQ(model.deviceIdentifier(), QStringLiteral("short"));
    EXPECT_TRUE(model.deviceName().endsWith(QStringLiteral(" · Vrel-short")));
}

TEST(ServiceRequestSafety, ATokenThatCouldBreakItsHeaderIsNeverSent) {
    for (const QString &token : {QStringLiteral("tok\r\nX-Injected: yes"), QStringLiteral("tok x"), QStringLiteral("tok\u00e9")}) {
        EXPECT_THROW(makeServiceRequest(QUrl(QStringLiteral("http://127.0.0.1:9/")), {}, token, std::chrono::seconds(1)),
                     UnusableTokenError);
    }
}

TEST(ServiceRequestSafety, TheBearerTokenFollowsRedirectsOnlyWithinItsOrigin) {
    test::LocalHttpServer elsewhere;
    elsewhere.http().Post(".*", [](const httplib::Request &, httplib::Response &res) {
        res.set_content(R"({"status":"approved","accessToken":"stolen"})", "application/json");
    });
    elsewhere.start();
    test::LocalHttpServer service;
    const std::string away = elsewhere.url(QStringLiteral("/taken")).toString().toStdString();
    service.http().Post("/away", [away](const httplib::Request &, httplib::Response &res) {
        res.status = 307;
        res.set_header("Location", away);
    });
    service.http().Post("/moved", [](const httplib::Request &, httplib::Response &res) {
        res.status = 307;
        res.set_header("Location", "/here");
    });
    service.http().Post("/here", [](const httplib::Request &, httplib::Response &res) {
        res.set_content(R"({"status":"approved"})", "application/json");
    });
    service.http().Post("/seeOther", [](const httplib::Request &, httplib::Response &res) {
        res.status = 303;
        res.set_header("Location", "/result");
    });
    service.http().Get("/result", [](const httplib::Request &, httplib::Response &res) {
        res.set_content(R"({"status":"pending"})", "application/json");
    });
    service.http().Post("/loop", [](const httplib::Request &, httplib::Response &res) {
        res.status = 308;
        res.set_header("Location", "/loop");
    });
    service.start();
    QNetworkAccessManager network;

    EXPECT_THROW(send<ManagerLoginStatusResponse>(network, service.url(QStringLiteral("/away")), {}, QStringLiteral("tok")),
                 http::NetworkFailure);
    EXPECT_TRUE(elsewhere.requests().empty());
    EXPECT_EQ(send<ManagerLoginStatusResponse>(network, service.url(QStringLiteral("/moved")),
                                               {{QStringLiteral("deviceId"), QStringLiteral("ID")}}, QStringLiteral("tok"))
                  .reply.status,
              QStringLiteral("approved"));
    ASSERT_EQ(service.requestsTo("/here").size(), 1u);
    EXPECT_EQ(service.requestsTo("/here")[0].header("Authorization"), "Bearer tok");
    EXPECT_EQ(service.requestsTo("/here")[0].body, R"({"deviceId":"ID"})") << "a 307 repeats the request with its body";

    // 303 turns the request into a GET; a redirect that never ends is a failure, not a hang.
    EXPECT_EQ(send<ManagerLoginStatusResponse>(network, service.url(QStringLiteral("/seeOther")), {}, QStringLiteral("tok"))
                  .reply.status,
              QStringLiteral("pending"));
    EXPECT_THROW(send<ManagerLoginStatusResponse>(network, service.url(QStringLiteral("/loop")), {}, QStringLiteral("tok")),
                 http::NetworkFailure);
}
