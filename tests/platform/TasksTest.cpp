#include "platform/Tasks.h"
#include "support/LocalHttpServer.h"
#include "support/Wait.h"

#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

using namespace std::chrono_literals;
using namespace quillon;
using quillon::test::waitUntil;

namespace {

// Runs `task` detached and records how it ended.
struct Outcome {
    bool finished = false;
    bool cancelled = false;
};

QCoro::Task<> sleepAndRecord(std::chrono::milliseconds duration, std::stop_token token, std::shared_ptr<Outcome> out) {
    try {
        co_await sleepFor(duration, token);
    } catch (const TaskCancelled &) {
        out->cancelled = true;
    }
    out->finished = true;
}

} // namespace

TEST(CancellableSleep, CompletesAfterItsDurationWhenNotCancelled) {
    TaskHandle handle;
    auto out = std::make_shared<Outcome>();
    QElapsedTimer clock;
    clock.start();
    sleepAndRecord(50ms, handle.token(), out);
    ASSERT_TRUE(waitUntil([&] { return out->finished; }));
    EXPECT_FALSE(out->cancelled);
    EXPECT_GE(clock.elapsed(), 49);
}

TEST(CancellableSleep, WakesAtOnceWhenCancelledDuringTheSleep) {
    TaskHandle handle;
    auto out = std::make_shared<Outcome>();
    QElapsedTimer clock;
    clock.start();
    sleepAndRecord(60s, handle.token(), out);
    QTimer::singleShot(20, [&] { handle.cancel(); });
    ASSERT_TRUE(waitUntil([&] { return out->finished; }, 5s));
    EXPECT_TRUE(out->cancelled);
    EXPECT_LT(clock.elapsed(), 5000);
}

TEST(CancellableSleep, ThrowsWithoutWaitingWhenAlreadyCancelled) {
    TaskHandle handle;
    handle.cancel();
    auto out = std::make_shared<Outcome>();
    sleepAndRecord(60s, handle.token(), out);
    // Nothing to wait for: the task ended before returning control.
    EXPECT_TRUE(out->finished);
    EXPECT_TRUE(out->cancelled);
}

TEST(CancellableSleep, CancellationFromAnotherThreadStillWakesOnTheMainThread) {
    TaskHandle handle;
    auto out = std::make_shared<Outcome>();
    sleepAndRecord(60s, handle.token(), out);
    std::thread canceller([handle]() mutable { handle.cancel(); });
    canceller.join();
    ASSERT_TRUE(waitUntil([&] { return out->finished; }, 5s));
    EXPECT_TRUE(out->cancelled);
}

TEST(TaskHandleTest, CopiesShareOneCancellation) {
    TaskHandle a;
    TaskHandle b = a;
    EXPECT_EQ(a, b);
    EXPECT_NE(a, TaskHandle());
    b.cancel();
    EXPECT_TRUE(a.isCancelled());
    EXPECT_TRUE(a.token().stop_requested());
}

class AwaitReplyTest : public ::testing::Test {
protected:
    void SetUp() override {
        server.http().Get("/slow", [](const httplib::Request &, httplib::Response &res) {
            // Streams one byte a second for a long time: only an abort ends it early.
            res.set_chunked_content_provider("text/plain", [](size_t offset, httplib::DataSink &sink) {
                if (offset > 60) {
                    sink.done();
                    return true;
                }
                std::this_thread::sleep_for(100ms);
                sink.write("x", 1);
                return true;
            });
        });
        server.http().Get("/hello", [](const httplib::Request &, httplib::Response &res) {
            res.set_content("hello", "text/plain");
        });
        server.start();
    }

    quillon::test::LocalHttpServer server;
};

QCoro::Task<> fetch(QNetworkReply *reply, std::stop_token token, std::shared_ptr<Outcome> out) {
    try {
        co_await awaitReply(reply, token);
    } catch (const TaskCancelled &) {
        out->cancelled = true;
    }
    out->finished = true;
}

TEST_F(AwaitReplyTest, FinishesWithTheReplyBody) {
    QNetworkAccessManager network;
    ReplyOwner reply(network.get(QNetworkRequest(server.url(QStringLiteral("hello")))));
    auto out = std::make_shared<Outcome>();
    fetch(reply.get(), {}, out);
    ASSERT_TRUE(waitUntil([&] { return out->finished; }));
    EXPECT_FALSE(out->cancelled);
    EXPECT_EQ(reply->readAll(), QByteArray("hello"));
}

TEST_F(AwaitReplyTest, CancelAbortsTheTransferAndThrows) {
    QNetworkAccessManager network;
    ReplyOwner reply(network.get(QNetworkRequest(server.url(QStringLiteral("slow")))));
    TaskHandle handle;
    auto out = std::make_shared<Outcome>();
    QElapsedTimer clock;
    clock.start();
    fetch(reply.get(), handle.token(), out);
    QTimer::singleShot(50, [&] { handle.cancel(); });
    ASSERT_TRUE(waitUntil([&] { return out->finished; }, 5s));
    EXPECT_TRUE(out->cancelled);
    EXPECT_EQ(reply->error(), QNetworkReply::OperationCanceledError);
    EXPECT_LT(clock.elapsed(), 3000);
}

TEST_F(AwaitReplyTest, ReplyDestroyedWithItsManagerEndsTheWaitAsCancelled) {
    auto network = std::make_unique<QNetworkAccessManager>();
    QNetworkReply *reply = network->get(QNetworkRequest(server.url(QStringLiteral("slow"))));
    auto out = std::make_shared<Outcome>();
    fetch(reply, {}, out);
    QTimer::singleShot(50, [&] { network.reset(); });
    ASSERT_TRUE(waitUntil([&] { return out->finished; }, 5s));
    EXPECT_TRUE(out->cancelled);
}

namespace {

struct BlockingRun {
    QThread *workerThread = nullptr;
    QThread *resumedOn = nullptr;
    int result = 0;
    bool caught = false;
    bool done = false;
};

// A coroutine lambda's captures die with the temporary closure: tests use plain functions.
QCoro::Task<> computeOffThread(std::shared_ptr<BlockingRun> run) {
    auto work = [run] {
        run->workerThread = QThread::currentThread();
        return 42;
    };
    auto task = runBlocking(std::move(work));
    run->result = co_await task;
    run->resumedOn = QThread::currentThread();
    run->done = true;
}

QCoro::Task<> failOffThread(std::shared_ptr<BlockingRun> run) {
    try {
        auto task = runBlocking([] { throw std::runtime_error("installer broke"); });
        co_await task;
    } catch (const std::runtime_error &error) {
        run->caught = std::string(error.what()) == "installer broke";
    }
    run->done = true;
}

} // namespace

TEST(RunBlocking, RunsOffTheMainThreadAndResumesOnIt) {
    auto run = std::make_shared<BlockingRun>();
    computeOffThread(run);
    ASSERT_TRUE(waitUntil([&] { return run->done; }));
    EXPECT_EQ(run->result, 42);
    EXPECT_NE(run->workerThread, QThread::currentThread());
    EXPECT_EQ(run->resumedOn, QThread::currentThread());
}

TEST(RunBlocking, PassesTheWorkersExceptionToTheCaller) {
    auto run = std::make_shared<BlockingRun>();
    failOffThread(run);
    ASSERT_TRUE(waitUntil([&] { return run->done; }));
    EXPECT_TRUE(run->caught);
}

namespace {

class Model final : public QObject {
public:
    int touches = 0;
};

// A long-lived task in the shape every model task takes: weak hold, check after each wait.
QCoro::Task<> pollModel(ModelGuard<Model> model, std::shared_ptr<int> rounds, std::shared_ptr<bool> sawItGone) {
    for (int i = 0; i < 50; ++i) {
        co_await sleepFor(5ms, {});
        if (!model) {
            *sawItGone = true;
            co_return;
        }
        ++model->touches;
        ++*rounds;
    }
}

} // namespace

TEST(ModelGuardTest, ATaskStopsTouchingTheModelOnceItIsDestroyed) {
    auto model = std::make_unique<Model>();
    auto rounds = std::make_shared<int>(0);
    auto gone = std::make_shared<bool>(false);
    pollModel(ModelGuard<Model>(model.get()), rounds, gone);
    ASSERT_TRUE(waitUntil([&] { return *rounds >= 3; }));
    const int before = *rounds;
    model.reset();
    ASSERT_TRUE(waitUntil([&] { return *gone; }));
    EXPECT_EQ(*rounds, before);
}
