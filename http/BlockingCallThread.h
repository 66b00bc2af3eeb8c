#pragma once
// WinHTTP::CBlockingCallThread: runs a request's blocking platform calls on
// a helper thread of their own while the caller waits for the call or for
// its cancellation, whichever comes first. A synchronous WinHTTP call cannot
// be stopped from outside (closing its handle does not wake it under Wine,
// which waits on until the socket's time bound), so a cancelled caller
// returns kRequestCancelled at once and leaves the call to end alone: the
// call must own (or hold a reference to) everything it touches. Owned and
// used by one request object on its caller's thread; the helper thread and
// the state it shares end after the last call, whoever goes first.
#include <windows.h>

#include <functional>
#include <memory>

#include "http/RequestCancellation.h"

namespace WinHTTP {

class CBlockingCallThread : private ICancellableCall {
public:
    CBlockingCallThread() = default;
    ~CBlockingCallThread();
    CBlockingCallThread(const CBlockingCallThread&) = delete;
    CBlockingCallThread& operator=(const CBlockingCallThread&) = delete;

    // call's result, or kRequestCancelled as soon as cancellation is
    // cancelled (also when it already was). After a cancelled call the
    // thread takes no further ones: they return kRequestCancelled.
    HRESULT Run(std::function<HRESULT()> call, CRequestCancellation& cancellation);

    struct State;  // shared with the helper thread

private:
    void Abort() noexcept override;
    bool Start();

    std::shared_ptr<State> m_state;
    bool m_bAbandoned = false;
};

}  // namespace WinHTTP
