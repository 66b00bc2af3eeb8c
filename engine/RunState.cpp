#include "engine/RunState.h"

#include <algorithm>

RunPhase RunState::Phase() const {
    ScopedLock lock(m_lock);
    return m_phase;
}

bool RunState::Move(std::initializer_list<RunPhase> from, RunPhase to) {
    ScopedLock lock(m_lock);
    if (std::find(from.begin(), from.end(), m_phase) == from.end()) return false;
    m_phase = to;
    if (to == RunPhase::PastPointOfNoReturn) m_bPassedPointOfNoReturn = true;
    return true;
}

bool RunState::RequestStop() {
    std::function<void()> hook;
    {
        ScopedLock lock(m_lock);
        if (m_bStopAsked) return false;
        if (m_phase == RunPhase::Running) {
            m_phase = RunPhase::StoppingByUser;
            hook = m_stopHook;
        } else if (m_phase != RunPhase::PastPointOfNoReturn) {
            return false;
        }
        m_bStopAsked = true;
    }
    if (hook) hook();
    return true;
}

// A stop asked for while the installer ran came too late when the installer
// then reports success: the product is installed, so the run goes past the
// point of no return all the same (the stop still holds for the optional steps).
bool RunState::PassPointOfNoReturn() {
    return Move({RunPhase::Running, RunPhase::StoppingByUser}, RunPhase::PastPointOfNoReturn);
}

bool RunState::Cancel() { return Move({RunPhase::Running, RunPhase::StoppingByUser}, RunPhase::Cancelled); }

bool RunState::Fail() {
    return Move({RunPhase::Running, RunPhase::StoppingByUser, RunPhase::PastPointOfNoReturn}, RunPhase::Failed);
}

bool RunState::Finish() { return Move({RunPhase::PastPointOfNoReturn}, RunPhase::Finished); }

bool RunState::ShouldStop() const {
    ScopedLock lock(m_lock);
    return m_bStopAsked || m_phase == RunPhase::StoppingByUser || m_phase == RunPhase::Failed ||
           m_phase == RunPhase::Cancelled;
}

bool RunState::IsAborted() const {
    RunPhase phase = Phase();
    return phase == RunPhase::Failed || phase == RunPhase::Cancelled;
}

bool RunState::HasFailed() const { return Phase() == RunPhase::Failed; }

bool RunState::IsPastPointOfNoReturn() const {
    ScopedLock lock(m_lock);
    return m_bPassedPointOfNoReturn;
}

bool RunState::StoppedBeforePointOfNoReturn() const {
    ScopedLock lock(m_lock);
    if (m_bPassedPointOfNoReturn) return false;
    return m_phase == RunPhase::StoppingByUser || m_phase == RunPhase::Cancelled || m_phase == RunPhase::Failed;
}

void RunState::SetStopHook(std::function<void()> hook) {
    ScopedLock lock(m_lock);
    m_stopHook = std::move(hook);
}
