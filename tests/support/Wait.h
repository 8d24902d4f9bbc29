#pragma once
// Waiting in tests: run the event loop until something holds, never a fixed sleep.

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QCoro/QCoroTask>

#include <chrono>

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

/// Runs a task to completion in a nested event loop (fine in tests) and returns its result.
template <typename T>
T run(QCoro::Task<T> &&task) {
    return QCoro::waitFor(std::move(task));
}

} // namespace quillon::test
