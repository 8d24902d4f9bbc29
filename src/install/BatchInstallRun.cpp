#include "install/BatchInstallRun.h"

namespace quillon {

BatchInstallRun::BatchInstallRun(std::function<void()> changed) : m_changed(std::move(changed)) {}

bool BatchInstallRun::isControllable() const {
    return (m_phase == Phase::downloading || m_phase == Phase::paused) && m_task && !m_task->isCancelled();
}

std::optional<TaskHandle> BatchInstallRun::task() const { return m_task; }

std::optional<TaskHandle> BatchInstallRun::begin() {
    if (m_phase != Phase::idle) {
        return std::nullopt;
    }
    m_task = TaskHandle();
    moveTo(Phase::downloading);
    return m_task;
}

bool BatchInstallRun::togglePause() {
    if (!isControllable()) {
        return false;
    }
    moveTo(m_phase == Phase::paused ? Phase::downloading : Phase::paused);
    return true;
}

bool BatchInstallRun::stop() {
    if (!isControllable()) {
        return false;
    }
    m_task->cancel();
    if (m_changed) {
        m_changed();
    }
    return true;
}

bool BatchInstallRun::beginInstalling() {
    if (!isControllable()) {
        return false;
    }
    moveTo(Phase::installing);
    return true;
}

void BatchInstallRun::end() {
    m_task.reset();
    moveTo(Phase::idle);
}

void BatchInstallRun::moveTo(Phase phase) {
    if (m_phase == phase) {
        return;
    }
    m_phase = phase;
    if (m_changed) {
        m_changed();
    }
}

} // namespace quillon
