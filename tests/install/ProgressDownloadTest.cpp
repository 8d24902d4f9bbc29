#include "install/DownloadFailure.h"
#include "install/ProgressDownload.h"
#include "platform/Http.h"
#include "platform/Tasks.h"
#include "FailureOf.h"
#include "records/InstallError.h"
#include "support/RangeServer.h"
#include "support/RawHttpServer.h"
#include "support/Wait.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <memory>
#include <optional>

using namespace quillon;
using quillon::test::RangeServer;

namespace {

constexpr std::size_t kTwoRanges = 33'554'432;

struct Outcome {
    std::optional<HttpResponse> response;
    std::exception_ptr error;

    bool isInvalidResponse() const { return test::isInvalidResponse(error); }
    template <typename E>
    std::optional<E> errorAs() const {
        return test::failureAs<E>(error);
    }
};

QCoro::Task<Outcome> capture(VrelProgressDownload *download, QUrl url, std::stop_token token) {
    Outcome outcome;
    try {
        outcome.response = co_await download->download(url, token);
    } catch (...) {
        outcome.error = std::current_exception();
    }
    co_return outcome;
}

QByteArray readAll(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// One download into a fresh temporary folder, with every progress value kept.
class ProgressDownloadTest : public ::testing::Test {
protected:
    void serve(std::string content, RangeServer::Faults faults = {}) {
        server = std::make_unique<RangeServer>(std::move(content));
        server->setFaults(faults);
        server->start();
    }

    Outcome download(std::stop_token token = {}) {
        return test::run(capture(engine.get(), server->fileUrl(), token));
    }

    // The file at the destination is the served file, byte for byte.
    bool destinationMatchesSource() const {
        const QByteArray written = readAll(destination);
        return written.size() == static_cast<qsizetype>(server->content().size()) &&
               std::memcmp(written.constData(), server->content().data(), server->content().size()) == 0;
    }

    // Every entry of the destination's folder, hidden ones included.
    QStringList folderEntries() const {
        return QDir(QFileInfo(destination).absolutePath()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    // After a ranged download fails, its part file goes with the transfer, which the event
    // loop deletes after the failure is reported (never inside the transfer's own signal).
    bool folderComesToHold(const QStringList &entries) const {
        return test::waitUntil([&] { return folderEntries() == entries; });
    }

    void placeOldFile() const {
        QDir().mkpath(QFileInfo(destination).absolutePath());
        QFile old(destination);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("the previous package");
    }

    // Progress arrives from the event loop, possibly after the download has returned.
    bool progressReachesOne() {
        return test::waitUntil([&] { return !progress.empty() && progress.back() == 1.0; });
    }

    void expectProgressWithinBounds() const {
        EXPECT_FALSE(progressOffMainThread) << "progress must arrive on the main thread";
        for (double value : progress) {
            EXPECT_GE(value, 0.0);
            EXPECT_LE(value, 1.0);
        }
        for (std::size_t i = 1; i < progress.size(); ++i) {
            EXPECT_GE(progress[i], progress[i - 1]);
        }
    }

    QTemporaryDir folder;
    QString destination = folder.filePath(QStringLiteral("nested/folder/package.pkg"));
    std::vector<double> progress;
    bool progressOffMainThread = false;
    std::unique_ptr<VrelProgressDownload> engine =
        std::make_unique<VrelProgressDownload>(destination, [this](double value) {
            progressOffMainThread |= QThread::currentThread() != QCoreApplication::instance()->thread();
            progress.push_back(value);
        });
    std::unique_ptr<RangeServer> server;
};

// ---- Which path a download takes ----

TEST_F(ProgressDownloadTest, ThirtyTwoMebibytesTakeTwoParallelRanges) {
    serve(test::patternedBytes(kTwoRanges, 2));
    const Outcome outcome = download();
    ASSERT_FALSE(outcome.error);
    ASSERT_TRUE(outcome.response);
    EXPECT_EQ(outcome.response->statusCode, 200) << "the probe's response";
    EXPECT_EQ(server->headRequests(), 1);
    const auto probed = test::run(engine->rangeDownloadInfo(server->fileUrl()));
    EXPECT_EQ(probed.first, static_cast<qint64>(kTwoRanges));
    EXPECT_EQ(probed.second.statusCode, 200);
    std::vector<std::string> ranges = server->rangeHeadersSeen();
    std::sort(ranges.begin(), ranges.end());
    EXPECT_EQ(ranges, (std::vector<std::string>{"bytes=0-16777215", "bytes=16777216-33554431"}));
    EXPECT_TRUE(destinationMatchesSource());
    EXPECT_TRUE(progressReachesOne());
    expectProgressWithinBounds();
}

TEST_F(ProgressDownloadTest, OneByteOverThirtyTwoMebibytesAddsAOneByteRange) {
    serve(test::patternedBytes(kTwoRanges + 1, 3));
    const Outcome outcome = download();
    ASSERT_FALSE(outcome.error);
    std::vector<std::string> ranges = server->rangeHeadersSeen();
    std::sort(ranges.begin(), ranges.end());
    EXPECT_EQ(ranges, (std::vector<std::string>{"bytes=0-16777215", "bytes=16777216-33554431",
                                                "bytes=33554432-33554432"}));
    EXPECT_TRUE(destinationMatchesSource());
    EXPECT_TRUE(progressReachesOne());
    expectProgressWithinBounds();
}

TEST_F(ProgressDownloadTest, OneByteUnderThirtyTwoMebibytesIsOneStream) {
    serve(test::patternedBytes(kTwoRanges - 1, 4));
    const Outcome outcome = download();
    ASSERT_FALSE(outcome.error);
    EXPECT_EQ(outcome.response->statusCode, 200);
    EXPECT_EQ(server->rangeHeadersSeen(), (std::vector<std::string>{""}));
    EXPECT_EQ(server->requests().back().header("Accept-Encoding"), "identity") << "the bytes the probe counted";
    EXPECT_TRUE(destinationMatchesSource());
    EXPECT_TRUE(progressReachesOne());
    expectProgressWithinBounds();
}

TEST_F(ProgressDownloadTest, MoreRangesThanConnectionsAreFetchedEightAtATime) {
    // 10 ranges: the last two start only as earlier ones finish.
    serve(test::patternedBytes(9 * 16'777'216 + 12'345, 5));
    const Outcome outcome = download();
    ASSERT_FALSE(outcome.error);
    EXPECT_EQ(server->getRequests(), 10);
    EXPECT_TRUE(destinationMatchesSource());
    EXPECT_TRUE(progressReachesOne());
    expectProgressWithinBounds();
}

TEST_F(ProgressDownloadTest, AnExistingFileIsReplacedNotAppendedTo) {
    serve(test::patternedBytes(kTwoRanges, 6));
    placeOldFile();
    ASSERT_FALSE(download().error);
    EXPECT_TRUE(destinationMatchesSource());
    EXPECT_EQ(folderEntries(), QStringList{QStringLiteral("package.pkg")}) << "no part file stays";
}

// A destination that cannot be written says why in Chinese; the system's words are kept for the log.
TEST_F(ProgressDownloadTest, ADestinationThatCannotBeWrittenFailsInChinese) {
    struct Case {
        QString destination;
        QString description, systemWords;
    };
    const std::vector<Case> cases{
        {folder.filePath(QStringLiteral("a folder")), QStringLiteral("已有同名文件夹"), QStringLiteral("Is a directory")},
        {folder.filePath(QString(300, QLatin1Char('n'))), QStringLiteral("文件名过长"), QStringLiteral("File name too long")},
    };
    ASSERT_TRUE(QDir().mkpath(cases[0].destination));
    for (const bool ranged : {false, true}) {
        serve(test::patternedBytes(ranged ? kTwoRanges : 1000, 24));
        for (const Case &c : cases) {
            VrelProgressDownload download(c.destination, {});
            const Outcome outcome = test::run(capture(&download, server->fileUrl(), {}));
            const auto failure = outcome.errorAs<DownloadFailure>();
            ASSERT_TRUE(failure) << c.destination.toStdString();
            EXPECT_EQ(failure->description(), c.description);
            EXPECT_TRUE(QString::fromUtf8(failure->what()).contains(c.systemWords)) << failure->what();
        }
    }
    EXPECT_TRUE(QFileInfo(cases[0].destination).isDir());
}

// A failure of either path leaves the destination as it was and no part file beside it.
class FailedDownloadTest : public ProgressDownloadTest,
                           public ::testing::WithParamInterface<std::pair<const char *, RangeServer::Faults>> {};

TEST_P(FailedDownloadTest, LeavesWhatStoodAtTheDestination) {
    serve(test::patternedBytes(kTwoRanges + 3, 22), GetParam().second);
    placeOldFile();
    EXPECT_TRUE(download().error);
    EXPECT_EQ(readAll(destination), QByteArray("the previous package"));
    EXPECT_TRUE(folderComesToHold({QStringLiteral("package.pkg")})) << folderEntries().join(u' ').toStdString();
}

RangeServer::Faults failing(qint64 dropRangeStart, bool ranges) {
    RangeServer::Faults faults;
    faults.dropRangeStart = dropRangeStart;
    if (!ranges) {
        faults.acceptRanges = std::nullopt;
    }
    return faults;
}

INSTANTIATE_TEST_SUITE_P(Faults, FailedDownloadTest,
                         ::testing::Values(std::make_pair("DroppedRange", failing(16'777'216, true)),
                                           std::make_pair("DroppedStream", failing(-2, false))),
                         [](const auto &info) { return std::string(info.param.first); });

// A body cut short while Qt reports the reply finished (or never notices the closed
// connection) fails at once: never a success, never a wait for the time-out.
class CutStreamTest : public ProgressDownloadTest,
                      public ::testing::WithParamInterface<std::pair<const char *, RangeServer::Faults>> {};

TEST_P(CutStreamTest, FailsAtOnceAndPlacesNothing) {
    VrelProgressDownload::Timeouts timeouts;
    timeouts.singleStream = std::chrono::seconds(20); // a missed close would show as a time-out
    engine->setTimeouts(timeouts);
    // Qt notices some cuts itself; the rounds give the others a chance to happen.
    for (int round = 0; round < 12; ++round) {
        serve(test::patternedBytes(300'000 + round * 4099, 23), GetParam().second);
        const Outcome outcome = download();
        const auto transport = outcome.errorAs<http::NetworkFailure>();
        ASSERT_TRUE(outcome.isInvalidResponse() || (transport && transport->code() != QNetworkReply::TimeoutError &&
                                                    transport->code() != QNetworkReply::OperationCanceledError))
            << "round " << round << (outcome.error ? ": not the error of a cut body" : ": reported as success");
        ASSERT_TRUE(folderEntries().isEmpty());
    }
}

RangeServer::Faults cut(bool chunked, std::size_t overstated) {
    RangeServer::Faults faults;
    faults.acceptRanges = std::nullopt;
    faults.wholeFileChunked = chunked;
    faults.dropRangeStart = chunked ? -2 : -1;
    faults.overstatedLength = overstated;
    return faults;
}

INSTANTIATE_TEST_SUITE_P(Cuts, CutStreamTest,
                         ::testing::Values(std::make_pair("ChunkedCutAtAChunkBoundary", cut(true, 0)),
                                           std::make_pair("ContentLengthLongerThanTheBody", cut(false, 1000))),
                         [](const auto &info) { return std::string(info.param.first); });

// A server whose HEAD names no length and whose GET is chunked: only the closing chunk
// tells the whole body from one the connection cut. Qt's client takes a connection that
// closes between two chunks for the end of such a body now and then (a few rounds in a
// hundred here), so the rounds are many; every eleventh is whole, proving the server sound.
TEST_F(ProgressDownloadTest, AChunkedBodyOfUnknownLengthWithoutItsClosingChunkFails) {
    using test::RawHttpServer;
    constexpr std::size_t kPiece = 16 * 1024;
    for (int round = 0; round < 330; ++round) {
        const bool whole = round % 11 == 10;
        const std::string content = test::patternedBytes(100'000 + std::size_t(round) * 131, round);
        RawHttpServer server([&](const RawHttpServer::Request &request) {
            if (request.method == "HEAD") {
                return std::vector<std::string>{RawHttpServer::head(200, {"Content-Type: application/octet-stream"})};
            }
            std::vector<std::string> pieces{RawHttpServer::head(200, {"Transfer-Encoding: chunked", "Connection: close"})};
            const std::size_t sent = whole ? content.size() : content.size() / 2 / kPiece * kPiece;
            for (std::size_t at = 0; at < sent; at += kPiece) {
                pieces.push_back(RawHttpServer::chunk(content.substr(at, std::min(kPiece, sent - at))));
            }
            if (whole) {
                pieces.push_back("0\r\n\r\n");
            }
            return pieces;
        });
        const Outcome outcome = test::run(capture(engine.get(), server.url(), {}));
        if (whole) {
            ASSERT_FALSE(outcome.error) << "round " << round;
            ASSERT_EQ(readAll(destination), QByteArray::fromStdString(content)) << "round " << round;
            ASSERT_TRUE(QFile::remove(destination));
            continue;
        }
        const auto transport = outcome.errorAs<http::NetworkFailure>();
        ASSERT_TRUE(transport) << "round " << round << (outcome.error ? ": not a transport failure" : ": reported as success");
        ASSERT_EQ(transport->code(), QNetworkReply::RemoteHostClosedError) << "round " << round;
        ASSERT_EQ(transport->description(), QStringLiteral("网络连接已中断。"));
        ASSERT_TRUE(folderEntries().isEmpty()) << "round " << round;
    }
}

// ---- A probe that does not allow ranges selects the single stream ----

class ProbeRejectionTest : public ProgressDownloadTest,
                           public ::testing::WithParamInterface<std::pair<const char *, RangeServer::Faults>> {};

TEST_P(ProbeRejectionTest, DownloadsTheWholeFileAsOneStream) {
    serve(test::patternedBytes(kTwoRanges + 10, 7), GetParam().second);
    const Outcome outcome = download();
    ASSERT_FALSE(outcome.error);
    EXPECT_EQ(outcome.response->statusCode, 200);
    EXPECT_EQ(server->headRequests(), 1);
    EXPECT_EQ(server->rangeHeadersSeen(), (std::vector<std::string>{""}));
    EXPECT_TRUE(destinationMatchesSource());
    EXPECT_TRUE(progressReachesOne());
    expectProgressWithinBounds();
}

RangeServer::Faults headFault(RangeServer::HeadLength length, std::optional<std::string> acceptRanges = "bytes") {
    RangeServer::Faults faults;
    faults.headLength = length;
    faults.acceptRanges = std::move(acceptRanges);
    return faults;
}

INSTANTIATE_TEST_SUITE_P(
    HeadReplies, ProbeRejectionTest,
    ::testing::Values(std::make_pair("NoAcceptRanges", headFault(RangeServer::HeadLength::exact, std::nullopt)),
                      std::make_pair("AcceptRangesNone", headFault(RangeServer::HeadLength::exact, "none")),
                      std::make_pair("NoContentLength", headFault(RangeServer::HeadLength::missing)),
                      std::make_pair("ZeroContentLength", headFault(RangeServer::HeadLength::zero)),
                      std::make_pair("UnparsableContentLength", headFault(RangeServer::HeadLength::unparsable))),
    [](const auto &info) { return std::string(info.param.first); });

// ---- Ranges that are not what was asked for ----

TEST_F(ProgressDownloadTest, ARangeAnsweredWithTheWholeFileFails) {
    RangeServer::Faults faults;
    faults.rangesAsWholeFile = true;
    serve(test::patternedBytes(kTwoRanges, 8), faults);
    const Outcome outcome = download();
    ASSERT_TRUE(outcome.isInvalidResponse());
    EXPECT_EQ(outcome.errorAs<InstallError>()->description(), QStringLiteral("服务器返回异常，请稍后重试"));
    EXPECT_TRUE(folderComesToHold({})) << "neither a partial file nor a part file";
    expectProgressWithinBounds();
}

TEST_F(ProgressDownloadTest, ARangeOneByteShortFailsAndTheOthersAreStopped) {
    RangeServer::Faults faults;
    faults.shortRangeStart = 16'777'216;
    faults.pieceDelay = std::chrono::milliseconds(2); // the healthy ranges are still running
    serve(test::patternedBytes(3 * 16'777'216, 9), faults);
    const Outcome outcome = download();
    EXPECT_TRUE(outcome.isInvalidResponse());
    EXPECT_TRUE(test::waitUntil([&] { return server->transfersInFlight() == 0; }, std::chrono::seconds(5)));
}

TEST_F(ProgressDownloadTest, ARangeOneByteLongFails) {
    RangeServer::Faults faults;
    faults.longRangeStart = 0;
    serve(test::patternedBytes(kTwoRanges, 10), faults);
    EXPECT_TRUE(download().isInvalidResponse());
    expectProgressWithinBounds();
}

class LyingRangeTest : public ProgressDownloadTest, public ::testing::WithParamInterface<RangeServer::RangeLie> {};

TEST_P(LyingRangeTest, AContentRangeNamingOtherBytesFails) {
    RangeServer::Faults faults;
    faults.lyingRangeStart = 16'777'216;
    faults.lie = GetParam();
    serve(test::patternedBytes(kTwoRanges + 5, 11), faults);
    EXPECT_TRUE(download().isInvalidResponse());
}

INSTANTIATE_TEST_SUITE_P(Lies, LyingRangeTest,
                         ::testing::Values(RangeServer::RangeLie::shiftedStart, RangeServer::RangeLie::otherTotal,
                                           RangeServer::RangeLie::otherUnit));

// ---- Broken connections ----

TEST_F(ProgressDownloadTest, AConnectionDroppedMidRangeFailsWithTheTransportError) {
    RangeServer::Faults faults;
    faults.dropRangeStart = 16'777'216;
    serve(test::patternedBytes(kTwoRanges, 12), faults);
    const Outcome outcome = download();
    const auto failure = outcome.errorAs<http::NetworkFailure>();
    ASSERT_TRUE(failure) << "not a transport failure";
    EXPECT_FALSE(failure->description().isEmpty());
    expectProgressWithinBounds();
}

TEST_F(ProgressDownloadTest, NothingListeningFailsWithTheTransportError) {
    serve(std::string(10, 'a'));
    const QUrl url = server->fileUrl();
    server.reset(); // the port is closed now
    const Outcome outcome = test::run(capture(engine.get(), url, {}));
    const auto failure = outcome.errorAs<http::NetworkFailure>();
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->code(), QNetworkReply::ConnectionRefusedError);
    EXPECT_EQ(failure->description(), QStringLiteral("未能连接到服务器。"));
}

TEST_F(ProgressDownloadTest, ARangeThatStallsTimesOut) {
    RangeServer::Faults faults;
    faults.pieceDelay = std::chrono::milliseconds(600);
    serve(test::patternedBytes(kTwoRanges, 20), faults);
    VrelProgressDownload::Timeouts timeouts;
    timeouts.range = std::chrono::milliseconds(100);
    engine->setTimeouts(timeouts);
    const auto failure = download().errorAs<http::NetworkFailure>();
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->description(), QStringLiteral("请求超时。"));
}

TEST_F(ProgressDownloadTest, AStreamThatStallsTimesOut) {
    RangeServer::Faults faults;
    faults.pieceDelay = std::chrono::milliseconds(600);
    faults.acceptRanges = std::nullopt;
    serve(test::patternedBytes(1'000'000, 21), faults);
    VrelProgressDownload::Timeouts timeouts;
    timeouts.singleStream = std::chrono::milliseconds(100);
    engine->setTimeouts(timeouts);
    const auto failure = download().errorAs<http::NetworkFailure>();
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->description(), QStringLiteral("请求超时。"));
    EXPECT_TRUE(folderEntries().isEmpty());
}

// ---- The single stream returns what the server said ----

TEST_F(ProgressDownloadTest, ANotFoundStreamIsReturnedWithItsBodyInPlace) {
    RangeServer::Faults faults;
    faults.status = 404;
    faults.errorBody = "no such package";
    serve(test::patternedBytes(kTwoRanges, 14), faults);
    const Outcome outcome = download();
    ASSERT_FALSE(outcome.error);
    EXPECT_EQ(outcome.response->statusCode, 404);
    EXPECT_EQ(readAll(destination), QByteArray("no such package"));
}

TEST_F(ProgressDownloadTest, AStreamOfUnknownLengthPublishesNoProgressUntilTheEnd) {
    RangeServer::Faults faults;
    faults.acceptRanges = std::nullopt;
    faults.wholeFileChunked = true;
    serve(test::patternedBytes(3'000'000, 15), faults);
    const Outcome outcome = download();
    ASSERT_FALSE(outcome.error);
    EXPECT_TRUE(destinationMatchesSource());
    QCoreApplication::processEvents();
    for (double value : progress) {
        EXPECT_EQ(value, 1.0) << "a fraction without a known length";
    }
}

TEST_F(ProgressDownloadTest, NoRefererIsSentToOtherHosts) {
    serve(test::patternedBytes(kTwoRanges, 16));
    ASSERT_FALSE(download().error);
    const auto requests = server->requests();
    ASSERT_FALSE(requests.empty());
    for (const auto &request : requests) {
        EXPECT_FALSE(request.hasHeader("Referer"));
    }
}

// A probe the server redirects: every range follows the redirect as the probe did.
TEST_F(ProgressDownloadTest, ARedirectedDownloadIsFetchedInRangesWhereTheRedirectLeads) {
    serve(test::patternedBytes(kTwoRanges + 7, 25));
    const std::string location = server->fileUrl().toString().toStdString();
    test::RawHttpServer redirect([&](const test::RawHttpServer::Request &) {
        return std::vector<std::string>{test::RawHttpServer::head(302, {"Location: " + location, "Content-Length: 0"})};
    });
    const Outcome outcome = test::run(capture(engine.get(), redirect.url(), {}));
    ASSERT_FALSE(outcome.error);
    EXPECT_EQ(server->headRequests(), 1);
    std::vector<std::string> ranges = server->rangeHeadersSeen();
    std::sort(ranges.begin(), ranges.end());
    EXPECT_EQ(ranges, (std::vector<std::string>{"bytes=0-16777215", "bytes=16777216-33554431",
                                                "bytes=33554432-33554438"}));
    EXPECT_TRUE(destinationMatchesSource());
}

// ---- Cancellation ----

TEST_F(ProgressDownloadTest, CancellingStopsEveryRangeAtOnce) {
    RangeServer::Faults faults;
    faults.pieceDelay = std::chrono::milliseconds(20);
    serve(test::patternedBytes(10 * 16'777'216, 17), faults); // two ranges wait for a free slot
    TaskHandle handle;
    auto task = capture(engine.get(), server->fileUrl(), handle.token());
    ASSERT_TRUE(test::waitUntil([&] { return server->transfersInFlight() == 8 && !progress.empty(); }));
    const QStringList during = folderEntries();
    ASSERT_EQ(during.size(), 1);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\.package\\.pkg\\.[0-9a-f]{8}\\.part$")).match(during[0]).hasMatch())
        << during[0].toStdString();
    handle.cancel();
    const Outcome outcome = test::run(std::move(task));
    EXPECT_TRUE(outcome.errorAs<TaskCancelled>());
    EXPECT_TRUE(test::waitUntil([&] { return server->transfersInFlight() == 0; }, std::chrono::seconds(5)));
    EXPECT_EQ(server->transfersStarted(), 8) << "no range started after the cancel";
    EXPECT_TRUE(folderEntries().isEmpty());
    expectProgressWithinBounds();
}

TEST_F(ProgressDownloadTest, CancellingAStreamStopsIt) {
    RangeServer::Faults faults;
    faults.pieceDelay = std::chrono::milliseconds(20);
    faults.acceptRanges = std::nullopt;
    serve(test::patternedBytes(20'000'000, 18), faults);
    TaskHandle handle;
    auto task = capture(engine.get(), server->fileUrl(), handle.token());
    ASSERT_TRUE(test::waitUntil([&] { return !progress.empty(); }));
    handle.cancel();
    const Outcome outcome = test::run(std::move(task));
    EXPECT_TRUE(outcome.errorAs<TaskCancelled>());
    EXPECT_TRUE(test::waitUntil([&] { return server->transfersInFlight() == 0; }, std::chrono::seconds(5)));
    EXPECT_TRUE(folderEntries().isEmpty());
}

TEST_F(ProgressDownloadTest, ACancelledTokenStartsNothing) {
    serve(test::patternedBytes(1000, 19));
    TaskHandle handle;
    handle.cancel();
    const Outcome outcome = download(handle.token());
    EXPECT_TRUE(outcome.errorAs<TaskCancelled>());
    EXPECT_EQ(server->headRequests() + server->getRequests(), 0);
}

} // namespace
