// The request cancellation: its register/cancel hand-over, and a request
// whose body stalls ended by it from another thread.
#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <thread>

#include "TestServer.h"
#include "framework/ComPtr.h"
#include "framework/ScopedBstr.h"
#include "http/RequestCancellation.h"
#include "http/UserAgent.h"
#include "http/WinHttpRequest.h"

namespace {
using WinHTTP::CRequestCancellation;

// A call that counts its aborts and notes one that came after it was gone.
struct CountingCall : WinHTTP::ICancellableCall {
    std::atomic<int> aborts{0};
    std::atomic<bool> gone{false};
    std::atomic<bool> abortedWhenGone{false};
    void Abort() noexcept override {
        if (gone) abortedWhenGone = true;
        ++aborts;
    }
};

TEST(RequestCancellation, CancelAbortsTheRegisteredCallOnce) {
    CRequestCancellation cancellation;
    CountingCall call;
    ASSERT_TRUE(cancellation.Register(&call));
    EXPECT_FALSE(cancellation.IsCancelled());
    cancellation.Cancel();
    EXPECT_EQ(call.aborts, 1);
    cancellation.Unregister(&call);
    cancellation.Cancel();  // nothing registered: no second abort
    EXPECT_EQ(call.aborts, 1);
    EXPECT_TRUE(cancellation.IsCancelled());
}

TEST(RequestCancellation, RegisterAfterCancelIsRefused) {
    CRequestCancellation cancellation;
    CountingCall unregistered;
    ASSERT_TRUE(cancellation.Register(&unregistered));
    cancellation.Unregister(&unregistered);
    cancellation.Cancel();
    EXPECT_EQ(unregistered.aborts, 0);
    CountingCall late;
    EXPECT_FALSE(cancellation.Register(&late));
    cancellation.Cancel();
    EXPECT_EQ(late.aborts, 0);
}

// Calls that register and end one after another while another thread
// cancels: no call is aborted after its Unregister returned, at most one is
// aborted, and registering is refused from then on.
TEST(RequestCancellation, CancelRacingCompletion) {
    for (int round = 0; round < 20; ++round) {
        CRequestCancellation cancellation;
        std::deque<CountingCall> calls;  // never moves its elements
        std::atomic<bool> started{false};
        std::thread worker([&] {
            // Until the cancel refuses a registration.
            while (cancellation.Register(&calls.emplace_back())) {
                started = true;
                cancellation.Unregister(&calls.back());
                calls.back().gone = true;
            }
        });
        while (!started) SwitchToThread();
        cancellation.Cancel();
        worker.join();
        int aborted = 0;
        for (const CountingCall& call : calls) {
            EXPECT_FALSE(call.abortedWhenGone);
            aborted += call.aborts;
        }
        EXPECT_LE(aborted, 1);
        EXPECT_EQ(calls.back().aborts, 0) << "the refused call was aborted";
    }
}

// A body that stops after a few bytes (the server holds the rest for ten
// minutes): the cancel from another thread ends the waiting read with
// kRequestCancelled, and the request refuses everything after it.
TEST(RequestCancellation, EndsARequestWhoseBodyStalls) {
    TestServer server;
    ASSERT_TRUE(server.Available()) << "run under tests/server/with-server.sh";
    server.Reset();
    server.PutFile(L"stall.bin", PatternBytes(4096));
    server.Fault("/stall.bin", R"([{"stall_after": 16, "stall_ms": 600000}])");

    CRequestCancellation cancellation;
    WinHTTP::SetThreadRequestCancellation(&cancellation);
    ComPtr<WinHTTP::IWinHttpRequest> request;
    ASSERT_EQ(WinHTTP::CreateWinHttpRequest(request.Receive(), L"TestAgent/1.0"), S_OK);
    WinHTTP::SetThreadRequestCancellation(nullptr);
    ScopedBstr method(L"GET");
    ScopedBstr url(server.Url(L"/stall.bin").c_str());
    VARIANT none;
    VariantInit(&none);
    ASSERT_EQ(request->Open(method.Get(), url.Get(), none), S_OK);
    ASSERT_EQ(request->Send(none), S_OK);
    ComPtr<WinHTTP::IWinHttpRequestEx> reader;
    ASSERT_EQ(request->QueryInterface(WinHTTP::IID_IWinHttpRequestEx, reader.ReceiveVoid()), S_OK);
    char buffer[4096];
    ULONG total = 0, read = 0;
    while (total < 16 && reader->ReadData(buffer, sizeof(buffer), &read) == S_OK && read > 0) total += read;
    ASSERT_EQ(total, 16u);

    std::thread canceller([&] { cancellation.Cancel(); });
    // Whether the cancel comes while the read waits or just before it, the
    // read ends with the cancellation, not with the server's bytes or a time bound.
    EXPECT_EQ(reader->ReadData(buffer, sizeof(buffer), &read), WinHTTP::kRequestCancelled);
    canceller.join();
    EXPECT_EQ(reader->ReadData(buffer, sizeof(buffer), &read), WinHTTP::kRequestCancelled);
    EXPECT_EQ(request->Open(method.Get(), url.Get(), none), WinHTTP::kRequestCancelled);
}
}  // namespace
