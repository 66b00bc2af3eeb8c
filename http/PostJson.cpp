#include "http/PostJson.h"

#include <shlwapi.h>

#include <string>
#include <vector>

#include "framework/ComPtr.h"
#include "framework/ScopedBstr.h"
#include "http/ResponseHeaders.h"
#include "http/WinHttpRequest.h"

namespace WinHTTP {
namespace {
// The wizard waits for this answer on its first page: every step of the
// request has a bound of its own, none without end.
const long kResolveTimeoutMs = 10000;
const long kConnectTimeoutMs = 10000;
const long kSendTimeoutMs = 10000;
const long kReceiveTimeoutMs = 10000;
const ULONG kResponseChunkBytes = 65536;

// The body as a stream variant; an empty body is sent as no body at all.
HRESULT MakeBodyVariant(const void* body, DWORD length, VARIANT& variant) {
    VariantInit(&variant);
    if (length == 0) return S_OK;
    IStream* stream = SHCreateMemStream(static_cast<const BYTE*>(body), length);
    if (!stream) return E_OUTOFMEMORY;
    V_VT(&variant) = VT_UNKNOWN;
    V_UNKNOWN(&variant) = stream;
    return S_OK;
}

const HRESULT kAnswerTooLarge = HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE);

// Copies at most maxBytes of the answer; a longer answer, a failed read and a
// failed or short write are failures.
HRESULT CopyResponse(IStream* response, IStream* output, ULONGLONG maxBytes) {
    ULARGE_INTEGER empty = {};
    HRESULT hr = output->SetSize(empty);
    if (FAILED(hr)) return hr;
    LARGE_INTEGER start = {};
    hr = output->Seek(start, STREAM_SEEK_SET, nullptr);
    if (FAILED(hr)) return hr;
    std::vector<BYTE> buffer(kResponseChunkBytes);
    ULONGLONG copied = 0;
    while (true) {
        ULONG read = 0;
        hr = response->Read(buffer.data(), kResponseChunkBytes, &read);
        if (FAILED(hr)) return hr;
        if (read == 0) break;
        copied += read;
        if (copied > maxBytes) return kAnswerTooLarge;
        ULONG written = 0;
        hr = output->Write(buffer.data(), read, &written);
        if (FAILED(hr)) return hr;
        if (written != read) return STG_E_MEDIUMFULL;
    }
    return output->Seek(start, STREAM_SEEK_SET, nullptr);
}

}  // namespace

HRESULT PostJson(const wchar_t* url, const void* body, DWORD length, IStream* output, PostJsonAnswer* answer) {
    if (!body || !output) return E_POINTER;
    // The program's own request object, not the platform's WinHttpRequest
    // component: the component follows the machine-wide WinHTTP proxy and
    // Wine's ignores a proxy given to it, while this request has to follow
    // the user's proxy settings like every other request of the program.
    ComPtr<IWinHttpRequest> request;
    HRESULT hr = CreateWinHttpRequest(request.Receive(), nullptr);  // the default user agent
    if (FAILED(hr)) return hr;

    ScopedBstr method(L"POST");
    ScopedBstr target(url);
    hr = request->Open(method.Get(), target.Get(), MakeBoolVariant(false));
    if (FAILED(hr)) return hr;
    request->SetTimeouts(kResolveTimeoutMs, kConnectTimeoutMs, kSendTimeoutMs, kReceiveTimeoutMs);

    ScopedBstr contentType(L"Content-Type");
    ScopedBstr accept(L"Accept");
    ScopedBstr json(L"application/json");
    hr = request->SetRequestHeader(contentType.Get(), json.Get());
    if (FAILED(hr)) return hr;
    hr = request->SetRequestHeader(accept.Get(), json.Get());
    if (FAILED(hr)) return hr;

    ScopedVariant bodyVariant;
    hr = MakeBodyVariant(body, length, bodyVariant.Get());
    if (FAILED(hr)) return hr;
    hr = request->Send(bodyVariant.Get());
    if (FAILED(hr)) return hr;

    long status = 500;
    hr = request->get_Status(&status);
    if (FAILED(hr)) return hr;
    if (status < 200 || status > 299) return S_OK;

    ScopedVariant responseVariant;
    if (FAILED(request->get_ResponseStream(responseVariant.Receive())) || V_VT(&responseVariant.Get()) != VT_UNKNOWN ||
        !V_UNKNOWN(&responseVariant.Get())) {
        return S_OK;
    }
    ComPtr<IStream> response;
    if (FAILED(V_UNKNOWN(&responseVariant.Get())->QueryInterface(IID_IStream, response.ReceiveVoid()))) return S_OK;
    if (!answer) return CopyResponse(response.Get(), output, ~0ULL);
    if (!::ReadResponseHeader(request.Get(), L"Content-Type", answer->contentType)) answer->contentType.clear();
    return CopyResponse(response.Get(), output, answer->maxBytes);
}

}  // namespace WinHTTP
