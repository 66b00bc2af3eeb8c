#include "http/DownloadToStream.h"

#include <cstdio>
#include <cwctype>
#include <memory>
#include <new>

#include "framework/ComPtr.h"
#include "framework/ScopedBstr.h"
#include "http/RequestCancellation.h"
#include "http/ResponseHeaders.h"
#include "http/UserAgent.h"
#include "http/WinHttpRequest.h"

namespace {
// The most one read asks for. The response stream hands over what has
// arrived, so progress (and with it cancellation) comes at least once per
// this many bytes.
const ULONG kReadBytes = 64 * 1024;
const HRESULT kArithmeticOverflow = static_cast<HRESULT>(0x80070216);
const HRESULT kWriteFault = static_cast<HRESULT>(0x8007001D);
const HRESULT kTypeMismatch = static_cast<HRESULT>(0x80028CA0);
const HRESULT kDownloadCancelled = HRESULT_FROM_WIN32(ERROR_CANCELLED);
const long kPartialContent = 206;
const long kRangeNotSatisfiable = 416;
// Pauses between attempts are waited in slices this long, asking the
// callback after each, so a cancel is heard within it.
const DWORD kPauseSliceMs = 200;

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

// True when the body is sent in a content coding (gzip, br, ...): its bytes
// are not the file's. "identity" and an empty value mean none.
bool IsContentEncoded(WinHTTP::IWinHttpRequest* request) {
    std::wstring coding;
    if (!ReadResponseHeader(request, L"Content-Encoding", coding)) return false;
    size_t first = 0, last = coding.size();
    while (first < last && std::iswspace(coding[first])) ++first;
    while (last > first && std::iswspace(coding[last - 1])) --last;
    if (first == last) return false;
    return CompareStringOrdinal(coding.c_str() + first, static_cast<int>(last - first), L"identity", 8, TRUE) !=
           CSTR_EQUAL;
}

struct DownloadState {
    ULONGLONG received = 0;            // bytes of the resource the target holds
    ULONGLONG total = kUnknownLength;  // length of the whole resource
    std::wstring etag;                 // strong ETag of the version in the target, or empty
    std::wstring lastModified;         // its Last-Modified, or empty
    // A body of unknown length ended: the next request asks for the bytes
    // after it, and only a 416 (nothing there) makes the file complete.
    bool confirmingEnd = false;
    DWORD retryAfterMs = kNoRetryAfter;  // the last answer's Retry-After
    HRESULT result = S_OK;

    // Continuing needs a known total (or an end to confirm): without one, the
    // bytes held cannot be checked and a broken body restarts from 0.
    bool WantsRange() const { return confirmingEnd || (received > 0 && total != kUnknownLength); }
    void StartOver(HRESULT why) {
        result = why;
        received = 0;
        total = kUnknownLength;
        confirmingEnd = false;
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
    void ReadRetryAfter(WinHTTP::IWinHttpRequest* request) {
        std::wstring text;
        SYSTEMTIME now = {};
        GetSystemTime(&now);
        DWORD delay = 0;
        retryAfterMs = ReadResponseHeader(request, L"Retry-After", text) && ParseRetryAfter(text, now, delay)
                           ? delay
                           : kNoRetryAfter;
    }
};

enum class AttemptEnd { NextAttempt, Finished };

// Accepts a 206 only as the continuation it was asked for: the range starts at
// the bytes received, its length is the Content-Length (when given), its
// complete length is the known total (or becomes it), and it comes from the
// same version.
bool IsExpectedPartialResponse(WinHTTP::IWinHttpRequest* request, const DownloadState& state, ULONGLONG& length,
                               ULONGLONG& complete) {
    std::wstring text;
    ContentRange range;
    if (!ReadResponseHeader(request, L"Content-Range", text) || !ParseContentRange(text, range)) return false;
    if (range.first != state.received || range.complete == kUnknownLength) return false;
    if (state.total != kUnknownLength && range.complete != state.total) return false;
    const ULONGLONG partLength = range.last - range.first + 1;
    if (length != kUnknownLength && length != partLength) return false;
    if (range.last + 1 != range.complete) return false;  // "bytes=n-" asks for everything to the end
    if (!state.IsSameVersion(request)) return false;
    length = partLength;
    complete = range.complete;
    return true;
}

// A 416 to the request for the bytes after a body of unknown length: the
// file ends where the body did, unless the answer names another length.
bool ConfirmsTheEnd(WinHTTP::IWinHttpRequest* request, const DownloadState& state) {
    std::wstring text;
    if (!ReadResponseHeader(request, L"Content-Range", text)) return true;
    ULONGLONG complete = 0;
    return ParseUnsatisfiedRange(text, complete) && complete == state.received;
}

class Attempt {
public:
    Attempt(WinHTTP::IWinHttpRequest* request, IStream* target, DownloadProgressCallback callback, void* context,
            const DownloadOptions& options, DownloadState& state)
        : m_request(request), m_target(target), m_callback(callback), m_context(context), m_options(options),
          m_state(state) {}

    // One request and its body. Finished means the download is over with
    // state.result; NextAttempt leaves the choice to the retry policy.
    AttemptEnd Run(const wchar_t* url);
    HRESULT Report() const;

private:
    AttemptEnd Fail(HRESULT hr) {
        // A cancelled request (RequestCancellation.h) ends the download at once,
        // with the code of a download its caller cancelled.
        if (hr == WinHTTP::kRequestCancelled) return Finish(kDownloadCancelled);
        m_state.result = hr;
        return IsCertificateFailure(hr) ? AttemptEnd::Finished : AttemptEnd::NextAttempt;
    }
    AttemptEnd Finish(HRESULT hr) {
        m_state.result = hr;
        return AttemptEnd::Finished;
    }
    AttemptEnd AnswerWithoutBody(long status, bool ranged);
    AttemptEnd ReadBody();

    WinHTTP::IWinHttpRequest* m_request;
    IStream* m_target;
    DownloadProgressCallback m_callback;
    void* m_context;
    const DownloadOptions& m_options;
    DownloadState& m_state;
};

HRESULT Attempt::Report() const {
    if (!m_callback) return S_OK;
    ULONG percent = 0;
    if (FAILED(ComputePercent(m_state.received, m_state.total, &percent))) percent = 100;
    return m_callback(m_state.received, m_state.total, percent, m_context);
}

AttemptEnd Attempt::AnswerWithoutBody(long status, bool ranged) {
    if (ranged && status == kRangeNotSatisfiable) {
        if (m_state.confirmingEnd && ConfirmsTheEnd(m_request, m_state)) return Finish(S_OK);
        // The resource is not as long as the bytes held suggest: start over.
        m_state.StartOver(HResultFromHttpStatus(status));
        return AttemptEnd::NextAttempt;
    }
    m_state.result = HResultFromHttpStatus(status);
    m_state.ReadRetryAfter(m_request);
    return IsRetriableStatus(status) ? AttemptEnd::NextAttempt : AttemptEnd::Finished;
}

AttemptEnd Attempt::Run(const wchar_t* url) {
    m_state.retryAfterMs = kNoRetryAfter;
    ScopedBstr method(L"GET");
    ScopedBstr targetUrl(url);
    HRESULT hr = m_request->Open(method.Get(), targetUrl.Get(), MakeBoolVariant(false));
    if (FAILED(hr)) return Fail(hr);

    const bool ranged = m_state.WantsRange();
    if (ranged) {
        wchar_t range[64];
        std::swprintf(range, 64, L"bytes=%llu-", m_state.received);
        if (FAILED(hr = SetRequestHeader(m_request, L"Range", range))) return Fail(hr);
        // A changed resource then comes back whole (200) instead of as a tail
        // of the new version.
        if (!m_state.Validator().empty() &&
            FAILED(hr = SetRequestHeader(m_request, L"If-Range", m_state.Validator().c_str()))) {
            return Fail(hr);
        }
    }
    VARIANT noBody;
    VariantInit(&noBody);
    if (FAILED(hr = m_request->Send(noBody))) return Fail(hr);

    long status = 0;
    if (FAILED(hr = m_request->get_Status(&status))) return Fail(hr);
    if (status < 200 || status > 299) return AnswerWithoutBody(status, ranged);
    if (IsContentEncoded(m_request)) return Finish(kDownloadContentEncoded);

    ULONGLONG length = ReadContentLength(m_request);
    const bool continuing = ranged && status == kPartialContent;
    if (status == kPartialContent) {
        ULONGLONG complete = kUnknownLength;
        if (!continuing || !IsExpectedPartialResponse(m_request, m_state, length, complete)) {
            m_state.StartOver(kDownloadLengthMismatch);
            return AttemptEnd::NextAttempt;
        }
        m_state.total = complete;
        m_state.confirmingEnd = false;
    } else {
        // Any other answer is the whole resource, used as it is.
        if (length == kUnknownLength && m_options.requireLength) return Fail(kDownloadLengthUnknown);
        m_state.StartOver(S_OK);
        m_state.total = length;
        m_state.RememberVersion(m_request);
    }
    if (m_state.total != kUnknownLength && m_state.total > m_options.maxBytes) return Finish(kDownloadTooLarge);
    if (FAILED(hr = TruncateTarget(m_target, m_state.received))) return Finish(hr);
    return ReadBody();
}

AttemptEnd Attempt::ReadBody() {
    ScopedVariant streamVariant;
    HRESULT hr = m_request->get_ResponseStream(streamVariant.Receive());
    if (FAILED(hr)) return Fail(hr);
    if (V_VT(&streamVariant.Get()) != VT_UNKNOWN || !V_UNKNOWN(&streamVariant.Get())) return Fail(kTypeMismatch);
    ComPtr<IStream> body;
    if (FAILED(hr = V_UNKNOWN(&streamVariant.Get())->QueryInterface(IID_IStream, body.ReceiveVoid()))) {
        return Fail(hr);
    }
    std::unique_ptr<BYTE[]> buffer(new (std::nothrow) BYTE[kReadBytes]);
    if (!buffer) return Fail(E_OUTOFMEMORY);

    HRESULT loopResult = S_OK;
    while (true) {
        ULONG read = 0;
        loopResult = body->Read(buffer.get(), kReadBytes, &read);
        if (FAILED(loopResult) || read == 0) break;
        if (m_state.received + read < m_state.received) return Finish(kArithmeticOverflow);
        if (m_state.received + read > m_options.maxBytes) return Finish(kDownloadTooLarge);
        ULONG written = 0;
        // A target that cannot take the bytes (a full disk) will not take them
        // on the next attempt either.
        if (FAILED(hr = m_target->Write(buffer.get(), read, &written))) return Finish(hr);
        if (written < read) return Finish(kWriteFault);
        m_state.received += written;
        if (FAILED(hr = Report())) return Finish(hr);
    }
    if (loopResult == WinHTTP::kRequestCancelled) return Finish(kDownloadCancelled);

    if (m_state.total == kUnknownLength) {
        // Nothing tells a body cut by the network from a whole one: a broken
        // read starts over, a clean end is confirmed by the next request.
        if (FAILED(loopResult)) {
            m_state.StartOver(loopResult);
        } else {
            m_state.confirmingEnd = true;
            m_state.result = kDownloadLengthUnknown;
        }
        return AttemptEnd::NextAttempt;
    }
    if (m_state.received == m_state.total) return Finish(S_OK);
    if (m_state.received > m_state.total) {
        m_state.StartOver(kDownloadLengthMismatch);
        return AttemptEnd::NextAttempt;
    }
    // Short of a known total: the next attempt asks for the missing tail.
    m_state.result = FAILED(loopResult) ? loopResult : kDownloadLengthMismatch;
    return AttemptEnd::NextAttempt;
}

// Waits pauseMs, asking the callback after each slice; its failure cancels.
HRESULT PauseBetweenAttempts(DWORD pauseMs, const Attempt& attempt) {
    const ULONGLONG end = GetTickCount64() + pauseMs;
    for (ULONGLONG now = GetTickCount64(); now < end; now = GetTickCount64()) {
        const ULONGLONG left = end - now;
        Sleep(static_cast<DWORD>(left < kPauseSliceMs ? left : kPauseSliceMs));
        HRESULT hr = attempt.Report();
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}
}  // namespace

HRESULT DownloadToStream(const wchar_t* url, IStream* target, DownloadProgressCallback callback, void* context) {
    return DownloadToStream(url, target, callback, context, DownloadOptions{});
}

HRESULT DownloadToStream(const wchar_t* url, IStream* target, DownloadProgressCallback callback, void* context,
                         const DownloadOptions& options) {
    if (!url || !target) return E_INVALIDARG;
    try {
        std::wstring agent = WinHTTP::GetDefaultUserAgent();
        if (agent.empty()) return E_OUTOFMEMORY;
        ComPtr<WinHTTP::IWinHttpRequest> request;
        HRESULT hr = WinHTTP::CreateWinHttpRequest(request.Receive(), agent.c_str());
        if (FAILED(hr)) return hr;
        DownloadState state;
        Attempt attempt(request.Get(), target, callback, context, options, state);
        const ULONGLONG start = GetTickCount64();
        // Progress is a new high of bytes held: a restart that fetches the
        // same bytes again does not reset the count of failures.
        ULONGLONG mostHeld = 0;
        int failuresInARow = 0;
        while (attempt.Run(url) == AttemptEnd::NextAttempt) {
            DWORD pause = 0;
            if (state.received > mostHeld) {
                mostHeld = state.received;
                failuresInARow = 0;
            } else {
                ++failuresInARow;
                pause = PauseBeforeNextAttempt(options.retry, failuresInARow, state.retryAfterMs);
            }
            if (!MayTryAgain(options.retry, failuresInARow, GetTickCount64() - start, pause)) break;
            if (FAILED(hr = PauseBetweenAttempts(pause, attempt))) return hr;
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
