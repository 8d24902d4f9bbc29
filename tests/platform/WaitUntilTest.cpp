// The tests' wait: it sleeps in the event dispatcher and still sees what changes.

#include "support/Wait.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QSemaphore>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace quillon;
using namespace std::chrono_literals;

TEST(WaitUntilTest, AWaitThatNothingEndsSleepsUntilItsDeadline) {
    int looks = 0;
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(test::waitUntil([&] { return ++looks, false; }, 400ms));
    EXPECT_GE(clock.elapsed(), 400);
    // One look per recheck and a few more: a wait that polled would look thousands of times.
    EXPECT_LE(looks, 400 / test::waitRecheckInterval.count() + 10);
    EXPECT_GE(looks, 5) << "the wait must look again while it waits, not only at its deadline";
}

TEST(WaitUntilTest, AnEventEndsTheWait) {
    bool fired = false;
    QTimer::singleShot(30ms, [&] { fired = true; });
    int looks = 0;
    EXPECT_TRUE(test::waitUntil([&] { return ++looks, fired; }, 5s));
    EXPECT_LE(looks, 10);
}

TEST(WaitUntilTest, AChangeMadeByAnotherThreadWithoutAnEventIsSeen) {
    // The other thread changes the counter only once the wait has begun, and posts nothing.
    QSemaphore waiting;
    std::atomic<int> counter{0};
    std::thread other([&] {
        waiting.acquire();
        counter = 1;
    });
    bool told = false;
    const QDeadlineTimer deadline(30s);
    EXPECT_TRUE(test::waitUntil(
        [&] {
            if (!told) {
                told = true;
                waiting.release();
            }
            return counter.load() == 1;
        },
        30s));
    EXPECT_FALSE(deadline.hasExpired()) << "seen only when the wait gave up";
    other.join();
}

TEST(WaitUntilTest, AConditionThatAlreadyHoldsNeedsNoEvent) {
    int looks = 0;
    EXPECT_TRUE(test::waitUntil([&] { return ++looks, true; }, 0ms));
    EXPECT_EQ(looks, 1);
}

TEST(WaitUntilTest, AWaitInsideAnEventHandlerEndsAndSoDoesTheOneAroundIt) {
    bool innerSeen = false;
    bool innerExpired = true;
    bool outerDone = false;
    QTimer::singleShot(10ms, [&] {
        bool later = false;
        QTimer::singleShot(10ms, [&] { later = true; });
        innerSeen = test::waitUntil([&] { return later; }, 5s);
        // A nested wait that nothing ends still returns at its own deadline.
        innerExpired = !test::waitUntil([] { return false; }, 50ms);
        outerDone = true;
    });
    EXPECT_TRUE(test::waitUntil([&] { return outerDone; }, 5s));
    EXPECT_TRUE(innerSeen);
    EXPECT_TRUE(innerExpired);
}
