#pragma once
// Cancellable background work on the main thread.
//
// A task is a QCoro coroutine started from the main thread; it resumes on the main
// thread after every co_await. QCoro has no cancellation of its own, so every long-lived
// task takes a std::stop_token from a TaskHandle and uses the awaitables below, which
// wake at once when the handle is cancelled and then throw TaskCancelled.
//
// Rule for tasks that outlive the call that started them: hold the model as a
// QPointer and check it after every co_await; once it is null the task returns
// without touching anything of the model (see ModelGuard below).
//
// Rule for g++ 12: it can destroy a temporary of a co_await full-expression twice
// (or never). Name the awaited task and the objects it is built from first, then
// co_await the name:  auto task = runBlocking(std::move(work)); co_await task;

#include <QCoro/QCoroFuture>
#include <QCoro/QCoroTask>
#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>

#include <chrono>
#include <exception>
#include <stop_token>
#include <type_traits>
#include <utility>

class QNetworkReply;

namespace quillon {

/// Thrown where a cancelled task stops waiting.
class TaskCancelled final : public std::exception {
public:
    const char *what() const noexcept override { return "task cancelled"; }
};

/// The handle of one running task: copies share one stop state.
class TaskHandle final {
public:
    TaskHandle() = default;

    void cancel() noexcept { m_source.request_stop(); }
    bool isCancelled() const noexcept { return m_source.stop_requested(); }
    std::stop_token token() const noexcept { return m_source.get_token(); }

    friend bool operator==(const TaskHandle &a, const TaskHandle &b) noexcept {
        return a.m_source == b.m_source;
    }

private:
    std::stop_source m_source;
};

/// While one of these lives on a thread, a cancellation requested on that thread ends the
/// waits it reaches at once, inside the cancelling call, instead of from the event loop. An
/// owner that goes away uses it to end its tasks before its destruction is over: after the
/// application's last turn of the event loop, nothing posted would ever run. Its tasks
/// then see the owner gone and unwind, their frames and the files they hold with them.
class EndingTasksAtOnce final {
    Q_DISABLE_COPY_MOVE(EndingTasksAtOnce)
public:
    EndingTasksAtOnce();
    ~EndingTasksAtOnce();
    /// Whether one lives on this thread now.
    static bool active();
};

/// Deletes `object` from the event loop, or at once while tasks are being ended at once:
/// no turn of the event loop may follow then, and the waits ended that way never resume
/// inside one of the object's own signals.
void deleteLaterOrNow(QObject *object);

/// A handle that is cancelled when `owner` is destroyed, for a task that holds `owner`
/// weakly and must stop its transfers and waits as soon as the owner goes (at once, see
/// EndingTasksAtOnce). The tie ends with this object; keep it in the task's frame.
class CancelledWithOwner final {
    Q_DISABLE_COPY_MOVE(CancelledWithOwner)
public:
    explicit CancelledWithOwner(QObject *owner);
    ~CancelledWithOwner();

    std::stop_token token() const noexcept { return m_handle.token(); }

private:
    TaskHandle m_handle;
    QMetaObject::Connection m_tie;
};

/// Throws TaskCancelled when the token has been cancelled.
inline void throwIfCancelled(const std::stop_token &token) {
    if (token.stop_requested()) {
        throw TaskCancelled();
    }
}

/// Sleeps for `duration` on a precise timer; wakes at once and throws TaskCancelled
/// when `token` is cancelled before or during the sleep.
QCoro::Task<> sleepFor(std::chrono::milliseconds duration, std::stop_token token);

/// Waits until `reply` has finished. Cancelling `token` aborts the reply, and the wait
/// then throws TaskCancelled; so does the reply being destroyed meanwhile (its network
/// manager went away with its owner). The reply stays owned by the caller.
QCoro::Task<> awaitReply(QNetworkReply *reply, std::stop_token token = {});

/// Owns a reply for the length of a coroutine: deleted later when the scope ends,
/// unless its network manager has already deleted it.
class ReplyOwner final {
    Q_DISABLE_COPY_MOVE(ReplyOwner)
public:
    explicit ReplyOwner(QNetworkReply *reply);
    ~ReplyOwner();
    QNetworkReply *get() const;
    QNetworkReply *operator->() const { return get(); }
    explicit operator bool() const { return get() != nullptr; }

private:
    QPointer<QNetworkReply> m_reply;
};

/// Runs blocking `work` on the global thread pool and resumes the caller on its own
/// thread with the result (or the exception the work threw).
template <typename Work>
auto runBlocking(Work work) -> QCoro::Task<std::invoke_result_t<Work>> {
    using Result = std::invoke_result_t<Work>;
    struct Outcome {
        std::exception_ptr error;
        std::conditional_t<std::is_void_v<Result>, bool, std::optional<Result>> value{};
    };
    auto future = QtConcurrent::run([work = std::move(work)]() mutable {
        Outcome outcome;
        try {
            if constexpr (std::is_void_v<Result>) {
                work();
                outcome.value = true;
            } else {
                outcome.value.emplace(work());
            }
        } catch (...) {
            outcome.error = std::current_exception();
        }
        return outcome;
    });
    Outcome outcome = co_await future;
    if (outcome.error) {
        std::rethrow_exception(outcome.error);
    }
    if constexpr (!std::is_void_v<Result>) {
        co_return std::move(*outcome.value);
    }
}

/// The weak hold a long-lived task keeps on the model, or on one of its parts: an interface
/// the model implements for a subsystem, which lives exactly as long as the model's QObject
/// (`owner`). `get()` is null once that object has been destroyed; a task checks it after
/// every co_await.
template <typename Model>
class ModelGuard final {
public:
    explicit ModelGuard(Model *model)
        requires std::is_base_of_v<QObject, Model>
        : m_owner(model), m_model(model) {}
    ModelGuard(Model *part, QObject *owner) : m_owner(owner), m_model(part) {}
    Model *get() const { return m_owner ? m_model : nullptr; }
    explicit operator bool() const { return !m_owner.isNull(); }
    Model *operator->() const { return get(); }
    /// Whose going away ends the hold.
    QObject *owner() const { return m_owner.data(); }

private:
    QPointer<QObject> m_owner;
    Model *m_model = nullptr;
};

} // namespace quillon
