#include "http/BlockingCallThread.h"

#include <new>

#include "framework/ScopedHandles.h"

namespace WinHTTP {

// Shared by the owner and the helper thread; the last of them frees it.
struct CBlockingCallThread::State {
    ScopedHandle work{CreateEventW(nullptr, FALSE, FALSE, nullptr)};   // a call (or the end) is waiting
    ScopedHandle done{CreateEventW(nullptr, FALSE, FALSE, nullptr)};   // the call has returned
    ScopedHandle abort{CreateEventW(nullptr, TRUE, FALSE, nullptr)};   // the caller stops waiting
    std::function<HRESULT()> call;
    HRESULT result = S_OK;
    bool quit = false;

    bool IsValid() const { return work && done && abort; }
};

namespace {
DWORD WINAPI CallThread(void* parameter) {
    std::unique_ptr<std::shared_ptr<CBlockingCallThread::State>> holder(
        static_cast<std::shared_ptr<CBlockingCallThread::State>*>(parameter));
    CBlockingCallThread::State& state = **holder;
    while (WaitForSingleObject(state.work.Get(), INFINITE) == WAIT_OBJECT_0 && !state.quit) {
        try {
            state.result = state.call();
        } catch (...) {
            state.result = E_FAIL;
        }
        state.call = nullptr;
        SetEvent(state.done.Get());
    }
    return 0;
}
}  // namespace

CBlockingCallThread::~CBlockingCallThread() {
    if (!m_state) return;
    // Not waited for: after a cancelled call the thread still blocks in it.
    m_state->quit = true;
    SetEvent(m_state->work.Get());
}

bool CBlockingCallThread::Start() {
    auto state = std::shared_ptr<State>(new (std::nothrow) State);
    if (!state || !state->IsValid()) return false;
    auto* holder = new (std::nothrow) std::shared_ptr<State>(state);
    if (!holder) return false;
    HANDLE thread = CreateThread(nullptr, 0, CallThread, holder, 0, nullptr);
    if (!thread) {
        delete holder;
        return false;
    }
    CloseHandle(thread);
    m_state = std::move(state);
    return true;
}

void CBlockingCallThread::Abort() noexcept { SetEvent(m_state->abort.Get()); }

HRESULT CBlockingCallThread::Run(std::function<HRESULT()> call, CRequestCancellation& cancellation) {
    if (m_bAbandoned || cancellation.IsCancelled()) return kRequestCancelled;
    if (!m_state && !Start()) return E_OUTOFMEMORY;
    if (!cancellation.Register(this)) return kRequestCancelled;
    m_state->call = std::move(call);
    SetEvent(m_state->work.Get());
    HANDLE events[] = {m_state->done.Get(), m_state->abort.Get()};
    // An ended call wins over a cancel that came at the same moment.
    DWORD waited = WaitForMultipleObjects(2, events, FALSE, INFINITE);
    cancellation.Unregister(this);
    if (waited == WAIT_OBJECT_0) return m_state->result;
    m_bAbandoned = true;
    return kRequestCancelled;
}

}  // namespace WinHTTP
