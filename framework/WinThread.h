#pragma once
// CWinThread: a thread with its own message queue that does nothing but
// handle the thread messages posted to it, in order. Created by run-time
// class; deletes itself when its loop ends unless m_bAutoDelete is cleared,
// in which case its owner deletes it after WaitForEnd. Nothing escapes the
// thread: whatever a handler throws is handed to OnUnhandledException and the
// loop goes on with the next message.
// PostThreadMessage keeps the message in the object's own queue rather than
// in the platform's: a modal loop that a handler enters (a COM call in a
// single-threaded apartment, an installer-service dialog) dispatches the
// thread's platform messages and would drop thread messages on the floor.
// Any thread may post; the messages are handled on the thread, in order.
#include <windows.h>

#include <deque>
#include <functional>
#include <mutex>

#include "framework/RuntimeClass.h"

class CException;

class CWinThread : public CObject {
    DECLARE_DYNAMIC(CWinThread)
public:
    CWinThread() = default;
    ~CWinThread() override;
    CWinThread(const CWinThread&) = delete;
    CWinThread& operator=(const CWinThread&) = delete;

    // Starts the thread; returns once its message queue exists.
    BOOL CreateThread(int priority = THREAD_PRIORITY_NORMAL, UINT stackSize = 0);
    BOOL PostThreadMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // A handle to wait on for the thread's end that stays valid after the
    // object has deleted itself; the caller closes it. Null on failure.
    HANDLE DuplicateHandleForWaiting() const;

    // Run on the new thread before and after the message loop.
    virtual BOOL InitInstance() { return TRUE; }
    virtual int ExitInstance() { return 0; }
    // A thread message; return false for a message this class does not handle.
    virtual bool OnThreadMessage(UINT message, WPARAM wParam, LPARAM lParam) = 0;
    // Ends the loop after the current message; called on the thread itself.
    void EndThread(int exitCode);
    // Called on the thread with the error (any C++ exception is turned into
    // an object of the family first) that escaped InitInstance, a message
    // handler or ExitInstance; takes ownership. The base logs and deletes it.
    virtual void OnUnhandledException(CException* error) noexcept;
    // Waits for the thread to end; true when it has. Other threads only.
    bool WaitForEnd(DWORD timeoutMs) const;

    DWORD m_nThreadID = 0;
    HANDLE m_hThread = nullptr;
    bool m_bAutoDelete = true;

private:
    static DWORD WINAPI ThreadProcedure(void* parameter);
    int RunLoop();
    void HandleEscapedException() noexcept;
    bool TakePosted(MSG& message);

    HANDLE m_hQueueReady = nullptr;
    HANDLE m_hPosted = nullptr;  // set when m_posted got a message
    std::mutex m_postedLock;
    std::deque<MSG> m_posted;
    bool m_bLoopEnded = false;   // under m_postedLock: later posts are refused
    bool m_bEnding = false;
    int m_nExitCode = 0;
};

// Creates an object of runtimeClass (which must be a CWinThread), hands it to
// prepare (when given) before its thread exists, and starts it.
CWinThread* BeginThreadOfClass(const CRuntimeClass* runtimeClass, int priority = THREAD_PRIORITY_NORMAL,
                               const std::function<void(CWinThread&)>& prepare = nullptr);
