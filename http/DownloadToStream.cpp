#include "http/DownloadToStream.h"

#include <cstdio>
#include <memory>
#include <new>

#include "framework/ComPtr.h"
#include "framework/ScopedBstr.h"
#include "http/ResponseHeaders.h"
#include "http/UserAgent.h"
#include "http/WinHttpRequest.h"

namespace {
const int kAttempts = 5;
// The most one read asks for. The response stream hands over what has
// arrived, so progress (and with it cancellation) comes at least once per
// this many bytes.
const ULONG kReadBytes = 64 * 1024;
const HRESULT kLengthMismatch = static_cast<HRESULT>(0x800C0008);    // INET_E_DOWNLOAD_FAILURE
const HRESULT kArithmeticOverflow = static_cast<HRESULT>(0x80070216);
const HRESULT kWriteFault = static_cast<HRESULT>(0x8007001D);
const HRESULT kTypeMismatch = static_cast<HRESULT>(0x80028CA0);
const long kPartialContent = 206;
const long kRangeNotSatisfiable = 416;

HRESULT HResultFromHttpStatus(long status) { return static_cast<HRESULT>(0x80190000u | static_cast<ULONG>(status)); }

HRESULT SetRequestHeader(WinHTTP::IWinHttpRequest* request, const wchar_t* name, const wchar_t* value) {
    ScopedBstr nameText(name);
    ScopedBstr valueText(value);
    return request->SetRequestHeader(nameText.Get(), valueText.Get());
}

// Cuts the target to its first size bytes and positions it there.
HRESULT TruncateTarget(IStream* target, ULONGLONG size) {
    LARGE_INTEGER position = {};
    position.QuadPart = static_cast<LONGLONG>(size);
    HRESULT hr = target->Seek(position, STREAM_SEEK_SET, nullptr);
    if (FAILED(hr)) return hr;
    ULARGE_INTEGER length = {};
    length.QuadPart = size;
    return target->SetSize(length);
}

struct DownloadState {
    ULONGLONG received = 0;            // bytes of the resource the target holds
    ULONGLONG total = kUnknownLength;  // length of the whole resource
    std::wstring etag;                 // strong ETag of the version in the target, or empty
    std::wstring lastModified;         // its Last-Modified, or empty
    HRESULT result = S_OK;

    // Continuing needs a known total: without one, the bytes held cannot be
    // checked and a broken body restarts from 0.
    bool CanResume() const { return received > 0 && total != kUnknownLength; }
    void StartOver(HRESULT why) {
        result = why;
        received = 0;
        total = kUnknownLength;
        etag.clear();
        lastModified.clear();
    }
    // What "If-Range" carries: the strong ETag, else the date.
    const std::wstring& Validator() const { return etag.empty() ? lastModified : etag; }
    // False when the response names another version than the one in the target.
    bool IsSameVersion(WinHTTP::IWinHttpRequest* request) const {
        std::wstring other;
        if (!etag.empty()) {
            other = ReadStrongEtag(request);
            return other.empty() || other == etag;
        }
        if (lastModified.empty() || !ReadResponseHeader(request, L"Last-Modified", other)) return true;
        return other == lastModified;
    }
    void RememberVersion(WinHTTP::IWinHttpRequest* request) {
        etag = ReadStrongEtag(request);
        if (!ReadResponseHeader(request, L"Last-Modified", lastModified)) lastModified.clear();
    }
};

enum class AttemptEnd { NextAttempt, Finished };

// Accepts a 206 only as the continuation it was asked for: the range starts at
// the bytes received, its length is the Content-Length (when given), its
// complete length is the known total, and it comes from the same version.
bool IsExpectedPartialResponse(WinHTTP::IWinHttpRequest* request, const DownloadState& state, ULONGLONG& length) {
    std::wstring text;
    ContentRange range;
    if (!ReadResponseHeader(request, L"Content-Range", text) || !ParseContentRange(text, range)) return false;
    if (range.first != state.received || range.complete == kUnknownLength) return false;
    if (state.total != kUnknownLength && range.complete != state.total) return false;
    const ULONGLONG partLength = range.last - range.first + 1;
    if (length != kUnknownLength && length != partLength) return false;
    if (!state.IsSameVersion(request)) return false;
    length = partLength;
    return true;
}

// One request and its body. Finished means the download is over with
// state.result; NextAttempt retries while attempts are left.
AttemptEnd RunAttempt(WinHTTP::IWinHttpRequest* request, const wchar_t* url, IStream* target,
                      DownloadProgressCallback callback, void* context, DownloadState& state) {
    ScopedBstr method(L"GET");
    ScopedBstr target_url(url);
    if (FAILED(state.result = request->Open(method.Get(), target_url.Get(), MakeBoolVariant(false)))) {
        return AttemptEnd::NextAttempt;
    }

    const bool resuming = state.CanResume();
    if (resuming) {
        wchar_t range[64];
        std::swprintf(range, 64, L"bytes=%llu-", state.received);
        if (FAILED(state.result = SetRequestHeader(request, L"Range", range))) return AttemptEnd::NextAttempt;
        // A changed resource then comes back whole (200) instead of as a tail
        // of the new version.
        if (!state.Validator().empty() &&
            FAILED(state.result = SetRequestHeader(request, L"If-Range", state.Validator().c_str()))) {
            return AttemptEnd::NextAttempt;
        }
    }
    VARIANT noBody;
    VariantInit(&noBody);
    if (FAILED(state.result = request->Send(noBody))) return AttemptEnd::NextAttempt;

    long status = 0;
    if (FAILED(state.result = request->get_Status(&status))) return AttemptEnd::NextAttempt;
    if (status < 200 || status > 299) {
        // A range that cannot be satisfied means the resource is not as long
        // as the bytes held suggest: the next attempt starts over.
        if (resuming && status == kRangeNotSatisfiable) {
            state.StartOver(HResultFromHttpStatus(status));
        } else {
            state.result = HResultFromHttpStatus(status);
        }
        return AttemptEnd::NextAttempt;
    }

    // Anything but a continuation of known bytes starts the file over.
    const bool continuing = resuming && status == kPartialContent;
    HRESULT hr = TruncateTarget(target, continuing ? state.received : 0);
    if (FAILED(hr)) {
        state.result = hr;
        return AttemptEnd::Finished;
    }
    if (!continuing) state.received = 0;

    ULONGLONG length = ReadContentLength(request);
    if (status == kPartialContent && !IsExpectedPartialResponse(request, state, length)) {
        state.StartOver(kLengthMismatch);
        return AttemptEnd::NextAttempt;
    }
    if (state.total == kUnknownLength) {
        state.total = length;
    } else if (state.total - state.received != length) {
        state.StartOver(kLengthMismatch);
        return AttemptEnd::NextAttempt;
    }
    if (!continuing) state.RememberVersion(request);

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
    std::unique_ptr<BYTE[]> buffer(new (std::nothrow) BYTE[kReadBytes]);
    if (!buffer) {
        state.result = E_OUTOFMEMORY;
        return AttemptEnd::NextAttempt;
    }

    ULONGLONG done = 0;
    HRESULT loopResult = S_OK;
    while (true) {
        ULONG read = 0;
        loopResult = body->Read(buffer.get(), kReadBytes, &read);
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
    if (state.received > state.total) {
        state.StartOver(kLengthMismatch);
        return AttemptEnd::NextAttempt;
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
