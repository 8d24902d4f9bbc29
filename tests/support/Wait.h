#pragma once
// Waiting in tests: run the event loop until something holds, never a fixed sleep.

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QSemaphore>
#include <QThreadPool>
#include <QTimer>
#include <QCoro/QCoroTask>

#include <algorithm>
#include <chrono>
#include <exception>
#include <memory>
#include <optional>
#include <stdexcept>
#include <type_traits>

namespace quillon::test {

/// How often a wait looks at its condition again when no event comes: some conditions
/// change without one (another thread's counter, a file appearing, a server thread's list
/// of requests). Coarse on purpose: between two looks the thread sleeps.
inline constexpr std::chrono::milliseconds waitRecheckInterval{20};

/// Runs the event loop until `done()` is true or `timeout` passes; returns `done()`.
/// The thread sleeps in the event dispatcher between events: it wakes for an event, for
/// the deadline, and every waitRecheckInterval, and looks at `done()` each time.
template <typename Predicate>
bool waitUntil(Predicate done, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    if (done()) {
        return true;
    }
    const QDeadlineTimer deadline(timeout);
    // Neither timer does anything itself: each wakes the dispatcher, which then returns.
    QTimer recheck;
    recheck.start(waitRecheckInterval);
    QTimer end;
    end.setSingleShot(true);
    end.setTimerType(Qt::PreciseTimer);
    end.start(timeout);
    while (!done()) {
        if (deadline.hasExpired()) {
            return false;
        }
        if (!end.isActive()) {
            // The timer rounds to milliseconds and may fire just before the deadline.
            end.start(std::max<qint64>(1, deadline.remainingTime()));
        }
        // Blocks until at least one event has been handled (processEvents with a time limit
        // would not: it drops WaitForMoreEvents and returns at once when nothing is pending).
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

namespace detail {

template <typename T>
struct TaskOutcome {
    std::conditional_t<std::is_void_v<T>, bool, std::optional<T>> value{};
    std::exception_ptr error;
    bool done = false;
};

template <typename T>
QCoro::Task<> capture(QCoro::Task<T> task, std::shared_ptr<TaskOutcome<T>> outcome) {
    try {
        if constexpr (std::is_void_v<T>) {
            co_await task;
        } else {
            T value = co_await task;
            outcome->value.emplace(std::move(value));
        }
    } catch (...) {
        outcome->error = std::current_exception();
    }
    outcome->done = true;
}

} // namespace detail

/// Runs a task to completion in the event loop and returns its result, or rethrows
/// what it threw. (QCoro::waitFor never returns when the task throws.)
template <typename T>
T run(QCoro::Task<T> &&task, std::chrono::milliseconds timeout = std::chrono::seconds(30)) {
    auto outcome = std::make_shared<detail::TaskOutcome<T>>();
    auto capturing = detail::capture(std::move(task), outcome);
    if (!waitUntil([&] { return outcome->done; }, timeout)) {
        throw std::runtime_error("the task did not finish in time");
    }
    if (outcome->error) {
        std::rethrow_exception(outcome->error);
    }
    if constexpr (!std::is_void_v<T>) {
        return std::move(*outcome->value);
    }
}

/// Keeps every thread of the global pool busy while it lives, to show that something
/// happens without work handed to the pool. The jobs share the semaphores, which outlive
/// the last of them.
class BusyThreadPool final {
public:
    explicit BusyThreadPool(std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        QThreadPool *pool = QThreadPool::globalInstance();
        m_threads = pool->maxThreadCount();
        for (int i = 0; i < m_threads; ++i) {
            pool->start([state = m_state] {
                state->started.release();
                state->release.acquire();
            });
        }
        m_busy = m_state->started.tryAcquire(m_threads, int(timeout.count()));
    }
    ~BusyThreadPool() { m_state->release.release(m_threads); }
    BusyThreadPool(const BusyThreadPool &) = delete;
    BusyThreadPool &operator=(const BusyThreadPool &) = delete;

    /// Every thread of the pool is taken.
    bool busy() const { return m_busy; }

private:
    struct State {
        QSemaphore started;
        QSemaphore release;
    };
    std::shared_ptr<State> m_state = std::make_shared<State>();
    int m_threads = 0;
    bool m_busy = false;
};

} // namespace quillon::test
