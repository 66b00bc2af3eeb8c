#pragma once
// WinHTTP::CRequestCancellation: the one "stop now" of a thread's requests.
// Its owner (the installation controller) lets its thread's requests pick it
// up (SetThreadRequestCancellation); the cancelling side (the user-interface
// thread) calls Cancel. A blocking call registers itself for its duration:
// Cancel aborts the call registered at that moment, and every call that
// registers after it is refused. The lock makes the hand-over exact: once
// Unregister has returned, Cancel never touches that call again, so a call
// that ends while Cancel runs is never aborted after it is gone.
#include <windows.h>
#include <winhttp.h>

#include "framework/CriticalSection.h"

namespace WinHTTP {

// What a request returns when it was stopped by its cancellation.
const HRESULT kRequestCancelled = HRESULT_FROM_WIN32(ERROR_WINHTTP_OPERATION_CANCELLED);

// A blocking call the cancelling side can abort. Abort is called under the
// cancellation's lock, from any thread: it only signals, never blocks.
class ICancellableCall {
public:
    virtual void Abort() noexcept = 0;

protected:
    ~ICancellableCall() = default;
};

class CRequestCancellation {
public:
    CRequestCancellation() = default;
    CRequestCancellation(const CRequestCancellation&) = delete;
    CRequestCancellation& operator=(const CRequestCancellation&) = delete;

    // Any thread: aborts the registered call (if any) and refuses later ones.
    void Cancel() noexcept;
    bool IsCancelled() const noexcept;

    // The calling thread, around one blocking call: false (nothing
    // registered) once cancelled.
    bool Register(ICancellableCall* call) noexcept;
    void Unregister(ICancellableCall* call) noexcept;

private:
    mutable CriticalSection m_lock;
    bool m_bCancelled = false;
    ICancellableCall* m_pCurrent = nullptr;
};

// The cancellation that requests created on the calling thread use; null:
// none (their calls block until they end or their time bounds run out).
CRequestCancellation* CurrentRequestCancellation() noexcept;
void SetThreadRequestCancellation(CRequestCancellation* cancellation) noexcept;

// Requests created on this thread while it lives take no cancellation: the
// reports that tell of a stop (tracking) still go out after it, within their
// own time bounds.
class CScopedNoRequestCancellation {
public:
    CScopedNoRequestCancellation() noexcept : m_pSaved(CurrentRequestCancellation()) { SetThreadRequestCancellation(nullptr); }
    ~CScopedNoRequestCancellation() { SetThreadRequestCancellation(m_pSaved); }
    CScopedNoRequestCancellation(const CScopedNoRequestCancellation&) = delete;
    CScopedNoRequestCancellation& operator=(const CScopedNoRequestCancellation&) = delete;

private:
    CRequestCancellation* m_pSaved;
};

}  // namespace WinHTTP
