// The GET whose framing the program reads itself, against a server on 127.0.0.1 that
// writes its answers byte for byte: a body ends where the server said it ends, or fails.
#include "platform/Http.h"
#include "platform/HttpFramedReply.h"
#include "support/RawHttpServer.h"
#include "support/Wait.h"

#include <QProcess>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <httplib.h>

#include <memory>
#include <thread>

using namespace quillon;
using quillon::test::RawHttpServer;

namespace {

using Pieces = std::vector<std::string>;

std::string chunked(const std::string &body, std::size_t piece) {
    std::string text;
    for (std::size_t at = 0; at < body.size(); at += piece) {
        text += RawHttpServer::chunk(body.substr(at, piece));
    }
    return text;
}

// One reply, run to its end, with what its reader saw.
struct Fetched {
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    int status = 0;
    QByteArray body;
    QUrl url;
    int finishedSignals = 0;
    std::unique_ptr<http::FramedReply> reply;
};

Fetched fetch(const QUrl &url, const std::function<void(QNetworkRequest &)> &adjust = {}) {
    QNetworkRequest request = http::makeRequest(url, std::chrono::seconds(10));
    if (adjust) {
        adjust(request);
    }
    Fetched fetched;
    fetched.reply = std::make_unique<http::FramedReply>(request);
    QNetworkReply *reply = fetched.reply.get();
    QObject::connect(reply, &QNetworkReply::readyRead, [&fetched, reply] { fetched.body += reply->readAll(); });
    QObject::connect(reply, &QNetworkReply::finished, [&fetched] { ++fetched.finishedSignals; });
    EXPECT_TRUE(test::waitUntil([&] { return fetched.finishedSignals > 0; }));
    fetched.body += reply->readAll();
    fetched.error = reply->error();
    fetched.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    fetched.url = reply->url();
    return fetched;
}

/// A server that gives every request the same pieces.
std::unique_ptr<RawHttpServer> serving(Pieces pieces) {
    return std::make_unique<RawHttpServer>([pieces](const RawHttpServer::Request &) { return pieces; });
}

const std::string kBody = std::string(70'000, 'x') + "the end";

} // namespace

TEST(HttpFramedReplyTest, ABodyEndsWhereItsFramingSays) {
    struct Case {
        const char *name;
        Pieces pieces;
        std::string body;
    };
    const std::vector<Case> cases{
        {"chunked, with extensions and trailers",
         {RawHttpServer::head(200, {"Transfer-Encoding: chunked", "Connection: close"}), "3;name=value\r\nabc\r\n",
          chunked(kBody, 4096), "0\r\nChecksum: none\r\n\r\n", "bytes after the end are not the body"},
         "abc" + kBody},
        {"a length", {RawHttpServer::head(200, {"Content-Length: 70007", "Connection: close"}), kBody}, kBody},
        {"a length repeated alike", {RawHttpServer::head(200, {"Content-Length: 70007, 70007", "Connection: close"}), kBody}, kBody},
        {"neither: the closed connection ends it", {RawHttpServer::head(200, {"Connection: close"}), kBody}, kBody},
        {"after an interim answer", {"\r\n" + RawHttpServer::head(100, {}), RawHttpServer::head(200, {"Content-Length: 2", "Connection: close"}), "ok"}, "ok"},
        {"no content", {RawHttpServer::head(204, {"Connection: close"})}, ""},
    };
    for (const Case &c : cases) {
        const auto server = serving(c.pieces);
        const Fetched fetched = fetch(server->url());
        EXPECT_EQ(fetched.error, QNetworkReply::NoError) << c.name;
        EXPECT_EQ(fetched.body.toStdString(), c.body) << c.name;
        EXPECT_EQ(fetched.finishedSignals, 1) << c.name;
        EXPECT_TRUE(fetched.reply->isFinished()) << c.name;
    }
}

TEST(HttpFramedReplyTest, AnAnswerCutShortOrMalformedFails) {
    struct Case {
        const char *name;
        Pieces pieces;
        QNetworkReply::NetworkError error;
    };
    const std::vector<Case> cases{
        {"chunked without the closing chunk", {RawHttpServer::head(200, {"Transfer-Encoding: chunked", "Connection: close"}), chunked(kBody, 4096)}, QNetworkReply::RemoteHostClosedError},
        {"chunked, cut inside a chunk", {RawHttpServer::head(200, {"Transfer-Encoding: chunked", "Connection: close"}), "ffff\r\nonly a little"}, QNetworkReply::RemoteHostClosedError},
        {"shorter than its length", {RawHttpServer::head(200, {"Content-Length: 80000", "Connection: close"}), kBody}, QNetworkReply::RemoteHostClosedError},
        {"closed inside the head", {"HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Le"}, QNetworkReply::RemoteHostClosedError},
        {"closed before any answer", {}, QNetworkReply::RemoteHostClosedError},
        {"not HTTP", {"SSH-2.0-OpenSSH\r\n\r\n"}, QNetworkReply::ProtocolFailure},
        {"a chunk size that is no number", {RawHttpServer::head(200, {"Transfer-Encoding: chunked"}), "zz\r\n"}, QNetworkReply::ProtocolFailure},
        {"a chunk longer than its size", {RawHttpServer::head(200, {"Transfer-Encoding: chunked"}), "2\r\nabc\r\n0\r\n\r\n"}, QNetworkReply::ProtocolFailure},
        {"lengths that disagree", {RawHttpServer::head(200, {"Content-Length: 5", "Content-Length: 6"}), "abcdef"}, QNetworkReply::ProtocolFailure},
        {"a head without end", {"HTTP/1.1 200 OK\r\nX: " + std::string(70 * 1024, 'h')}, QNetworkReply::ProtocolFailure},
    };
    for (const Case &c : cases) {
        const auto server = serving(c.pieces);
        const Fetched fetched = fetch(server->url());
        EXPECT_EQ(fetched.error, c.error) << c.name;
        EXPECT_EQ(fetched.finishedSignals, 1) << c.name;
        EXPECT_TRUE(http::failedInTransport(*fetched.reply)) << c.name;
        const QString words = http::NetworkFailure(fetched.error, fetched.reply->errorString()).description();
        EXPECT_EQ(words, c.error == QNetworkReply::ProtocolFailure ? QStringLiteral("网络错误") : QStringLiteral("网络连接已中断。"))
            << c.name;
    }
}

TEST(HttpFramedReplyTest, TheRequestIsOneGetPerConnectionWithTheRequestsFields) {
    const auto server = serving({RawHttpServer::head(200, {"Content-Length: 2", "X-Answer: one", "x-answer: two"}), "ok"});
    const Fetched fetched = fetch(server->url("/files/a%20b.zip?v=1&w=%E4%B8%AD"), [](QNetworkRequest &request) {
        request.setRawHeader("Referer", "https://shop.example/");
        request.setRawHeader("Accept-Encoding", "identity");
        // Fields this reply decides itself, and one that would end its line early.
        request.setRawHeader("Host", "elsewhere.example");
        request.setRawHeader("Connection", "keep-alive");
        request.setRawHeader("X-Note", "a\r\nInjected: yes");
    });
    ASSERT_EQ(fetched.error, QNetworkReply::NoError);
    EXPECT_EQ(fetched.reply->rawHeader("X-Answer"), QByteArray("one, two"));
    ASSERT_EQ(server->requests().size(), 1u);
    const std::string head = server->requests().front().head;
    EXPECT_EQ(head.substr(0, head.find("\r\n")), "GET /files/a%20b.zip?v=1&w=%E4%B8%AD HTTP/1.1");
    for (const std::string &field : {"Host: 127.0.0.1:" + std::to_string(server->port()), std::string("Referer: https://shop.example/"),
                                    std::string("Accept-Encoding: identity"), std::string("Connection: close")}) {
        EXPECT_NE(head.find("\r\n" + field + "\r\n"), std::string::npos) << field;
    }
    for (const char *absent : {"elsewhere", "keep-alive", "Injected"}) {
        EXPECT_EQ(head.find(absent), std::string::npos) << absent;
    }
}

TEST(HttpFramedReplyTest, RedirectsAreFollowedAsTheirPolicyAllows) {
    RawHttpServer target([](const RawHttpServer::Request &) {
        return Pieces{RawHttpServer::head(200, {"Content-Length: 6", "Connection: close"}), "landed"};
    });
    int hops = 0;
    RawHttpServer source([&](const RawHttpServer::Request &request) {
        if (request.target == "/file") {
            return Pieces{RawHttpServer::head(302, {"Location: /moved?x=1", "Content-Length: 0", "Connection: close"})};
        }
        if (request.target == "/moved?x=1") {
            return Pieces{RawHttpServer::head(307, {"Location: " + target.url("/final").toString().toStdString(), "Connection: close"})};
        }
        if (request.target == "/to-file") {
            return Pieces{RawHttpServer::head(301, {"Location: file:///etc/passwd", "Connection: close"})};
        }
        ++hops;
        return Pieces{RawHttpServer::head(302, {"Location: /loop" + std::to_string(hops), "Connection: close"})};
    });

    const Fetched followed = fetch(source.url());
    EXPECT_EQ(followed.error, QNetworkReply::NoError);
    EXPECT_EQ(followed.body, QByteArray("landed"));
    EXPECT_EQ(followed.url, target.url("/final"));

    const Fetched toFile = fetch(source.url("/to-file"));
    EXPECT_EQ(toFile.error, QNetworkReply::ProtocolUnknownError);
    EXPECT_EQ(http::NetworkFailure(toFile.error, toFile.reply->errorString()).description(), QStringLiteral("下载地址无效"));

    const Fetched looping = fetch(source.url("/loop"), [](QNetworkRequest &request) { request.setMaximumRedirectsAllowed(3); });
    EXPECT_EQ(looping.error, QNetworkReply::TooManyRedirectsError);
    EXPECT_EQ(hops, 4);

    const Fetched elsewhere = fetch(source.url(), [](QNetworkRequest &request) {
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::SameOriginRedirectPolicy);
    });
    EXPECT_EQ(elsewhere.error, QNetworkReply::InsecureRedirectError) << "the second hop leaves the origin";

    const Fetched manual = fetch(source.url(), [](QNetworkRequest &request) {
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    });
    EXPECT_EQ(manual.error, QNetworkReply::NoError);
    EXPECT_EQ(manual.status, 302);
}

TEST(HttpFramedReplyTest, AnAddressItCannotUseOrReachFails) {
    EXPECT_EQ(fetch(QUrl(QStringLiteral("ftp://127.0.0.1/file"))).error, QNetworkReply::ProtocolUnknownError);
    EXPECT_EQ(fetch(QUrl(QStringLiteral("http:///file"))).error, QNetworkReply::HostNotFoundError);
    QUrl closed;
    {
        const auto server = serving({});
        closed = server->url();
    } // nothing listens there any more
    EXPECT_EQ(fetch(closed).error, QNetworkReply::ConnectionRefusedError);
}

TEST(HttpFramedReplyTest, AnAnswerThatKeepsComingOutlivesItsTimeOut) {
    // Twelve pieces a tenth of a second apart: longer in all than the time-out, never silent for it.
    Pieces pieces{RawHttpServer::head(200, {"Content-Length: 120", "Connection: close"})};
    for (int i = 0; i < 12; ++i) {
        pieces.push_back(std::string(10, char('a' + i)));
    }
    RawHttpServer slow([pieces](const RawHttpServer::Request &) { return pieces; }, std::chrono::milliseconds(100));
    const Fetched fetched = fetch(slow.url(), [](QNetworkRequest &request) { request.setTransferTimeout(1000); });
    EXPECT_EQ(fetched.error, QNetworkReply::NoError);
    EXPECT_EQ(fetched.body.size(), 120);
}

TEST(HttpFramedReplyTest, AStalledAnswerTimesOutAndAnAbortEndsItOnce) {
    // No "Connection: close": the server keeps the connection and sends nothing more.
    const auto server = serving({RawHttpServer::head(200, {"Content-Length: 100"}), "only part"});
    const Fetched stalled = fetch(server->url(), [](QNetworkRequest &request) { request.setTransferTimeout(200); });
    EXPECT_EQ(stalled.error, QNetworkReply::TimeoutError);
    EXPECT_EQ(stalled.body, QByteArray("only part"));

    http::FramedReply reply(http::makeRequest(server->url(), std::chrono::seconds(10)));
    int finished = 0;
    QObject::connect(&reply, &QNetworkReply::finished, [&] { ++finished; });
    ASSERT_TRUE(test::waitUntil([&] { return reply.bytesAvailable() > 0; }));
    reply.abort();
    reply.abort();
    EXPECT_EQ(finished, 1);
    EXPECT_EQ(reply.error(), QNetworkReply::OperationCanceledError);
    EXPECT_TRUE(reply.isFinished());
}

namespace {

/// A certificate for 127.0.0.1, made for the test by the openssl tool.
struct LoopbackCertificate {
    QTemporaryDir folder;
    QString certificate = folder.filePath(QStringLiteral("cert.pem"));
    QString key = folder.filePath(QStringLiteral("key.pem"));

    bool make() const {
        QProcess openssl;
        openssl.start(QStringLiteral("openssl"),
                      {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("rsa:2048"),
                       QStringLiteral("-nodes"), QStringLiteral("-days"), QStringLiteral("1"), QStringLiteral("-subj"),
                       QStringLiteral("/CN=127.0.0.1"), QStringLiteral("-addext"), QStringLiteral("subjectAltName=IP:127.0.0.1"),
                       QStringLiteral("-keyout"), key, QStringLiteral("-out"), certificate});
        return openssl.waitForFinished(60'000) && openssl.exitStatus() == QProcess::NormalExit && openssl.exitCode() == 0;
    }
};

/// Makes the process trust `certificate` while it lives.
class TrustedCertificate {
public:
    explicit TrustedCertificate(const QString &certificate) : m_previous(QSslConfiguration::defaultConfiguration()) {
        QSslConfiguration trusting = m_previous;
        trusting.addCaCertificates(certificate);
        QSslConfiguration::setDefaultConfiguration(trusting);
    }
    ~TrustedCertificate() { QSslConfiguration::setDefaultConfiguration(m_previous); }

private:
    QSslConfiguration m_previous;
};

} // namespace

TEST(HttpFramedReplyTest, AnHttpsAnswerIsReadOverATrustedConnectionOnly) {
    LoopbackCertificate certificate;
    ASSERT_TRUE(certificate.make());
    RawHttpServer plain([](const RawHttpServer::Request &) {
        return Pieces{RawHttpServer::head(200, {"Content-Length: 5", "Connection: close"}), "plain"};
    });
    httplib::SSLServer tls(QFile::encodeName(certificate.certificate).constData(), QFile::encodeName(certificate.key).constData());
    tls.Get("/file", [](const httplib::Request &, httplib::Response &response) {
        response.set_chunked_content_provider("application/octet-stream", [](std::size_t offset, httplib::DataSink &sink) {
            sink.write(kBody.data() + offset, std::min<std::size_t>(4096, kBody.size() - offset));
            if (offset + 4096 >= kBody.size()) {
                sink.done();
            }
            return true;
        });
    });
    tls.Get("/down", [&](const httplib::Request &, httplib::Response &response) {
        response.set_redirect(plain.url().toString().toStdString());
    });
    const int port = tls.bind_to_any_port("127.0.0.1");
    ASSERT_GT(port, 0);
    std::thread serving([&] { tls.listen_after_bind(); });
    const QUrl file(QStringLiteral("https://127.0.0.1:%1/file").arg(port));

    const Fetched untrusted = fetch(file);
    EXPECT_EQ(untrusted.error, QNetworkReply::SslHandshakeFailedError);
    EXPECT_EQ(http::NetworkFailure(untrusted.error, untrusted.reply->errorString()).description(),
              QStringLiteral("无法建立安全连接。"));
    {
        const TrustedCertificate trusted(certificate.certificate);
        const Fetched fetched = fetch(file);
        EXPECT_EQ(fetched.error, QNetworkReply::NoError) << fetched.reply->errorString().toStdString();
        EXPECT_EQ(fetched.body.toStdString(), kBody);

        const Fetched downgraded = fetch(QUrl(QStringLiteral("https://127.0.0.1:%1/down").arg(port)));
        EXPECT_EQ(downgraded.error, QNetworkReply::InsecureRedirectError) << "from https to http is refused";
        EXPECT_TRUE(plain.requests().empty());
    }
    tls.stop();
    serving.join();
}
