#include "http/RequestCancellation.h"

namespace WinHTTP {
namespace {
thread_local CRequestCancellation* t_cancellation = nullptr;
}  // namespace

void CRequestCancellation::Cancel() noexcept {
    ScopedLock lock(m_lock);
    m_bCancelled = true;
    if (m_pCurrent) m_pCurrent->Abort();
}

bool CRequestCancellation::IsCancelled() const noexcept {
    ScopedLock lock(m_lock);
    return m_bCancelled;
}

bool CRequestCancellation::Register(ICancellableCall* call) noexcept {
    ScopedLock lock(m_lock);
    if (m_bCancelled) return false;
    m_pCurrent = call;
    return true;
}

void CRequestCancellation::Unregister(ICancellableCall* call) noexcept {
    ScopedLock lock(m_lock);
    if (m_pCurrent == call) m_pCurrent = nullptr;
}

CRequestCancellation* CurrentRequestCancellation() noexcept { return t_cancellation; }

void SetThreadRequestCancellation(CRequestCancellation* cancellation) noexcept { t_cancellation = cancellation; }

}  // namespace WinHTTP
