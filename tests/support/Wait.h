#pragma once
// Waiting in tests: run the event loop until something holds, never a fixed sleep.

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QSemaphore>
#include <QThreadPool>
#include <QCoro/QCoroTask>

#include <chrono>
#include <exception>
#include <memory>
#include <optional>
#include <stdexcept>
#include <type_traits>

namespace quillon::test {

/// Processes events until `done()` is true or `timeout` passes; returns `done()`.
template <typename Predicate>
bool waitUntil(Predicate done, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    QDeadlineTimer deadline(timeout);
    while (!done()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 10);
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
/// happens without work handed to the pool.
class BusyThreadPool final {
public:
    BusyThreadPool() {
        QThreadPool *pool = QThreadPool::globalInstance();
        const int threads = pool->maxThreadCount();
        for (int i = 0; i < threads; ++i) {
            pool->start([this] {
                m_started.release();
                m_release.acquire();
            });
        }
        m_started.acquire(threads);
        m_threads = threads;
    }
    ~BusyThreadPool() { m_release.release(m_threads); }
    BusyThreadPool(const BusyThreadPool &) = delete;
    BusyThreadPool &operator=(const BusyThreadPool &) = delete;

private:
    QSemaphore m_started;
    QSemaphore m_release;
    int m_threads = 0;
};

} // namespace quillon::test
