#include "http/DownloadToStream.h"

#include <cwchar>
#include <memory>
#include <new>

#include "framework/ComPtr.h"
#include "framework/ScopedBstr.h"
#include "http/ResponseHeaders.h"
#include "http/UserAgent.h"
#include "http/WinHttpRequest.h"

namespace {
const int kAttempts = 5;
const ULONG kBufferBytes = 4 * 1024 * 1024;
const HRESULT kLengthMismatch = static_cast<HRESULT>(0x800C0008);    // INET_E_DOWNLOAD_FAILURE
const HRESULT kArithmeticOverflow = static_cast<HRESULT>(0x80070216);
const HRESULT kWriteFault = static_cast<HRESULT>(0x8007001D);
const HRESULT kTypeMismatch = static_cast<HRESULT>(0x80028CA0);

HRESULT HResultFromHttpStatus(long status) { return static_cast<HRESULT>(0x80190000u | static_cast<ULONG>(status)); }

HRESULT RewindTarget(IStream* target) {
    LARGE_INTEGER start = {};
    HRESULT hr = target->Seek(start, STREAM_SEEK_SET, nullptr);
    if (FAILED(hr)) return hr;
    ULARGE_INTEGER empty = {};
    return target->SetSize(empty);
}

struct DownloadState {
    ULONGLONG received = 0;
    ULONGLONG total = kUnknownLength;
    HRESULT result = S_OK;
};

enum class AttemptEnd { NextAttempt, Finished };

// One request and its body. Finished means the download is over with
// state.result; NextAttempt retries while attempts are left.
AttemptEnd RunAttempt(WinHTTP::IWinHttpRequest* request, const wchar_t* url, IStream* target,
                      DownloadProgressCallback callback, void* context, DownloadState& state) {
    ScopedBstr method(L"GET");
    ScopedBstr target_url(url);
    if (FAILED(state.result = request->Open(method.Get(), target_url.Get(), MakeBoolVariant(false)))) {
        return AttemptEnd::NextAttempt;
    }

    if (state.received > 0) {
        wchar_t range[64];
        std::swprintf(range, 64, L"bytes=%llu-", state.received);
        ScopedBstr name(L"Range");
        ScopedBstr value(range);
        if (FAILED(state.result = request->SetRequestHeader(name.Get(), value.Get()))) return AttemptEnd::NextAttempt;
    }
    VARIANT noBody;
    VariantInit(&noBody);
    if (FAILED(state.result = request->Send(noBody))) return AttemptEnd::NextAttempt;

    long status = 0;
    if (FAILED(state.result = request->get_Status(&status))) return AttemptEnd::NextAttempt;
    if (status < 200 || status > 299) {
        state.result = HResultFromHttpStatus(status);
        return AttemptEnd::NextAttempt;
    }

    // Anything but a continuation of known bytes starts the file over.
    if (state.total == kUnknownLength || state.received == 0 || status != 206) {
        HRESULT hr = RewindTarget(target);
        if (FAILED(hr)) {
            state.result = hr;
            return AttemptEnd::Finished;
        }
        state.received = 0;
    }

    ULONGLONG length = ReadContentLength(request);
    if (state.total == kUnknownLength) {
        state.total = length;
    } else if (state.total - state.received != length) {
        state.result = kLengthMismatch;
        state.total = kUnknownLength;
        state.received = 0;
        return AttemptEnd::NextAttempt;
    }

    ScopedVariant streamVariant;
    if (FAILED(state.result = request->get_ResponseStream(streamVariant.Receive()))) return AttemptEnd::NextAttempt;
    if (V_VT(&streamVariant.Get()) != VT_UNKNOWN || !V_UNKNOWN(&streamVariant.Get())) {
        state.result = kTypeMismatch;
        return AttemptEnd::NextAttempt;
    }
    ComPtr<IStream> body;
    if (FAILED(state.result = V_UNKNOWN(&streamVariant.Get())->QueryInterface(IID_IStream, body.ReceiveVoid()))) {
        return AttemptEnd::NextAttempt;
    }
    std::unique_ptr<BYTE[]> buffer(new (std::nothrow) BYTE[kBufferBytes]);
    if (!buffer) {
        state.result = E_OUTOFMEMORY;
        return AttemptEnd::NextAttempt;
    }

    ULONGLONG done = 0;
    HRESULT loopResult = S_OK;
    while (true) {
        ULONG read = 0;
        loopResult = body->Read(buffer.get(), kBufferBytes, &read);
        if (FAILED(loopResult) || read == 0) break;
        if (done + read < done) {
            loopResult = kArithmeticOverflow;
            break;
        }
        done += read;
        ULONG written = 0;
        loopResult = target->Write(buffer.get(), read, &written);
        if (FAILED(loopResult)) break;
        if (written < read) {
            state.result = kWriteFault;
            return AttemptEnd::Finished;
        }
        if (state.received + written < state.received) {
            state.result = kArithmeticOverflow;
            return AttemptEnd::Finished;
        }
        state.received += written;
        ULONG percent = 0;
        if (FAILED(ComputePercent(done, state.total, &percent))) percent = 100;
        if (callback) {
            HRESULT answer = callback(done, state.total, percent, context);
            if (FAILED(answer)) {
                state.result = answer;
                return AttemptEnd::Finished;
            }
        }
    }

    if (state.total == kUnknownLength || state.received == state.total) {
        if (FAILED(loopResult)) {
            state.result = loopResult;
            return AttemptEnd::NextAttempt;
        }
        state.result = S_OK;
        return AttemptEnd::Finished;
    }
    // Short of a known total: the next attempt asks for the missing tail.
    state.result = kLengthMismatch;
    return AttemptEnd::NextAttempt;
}
}  // namespace

HRESULT DownloadToStream(const wchar_t* url, IStream* target, DownloadProgressCallback callback, void* context) {
    if (!url || !target) return E_INVALIDARG;
    try {
        std::wstring agent = WinHTTP::GetDefaultUserAgent();
        if (agent.empty()) return E_OUTOFMEMORY;
        ComPtr<WinHTTP::IWinHttpRequest> request;
        HRESULT hr = WinHTTP::CreateWinHttpRequest(request.Receive(), agent.c_str());
        if (FAILED(hr)) return hr;
        DownloadState state;
        for (int attempt = 0; attempt < kAttempts; ++attempt) {
            if (RunAttempt(request.Get(), url, target, callback, context, state) == AttemptEnd::Finished) {
                return state.result;
            }
        }
        return state.result;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT ComputePercent(ULONGLONG done, ULONGLONG total, ULONG* percent) {
    if (!percent) return E_POINTER;
    if (done >= total) {
        *percent = 100;
        return S_OK;
    }
    if (done > ~0ull / 100) return kArithmeticOverflow;
    ULONGLONG value = done * 100 / total;
    if (value > 100) return kArithmeticOverflow;
    *percent = static_cast<ULONG>(value);
    return S_OK;
}
