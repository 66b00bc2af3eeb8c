#pragma once
// RunState: where the run stands, in one place. The application owns the one
// instance; the controller, the pages and the end of the wizard ask it
// instead of keeping flags of their own.
//
//   Running ──RequestStop──▶ StoppingByUser ──Cancel──▶ Cancelled
//      │                          │
//      ├──PassPointOfNoReturn──▶ PastPointOfNoReturn ──Finish──▶ Finished
//      │      (also from StoppingByUser: the installer finished before the stop reached it)
//      ├──Cancel──▶ Cancelled
//      └──Fail (from any state but Finished/Cancelled/Failed)──▶ Failed
//
// A stop asked for past the point of no return does not undo the
// installation: the phase stays PastPointOfNoReturn, and ShouldStop tells the
// controller to leave the optional steps (offers, install scan).
//
// Thread rule: every member may be called from any thread; each one reads or
// changes the state under the object's lock. The stop hook runs on the
// thread that asked for the stop, outside the lock, once.
#include <functional>

#include "framework/CriticalSection.h"

enum class RunPhase {
    Running,              // the wizard and the controller work
    StoppingByUser,       // the user confirmed Cancel; the controller winds down
    PastPointOfNoReturn,  // the payload ran: the installation stands whatever follows
    Finished,             // the wizard reached its end after a completed installation
    Failed,               // an error was reported to the user
    Cancelled,            // the wizard stopped before the point of no return
};

class RunState {
public:
    RunState() = default;
    RunState(const RunState&) = delete;
    RunState& operator=(const RunState&) = delete;

    RunPhase Phase() const;

    // The user confirmed Cancel. Running becomes StoppingByUser (and the
    // stop hook runs); past the point of no return the request is kept for
    // ShouldStop. False when the run was already over or stopping.
    bool RequestStop();
    // The installer ran to success. From Running, or from StoppingByUser when
    // the user's stop came while the installer ran and did not reach it.
    bool PassPointOfNoReturn();
    // The wizard gives up before the point of no return (its finished page in
    // the interrupted variant). From Running or StoppingByUser.
    bool Cancel();
    // An error reached the user. From any state that is not yet final.
    bool Fail();
    // The wizard ended after the installation. Only from PastPointOfNoReturn.
    bool Finish();

    // The controller stops what it does: the user or an error asked for it.
    bool ShouldStop() const;
    // The run ended without its installation: failed or cancelled.
    bool IsAborted() const;
    bool HasFailed() const;
    bool IsPastPointOfNoReturn() const;
    // The user's stop came before the point of no return (the installation did not happen).
    bool StoppedBeforePointOfNoReturn() const;

    // Called once, when the run enters StoppingByUser (a cancel that must
    // reach a blocked step at once). Set before the controller starts.
    void SetStopHook(std::function<void()> hook);

private:
    bool Move(std::initializer_list<RunPhase> from, RunPhase to);

    mutable CriticalSection m_lock;
    RunPhase m_phase = RunPhase::Running;
    bool m_bPassedPointOfNoReturn = false;  // kept when a later error turns the run Failed
    bool m_bStopAsked = false;              // the user asked, also past the point of no return
    std::function<void()> m_stopHook;
};
