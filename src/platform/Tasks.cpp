#include "platform/Tasks.h"

#include <QCoreApplication>
#include <QNetworkReply>
#include <QThread>
#include <QTimer>

#include <coroutine>
#include <functional>
#include <memory>
#include <optional>

namespace quillon {
namespace {

thread_local int t_endingTasksAtOnce = 0;

/// A cancellation on `context`'s own thread while tasks are being ended at once.
bool endsAtOnce(const QObject *context) {
    return EndingTasksAtOnce::active() && context && context->thread() == QThread::currentThread();
}

// One wake-up for a suspended coroutine: whichever of "timer fired", "reply finished"
// or "cancelled" comes first resumes it; the others are ignored.
struct WakeOnce final {
    std::coroutine_handle<> handle;
    bool woken = false;

    void wake() {
        if (woken || !handle) {
            return;
        }
        woken = true;
        handle.resume();
    }
};

// Posts `fn` to the thread of `context`, even when the stop request came from another thread.
template <typename Fn>
void postTo(QObject *context, Fn fn) {
    QMetaObject::invokeMethod(context, std::move(fn), Qt::QueuedConnection);
}

// Awaiters are copied by the coroutine machinery, so their state lives behind a shared pointer.
struct SleepState {
    std::chrono::milliseconds duration;
    std::stop_token token;
    std::shared_ptr<WakeOnce> wake = std::make_shared<WakeOnce>();
    QTimer *timer = nullptr;
    std::optional<std::stop_callback<std::function<void()>>> onStop;

    SleepState(std::chrono::milliseconds d, std::stop_token t) : duration(d), token(std::move(t)) {}

    void release() {
        onStop.reset();
        if (timer) {
            timer->stop();
            deleteLaterOrNow(timer); // we may be inside its timeout signal
            timer = nullptr;
        }
    }
    ~SleepState() { release(); }
};

struct SleepAwaiter {
    std::shared_ptr<SleepState> state;

    bool await_ready() const noexcept { return state->token.stop_requested(); }

    void await_suspend(std::coroutine_handle<> handle) {
        SleepState &s = *state;
        s.wake->handle = handle;
        s.timer = new QTimer();
        s.timer->setSingleShot(true);
        s.timer->setTimerType(Qt::PreciseTimer);
        std::weak_ptr<WakeOnce> weak = s.wake;
        QObject::connect(s.timer, &QTimer::timeout, s.timer, [weak] {
            if (auto w = weak.lock()) {
                w->wake();
            }
        });
        QPointer<QTimer> guard = s.timer;
        s.onStop.emplace(s.token, std::function<void()>([weak, guard] {
            if (!guard) {
                return;
            }
            if (endsAtOnce(guard.data())) {
                if (auto w = weak.lock()) {
                    w->wake(); // ends this callback's own object: nothing of it is touched after
                }
                return;
            }
            postTo(guard.data(), [weak] {
                if (auto w = weak.lock()) {
                    w->wake();
                }
            });
        }));
        s.timer->start(std::max(s.duration, std::chrono::milliseconds(0)));
    }

    void await_resume() {
        state->release();
        throwIfCancelled(state->token);
    }
};

// Resumes when the reply finishes or is destroyed, whichever comes first.
struct ReplyState {
    explicit ReplyState(QPointer<QNetworkReply> r) : reply(std::move(r)) {}

    QPointer<QNetworkReply> reply;
    std::shared_ptr<WakeOnce> wake = std::make_shared<WakeOnce>();
    QMetaObject::Connection finished;
    QMetaObject::Connection destroyed;

    void stopWatching() {
        QObject::disconnect(finished);
        QObject::disconnect(destroyed);
    }
    ~ReplyState() { stopWatching(); }
};

struct ReplyAwaiter {
    std::shared_ptr<ReplyState> state;

    bool await_ready() const noexcept { return !state->reply || state->reply->isFinished(); }

    void await_suspend(std::coroutine_handle<> handle) {
        ReplyState &s = *state;
        s.wake->handle = handle;
        std::weak_ptr<WakeOnce> weak = s.wake;
        s.finished = QObject::connect(s.reply.data(), &QNetworkReply::finished, s.reply.data(), [weak] {
            if (auto w = weak.lock()) {
                w->wake();
            }
        });
        // Resume from the event loop, never from inside the reply's destructor.
        s.destroyed = QObject::connect(s.reply.data(), &QObject::destroyed, [weak] {
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [weak] {
                    if (auto w = weak.lock()) {
                        w->wake();
                    }
                },
                Qt::QueuedConnection);
        });
    }

    void await_resume() { state->stopWatching(); }
};

} // namespace

QCoro::Task<> sleepFor(std::chrono::milliseconds duration, std::stop_token token) {
    // A named awaiter: g++ 12 destroys a temporary awaiter in a co_await expression twice
    // when the coroutine is resumed from inside a signal, freeing its state twice.
    SleepAwaiter awaiter{std::make_shared<SleepState>(duration, std::move(token))};
    co_await awaiter;
}

QCoro::Task<> awaitReply(QNetworkReply *reply, std::stop_token token) {
    QPointer<QNetworkReply> guard = reply;
    const auto state = std::make_shared<ReplyState>(guard);
    std::optional<std::stop_callback<std::function<void()>>> onStop;
    if (token.stop_possible()) {
        onStop.emplace(token, std::function<void()>([guard, weakState = std::weak_ptr<ReplyState>(state)] {
            if (!guard) {
                return;
            }
            if (endsAtOnce(guard.data())) {
                // The wait ends after the abort has returned, never inside the reply's own
                // `finished`: the unwinding task may delete the reply's network manager.
                const std::shared_ptr<ReplyState> watching = weakState.lock();
                if (watching) {
                    watching->stopWatching();
                }
                if (guard->isRunning()) {
                    guard->abort();
                }
                if (watching) {
                    const std::shared_ptr<WakeOnce> wake = watching->wake;
                    wake->wake();
                }
                return;
            }
            postTo(guard.data(), [guard] {
                if (guard && guard->isRunning()) {
                    guard->abort();
                }
            });
        }));
    }
    if (guard && token.stop_requested() && guard->isRunning()) {
        guard->abort();
    }
    if (guard && !guard->isFinished()) {
        ReplyAwaiter awaiter{state}; // named: see sleepFor
        co_await awaiter;
    }
    onStop.reset();
    throwIfCancelled(token);
    if (!guard) {
        throw TaskCancelled();
    }
}

CancelledWithOwner::CancelledWithOwner(QObject *owner) {
    if (!owner) {
        m_handle.cancel();
        return;
    }
    // `destroyed` comes after every QPointer to the owner has become null, so a task woken
    // by this cancellation already sees the owner gone.
    m_tie = QObject::connect(owner, &QObject::destroyed, [handle = m_handle] {
        TaskHandle copy = handle;
        const EndingTasksAtOnce now;
        copy.cancel();
    });
}

EndingTasksAtOnce::EndingTasksAtOnce() { ++t_endingTasksAtOnce; }

EndingTasksAtOnce::~EndingTasksAtOnce() { --t_endingTasksAtOnce; }

bool EndingTasksAtOnce::active() { return t_endingTasksAtOnce > 0; }

void deleteLaterOrNow(QObject *object) {
    if (!object) {
        return;
    }
    if (endsAtOnce(object)) {
        delete object;
    } else {
        object->deleteLater();
    }
}

CancelledWithOwner::~CancelledWithOwner() { QObject::disconnect(m_tie); }

ReplyOwner::ReplyOwner(QNetworkReply *reply) : m_reply(reply) {}

ReplyOwner::~ReplyOwner() {
    if (m_reply) {
        m_reply->deleteLater();
    }
}

QNetworkReply *ReplyOwner::get() const { return m_reply.data(); }

} // namespace quillon
