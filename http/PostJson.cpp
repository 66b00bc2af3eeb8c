#include "http/PostJson.h"

#include <vector>

#include "framework/ComPtr.h"
#include "framework/ScopedBstr.h"
#include "http/UserAgent.h"
#include "http/WinHttpRequestInterface.h"

namespace WinHTTP {
namespace {
const long kReceiveTimeoutMs = 10000;
const ULONG kResponseChunkBytes = 65536;

// The body as a VT_ARRAY|VT_UI1 byte array. The component takes a stream too,
// but Wine's sends an empty body for one, while both platforms send a byte
// array intact. An empty body is sent as no body at all.
HRESULT MakeBodyVariant(const void* body, DWORD length, VARIANT& variant) {
    VariantInit(&variant);
    if (length == 0) return S_OK;
    SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, length);
    if (!array) return E_OUTOFMEMORY;
    void* data = nullptr;
    HRESULT hr = SafeArrayAccessData(array, &data);
    if (FAILED(hr)) {
        SafeArrayDestroy(array);
        return hr;
    }
    memcpy(data, body, length);
    SafeArrayUnaccessData(array);
    V_VT(&variant) = VT_ARRAY | VT_UI1;
    V_ARRAY(&variant) = array;
    return S_OK;
}

HRESULT CopyResponse(IStream* response, IStream* output) {
    ULARGE_INTEGER empty = {};
    output->SetSize(empty);
    LARGE_INTEGER start = {};
    output->Seek(start, STREAM_SEEK_SET, nullptr);
    std::vector<BYTE> buffer(kResponseChunkBytes);
    while (true) {
        ULONG read = 0;
        if (FAILED(response->Read(buffer.data(), kResponseChunkBytes, &read)) || read == 0) break;
        ULONG written = 0;
        if (FAILED(output->Write(buffer.data(), read, &written))) break;
    }
    output->Seek(start, STREAM_SEEK_SET, nullptr);
    return S_OK;
}
}  // namespace

HRESULT PostJson(const wchar_t* url, const void* body, DWORD length, IStream* output) {
    if (!body || !output) return E_POINTER;
    ComPtr<IWinHttpRequest> request;
    HRESULT hr = CoCreateInstance(CLSID_WinHttpRequest, nullptr, CLSCTX_ALL, IID_IWinHttpRequest,
                                  request.ReceiveVoid());
    if (FAILED(hr)) return hr;

    ScopedBstr method(L"POST");
    ScopedBstr target(url);
    hr = request->Open(method.Get(), target.Get(), MakeBoolVariant(false));
    if (FAILED(hr)) return hr;
    request->SetTimeouts(0, 0, 0, kReceiveTimeoutMs);

    ScopedVariant agent;
    V_VT(&agent.Get()) = VT_BSTR;
    V_BSTR(&agent.Get()) = SysAllocString(GetDefaultUserAgent().c_str());
    // Wine's component does not implement this option (E_NOTIMPL); the request
    // then goes out with the component's own agent rather than not at all.
    hr = request->put_Option(WinHttpRequestOption_UserAgentString, agent.Get());
    if (FAILED(hr) && hr != E_NOTIMPL) return hr;

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
    return CopyResponse(response.Get(), output);
}

}  // namespace WinHTTP
