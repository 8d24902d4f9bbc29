#include "install/RangeConnection.h"

#include "FailureOf.h"
#include "install/DownloadRequest.h"
#include "install/PartFile.h"
#include "platform/Http.h"
#include "records/InstallError.h"
#include "support/RangeServer.h"
#include "support/RawHttpServer.h"
#include "support/Wait.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <future>
#include <set>
#include <thread>

using namespace quillon;
using quillon::test::RawHttpServer;

namespace {

using namespace std::chrono_literals;

constexpr qint64 kLength = 3000;

sockaddr_storage loopback(int port) {
    sockaddr_storage storage{};
    auto *ip4 = reinterpret_cast<sockaddr_in *>(&storage);
    ip4->sin_family = AF_INET;
    ip4->sin_port = htons(static_cast<uint16_t>(port));
    ip4->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return storage;
}

// "bytes=<first>-<last>" of a request head.
std::pair<std::size_t, std::size_t> askedRange(const std::string &head) {
    const std::size_t at = head.find("Range: bytes=");
    std::size_t first = 0;
    std::size_t last = 0;
    std::sscanf(head.c_str() + at, "Range: bytes=%zu-%zu", &first, &last);
    return {first, last};
}

// One connection fetching ranges of a 3000-byte file into a part file.
class RangeConnectionTest : public ::testing::Test {
protected:
    // A sound answer to the range the request asks for, with `fields` added to its head.
    std::vector<std::string> answer(const RawHttpServer::Request &request, std::vector<std::string> fields = {}) const {
        const auto [first, last] = askedRange(request.head);
        fields.push_back("Content-Range: bytes " + std::to_string(first) + "-" + std::to_string(last) + "/" +
                         std::to_string(kLength));
        fields.push_back("Content-Length: " + std::to_string(last - first + 1));
        return {RawHttpServer::head(206, fields), content.substr(first, last - first + 1)};
    }

    RangeConnection::Target target(int port, std::chrono::milliseconds timeout = 10s) const {
        RangeConnection::Target target;
        target.addresses = {loopback(port)};
        target.request = VrelDownloadRequest::make(QUrl(QStringLiteral("http://127.0.0.1:%1/file").arg(port)));
        target.timeout = timeout;
        return target;
    }

    void fetch(RangeConnection &connection, ByteRange range) {
        connection.fetch(range, kLength, *file, [this](qint64 bytes) { written += bytes; });
    }

    // What fetching [0, 1000) through a server answering `pieces` throws, as a description.
    template <typename Answer>
    std::exception_ptr failureOf(Answer answerWith, std::chrono::milliseconds timeout = 10s,
                                 std::chrono::milliseconds pause = {}) {
        RawHttpServer server([&](const RawHttpServer::Request &request) { return answerWith(request); }, pause);
        const RangeConnection::Target where = target(server.port(), timeout);
        RangeConnection connection(where);
        try {
            fetch(connection, {0, 1000});
        } catch (...) {
            return std::current_exception();
        }
        return nullptr;
    }

    QByteArray fileBytes() const {
        QFile read(file->path());
        return read.open(QIODevice::ReadOnly) ? read.readAll() : QByteArray();
    }

    QTemporaryDir folder;
    std::string content = test::patternedBytes(kLength, 41);
    std::unique_ptr<PartFile> file = [this] {
        auto part = std::make_unique<PartFile>(folder.filePath(QStringLiteral("package.pkg")));
        part->resize(kLength);
        return part;
    }();
    qint64 written = 0;
};

using test::isInvalidResponse;

std::optional<QNetworkReply::NetworkError> networkFailure(std::exception_ptr error) {
    const auto failure = test::failureAs<http::NetworkFailure>(error);
    return failure ? std::optional(failure->code()) : std::nullopt;
}

TEST_F(RangeConnectionTest, ConsecutiveRangesShareOneKeptAliveConnection) {
    std::mutex lock;
    std::set<std::thread::id> connections; // the server answers each connection on a thread of its own
    RawHttpServer server([&](const RawHttpServer::Request &request) {
        std::lock_guard guard(lock);
        connections.insert(std::this_thread::get_id());
        return answer(request);
    });
    const RangeConnection::Target where = target(server.port());
    RangeConnection connection(where);
    for (const ByteRange range : {ByteRange{2000, 1000}, ByteRange{0, 1000}, ByteRange{1000, 1000}}) {
        fetch(connection, range);
    }
    EXPECT_EQ(fileBytes(), QByteArray::fromStdString(content));
    EXPECT_EQ(written, kLength);
    EXPECT_EQ(connections.size(), 1u);

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 3u);
    const std::string &head = requests[1].head;
    EXPECT_EQ(requests[1].method, "GET");
    EXPECT_EQ(requests[1].target, "/file");
    EXPECT_NE(head.find("Range: bytes=0-999\r\n"), std::string::npos) << head;
    EXPECT_NE(head.find("Host: 127.0.0.1:" + std::to_string(server.port()) + "\r\n"), std::string::npos) << head;
    EXPECT_NE(head.find("Accept-Encoding: identity\r\n"), std::string::npos) << head;
    EXPECT_NE(head.find("User-Agent: "), std::string::npos) << head;
    EXPECT_EQ(head.find("Referer"), std::string::npos) << head;
}

TEST_F(RangeConnectionTest, AKeptAliveConnectionTheServerClosedIsOpenedAgain) {
    std::mutex lock;
    std::vector<std::thread::id> answeredOn;
    // The test server ends a connection whose answer mentions "Connection: close"; this one
    // says so only in a field of its own, so the client takes the connection for kept alive.
    RawHttpServer server([&](const RawHttpServer::Request &request) {
        std::lock_guard guard(lock);
        answeredOn.push_back(std::this_thread::get_id());
        return answer(request, {answeredOn.size() == 1 ? "X-Then: Connection: close" : "X-Then: more"});
    });
    const RangeConnection::Target where = target(server.port());
    RangeConnection connection(where);
    fetch(connection, {0, 1000});
    ASSERT_TRUE(test::waitUntil([&] { return server.requests().size() == 1; }));
    fetch(connection, {1000, 2000});
    EXPECT_EQ(fileBytes(), QByteArray::fromStdString(content));
    ASSERT_EQ(answeredOn.size(), 2u);
    EXPECT_NE(answeredOn[0], answeredOn[1]) << "the second range on a new connection";
}

TEST_F(RangeConnectionTest, InterimAnswersAreSkipped) {
    RawHttpServer server([&](const RawHttpServer::Request &request) {
        std::vector<std::string> pieces = answer(request);
        pieces.insert(pieces.begin(), "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 103 Early Hints\r\nLink: </a>\r\n\r\n");
        return pieces;
    });
    const RangeConnection::Target where = target(server.port());
    RangeConnection connection(where);
    fetch(connection, {1000, 2000});
    EXPECT_EQ(fileBytes().mid(1000), QByteArray::fromStdString(content.substr(1000)));
}

TEST_F(RangeConnectionTest, ABodyFramedByTheCloseIsTakenWhenItIsExactlyTheRange) {
    RawHttpServer server([&](const RawHttpServer::Request &) {
        return std::vector<std::string>{
            RawHttpServer::head(206, {"Content-Range: bytes 0-999/3000", "Connection: close"}), content.substr(0, 1000)};
    });
    const RangeConnection::Target where = target(server.port());
    RangeConnection connection(where);
    fetch(connection, {0, 1000});
    EXPECT_EQ(fileBytes().left(1000), QByteArray::fromStdString(content.substr(0, 1000)));
    fetch(connection, {0, 1000});
    EXPECT_EQ(server.requests().size(), 2u) << "the closed connection was replaced";
}

// Answers that are not exactly the range asked for.
struct BadAnswer {
    const char *name;
    std::vector<std::string> (*pieces)(const std::string &content);
};

class RangeConnectionBadAnswerTest : public RangeConnectionTest, public ::testing::WithParamInterface<BadAnswer> {};

TEST_P(RangeConnectionBadAnswerTest, FailsAsAnInvalidResponse) {
    const std::exception_ptr error = failureOf([&](const RawHttpServer::Request &) { return GetParam().pieces(content); });
    EXPECT_TRUE(isInvalidResponse(error));
}

const std::string kRange = "Content-Range: bytes 0-999/3000";

INSTANTIATE_TEST_SUITE_P(
    Answers, RangeConnectionBadAnswerTest,
    ::testing::Values(
        BadAnswer{"TheWholeFile",
                  [](const std::string &c) {
                      return std::vector<std::string>{RawHttpServer::head(200, {"Content-Length: 3000"}), c};
                  }},
        BadAnswer{"LongerThanItsLength",
                  [](const std::string &c) {
                      return std::vector<std::string>{RawHttpServer::head(206, {kRange, "Content-Length: 1000"}) +
                                                      c.substr(0, 1001)};
                  }},
        BadAnswer{"FramedByTheCloseAndShort",
                  [](const std::string &c) {
                      return std::vector<std::string>{RawHttpServer::head(206, {kRange, "Connection: close"}),
                                                      c.substr(0, 999)};
                  }},
        BadAnswer{"FramedByTheCloseAndLong",
                  [](const std::string &c) {
                      return std::vector<std::string>{RawHttpServer::head(206, {kRange, "Connection: close"}),
                                                      c.substr(0, 1001)};
                  }},
        BadAnswer{"Chunked",
                  [](const std::string &c) {
                      return std::vector<std::string>{RawHttpServer::head(206, {kRange, "Transfer-Encoding: chunked"}),
                                                      RawHttpServer::chunk(c.substr(0, 1000)), "0\r\n\r\n"};
                  }},
        BadAnswer{"LengthsThatDisagree",
                  [](const std::string &c) {
                      return std::vector<std::string>{
                          RawHttpServer::head(206, {kRange, "Content-Length: 1000", "Content-Length: 1001"}),
                          c.substr(0, 1000)};
                  }},
        BadAnswer{"NoContentRange",
                  [](const std::string &c) {
                      return std::vector<std::string>{RawHttpServer::head(206, {"Content-Length: 1000"}),
                                                      c.substr(0, 1000)};
                  }}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(RangeConnectionTest, ABodyCutShortIsAClosedConnection) {
    const std::exception_ptr error = failureOf([&](const RawHttpServer::Request &) {
        return std::vector<std::string>{RawHttpServer::head(206, {kRange, "Content-Length: 1000", "Connection: close"}),
                                        content.substr(0, 500)};
    });
    EXPECT_EQ(networkFailure(error), QNetworkReply::RemoteHostClosedError);
}

TEST_F(RangeConnectionTest, AMalformedStatusLineIsAProtocolFailure) {
    const std::exception_ptr error = failureOf([&](const RawHttpServer::Request &) {
        return std::vector<std::string>{"HTTP/1.1 2x6 Partial\r\n" + kRange + "\r\n\r\n"};
    });
    EXPECT_EQ(networkFailure(error), QNetworkReply::ProtocolFailure);
}

TEST_F(RangeConnectionTest, AnAnswerThatStallsTimesOut) {
    const std::exception_ptr error = failureOf(
        [&](const RawHttpServer::Request &request) { return answer(request); }, 100ms, 600ms);
    EXPECT_EQ(networkFailure(error), QNetworkReply::TimeoutError);
}

TEST_F(RangeConnectionTest, NothingListeningIsARefusedConnection) {
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_storage address = loopback(0);
    socklen_t length = sizeof(sockaddr_in);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr *>(&address), length), 0);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length), 0);
    ::close(listener); // the port is free and nobody listens on it
    const RangeConnection::Target where = target(ntohs(reinterpret_cast<sockaddr_in *>(&address)->sin_port));
    RangeConnection connection(where);
    std::exception_ptr error;
    try {
        fetch(connection, {0, 1000});
    } catch (...) {
        error = std::current_exception();
    }
    EXPECT_EQ(networkFailure(error), QNetworkReply::ConnectionRefusedError);
}

TEST_F(RangeConnectionTest, BytesThatArrivedReachTheFileWhileTheRestIsAwaited) {
    // The server sends 400 bytes of the range and the rest only once those are in the file:
    // bytes held back until the range is complete would stall it until the timeout.
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_storage address = loopback(0);
    socklen_t length = sizeof(sockaddr_in);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr *>(&address), length), 0);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length), 0);
    ASSERT_EQ(::listen(listener, 1), 0);
    std::promise<void> firstPartWritten;
    std::future<void> firstPartInFile = firstPartWritten.get_future();
    std::future_status seen = std::future_status::deferred;
    std::thread server([&] {
        const int connection = ::accept(listener, nullptr, nullptr);
        std::string request;
        char byte = 0;
        while (request.find("\r\n\r\n") == std::string::npos && ::recv(connection, &byte, 1, 0) == 1) {
            request += byte;
        }
        const std::string head = RawHttpServer::head(206, {"Content-Range: bytes 0-999/3000", "Content-Length: 1000"});
        const std::string first = head + content.substr(0, 400);
        ::send(connection, first.data(), first.size(), MSG_NOSIGNAL);
        seen = firstPartInFile.wait_for(5s);
        ::send(connection, content.data() + 400, 600, MSG_NOSIGNAL);
        ::recv(connection, &byte, 1, 0); // until the client is done with the connection
        ::close(connection);
    });
    const RangeConnection::Target where = target(ntohs(reinterpret_cast<sockaddr_in *>(&address)->sin_port), 20s);
    {
        RangeConnection connection(where);
        bool told = false;
        EXPECT_NO_THROW(connection.fetch({0, 1000}, kLength, *file, [&](qint64 bytes) {
            written += bytes;
            if (written >= 400 && !told) {
                told = true;
                firstPartWritten.set_value();
            }
        }));
    }
    server.join();
    ::close(listener);
    EXPECT_EQ(seen, std::future_status::ready);
    EXPECT_EQ(written, 1000);
    EXPECT_EQ(fileBytes().left(1000), QByteArray::fromStdString(content.substr(0, 1000)));
}

TEST_F(RangeConnectionTest, AnAnswerWithConnectionCloseIsNotAskedAgainEvenIfTheServerKeepsItOpen) {
    // The server says "Connection: close" but leaves the connection open, and never reads it
    // again: asking there would wait until the timeout. The next range needs a new connection.
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_storage address = loopback(0);
    socklen_t length = sizeof(sockaddr_in);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr *>(&address), length), 0);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length), 0);
    ASSERT_EQ(::listen(listener, 2), 0);
    std::mutex lock;
    std::vector<int> accepted;
    std::thread server([&] {
        for (int i = 0; i < 2; ++i) {
            const int connection = ::accept(listener, nullptr, nullptr);
            {
                std::lock_guard guard(lock);
                accepted.push_back(connection);
            }
            std::string request;
            char byte = 0;
            while (request.find("\r\n\r\n") == std::string::npos && ::recv(connection, &byte, 1, 0) == 1) {
                request += byte;
            }
            const auto [first, last] = askedRange(request);
            const std::string reply = RawHttpServer::head(206, {"Connection: close",
                                                                "Content-Range: bytes " + std::to_string(first) + "-" +
                                                                    std::to_string(last) + "/3000",
                                                                "Content-Length: " + std::to_string(last - first + 1)}) +
                                      content.substr(first, last - first + 1);
            ::send(connection, reply.data(), reply.size(), MSG_NOSIGNAL);
        }
    });
    const RangeConnection::Target where = target(ntohs(reinterpret_cast<sockaddr_in *>(&address)->sin_port), 2s);
    RangeConnection connection(where);
    EXPECT_NO_THROW(fetch(connection, {0, 1000}));
    EXPECT_NO_THROW(fetch(connection, {1000, 1000}));
    if (std::lock_guard guard(lock); accepted.size() < 2) {
        // The second range went to the first connection: let the server's second accept end.
        const int unblock = ::socket(AF_INET, SOCK_STREAM, 0);
        ::connect(unblock, reinterpret_cast<sockaddr *>(&address), sizeof(sockaddr_in));
        ::close(unblock);
    }
    server.join();
    for (const int each : accepted) {
        ::close(each);
    }
    ::close(listener);
    EXPECT_EQ(written, 2000);
    EXPECT_EQ(fileBytes().left(2000), QByteArray::fromStdString(content.substr(0, 2000)));
}

TEST_F(RangeConnectionTest, AbortEndsABlockedFetchAndEveryLaterOne) {
    // The body would follow a second after the head: the fetch is blocked on it meanwhile.
    RawHttpServer server([&](const RawHttpServer::Request &request) { return answer(request); }, 1s);
    const RangeConnection::Target where = target(server.port());
    RangeConnection connection(where);
    std::exception_ptr error;
    std::thread fetching([&] {
        try {
            fetch(connection, {0, 1000});
        } catch (...) {
            error = std::current_exception();
        }
    });
    ASSERT_TRUE(test::waitUntil([&] { return server.requests().size() == 1; }));
    connection.abort();
    fetching.join();
    EXPECT_EQ(networkFailure(error), QNetworkReply::OperationCanceledError);
    EXPECT_EQ(written, 0);
    EXPECT_THROW(fetch(connection, {0, 1000}), http::NetworkFailure);
    EXPECT_EQ(server.requests().size(), 1u) << "nothing asked after the abort";
}

} // namespace
