#pragma once
// The state of the one batch install that may be running. A single phase value holds
// it, and the model's published flags are read off that value, so the flags cannot
// disagree: never paused while nothing runs, never pausable or stoppable once the
// installer phase has begun or a stop has been asked for.

#include "platform/Tasks.h"

#include <functional>
#include <optional>

namespace quillon {

class BatchInstallRun final {
public:
    enum class Phase {
        idle,        ///< no batch
        downloading, ///< fetching packages; pause and stop work
        paused,      ///< fetching halted before the next item; stop works
        installing,  ///< the installer phase; nothing interrupts it
    };

    /// `changed` is called after every change of what the flags below report.
    explicit BatchInstallRun(std::function<void()> changed = {});

    Phase phase() const { return m_phase; }
    /// `isBatchInstalling`
    bool isRunning() const { return m_phase != Phase::idle; }
    /// `isBatchInstallPaused`
    bool isPaused() const { return m_phase == Phase::paused; }
    /// `canControlBatchInstall`: fetching, and no stop asked for yet.
    bool isControllable() const;
    /// The running batch's task handle (`batchInstallTask`); nothing when idle.
    std::optional<TaskHandle> task() const;

    /// Starts fetching with a fresh task handle; nothing when a batch is already running.
    std::optional<TaskHandle> begin();
    /// Pauses or resumes while controllable; returns whether it did.
    bool togglePause();
    /// Cancels the task while controllable; returns whether it did.
    bool stop();
    /// Enters the installer phase, unless the batch was stopped (then returns false).
    bool beginInstalling();
    /// Back to idle; the task handle is dropped.
    void end();

private:
    void moveTo(Phase phase);

    Phase m_phase = Phase::idle;
    std::optional<TaskHandle> m_task;
    std::function<void()> m_changed;
};

} // namespace quillon
