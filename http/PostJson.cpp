#include "http/PostJson.h"

#include <string>
#include <vector>

#include "framework/ComPtr.h"
#include "framework/ScopedBstr.h"
#include "http/ProxySettings.h"
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

const HTTPREQUEST_PROXY_SETTING kProxySettingDirect = 1;
const HTTPREQUEST_PROXY_SETTING kProxySettingProxy = 2;

// The component reads the platform's machine-wide WinHTTP proxy, not the
// user's settings that every other request follows: give it the program's
// own decision for the URL.
HRESULT ApplyProxyDecision(IWinHttpRequest* request, const wchar_t* url) {
    ProxyAnswer answer;
    HRESULT hr = DecideProxyForUrl(url, answer);
    if (FAILED(hr)) return hr;
    ScopedVariant server, bypass;
    if (hr == S_OK) {
        V_VT(&server.Get()) = VT_BSTR;
        V_BSTR(&server.Get()) = SysAllocString(answer.proxy.c_str());
        if (!V_BSTR(&server.Get())) return E_OUTOFMEMORY;
        if (!answer.bypass.empty()) {
            V_VT(&bypass.Get()) = VT_BSTR;
            V_BSTR(&bypass.Get()) = SysAllocString(answer.bypass.c_str());
            if (!V_BSTR(&bypass.Get())) return E_OUTOFMEMORY;
        }
        return request->SetProxy(kProxySettingProxy, server.Get(), bypass.Get());
    }
    return request->SetProxy(kProxySettingDirect, server.Get(), bypass.Get());
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

// A response header's value, or empty when the answer has none.
std::wstring ReadResponseHeader(IWinHttpRequest* request, const wchar_t* name) {
    ScopedBstr header(name);
    ScopedBstr value;
    if (FAILED(request->GetResponseHeader(header.Get(), value.Receive())) || !value.Get()) return {};
    return std::wstring(value.Get(), SysStringLen(value.Get()));
}
}  // namespace

HRESULT PostJson(const wchar_t* url, const void* body, DWORD length, IStream* output, PostJsonAnswer* answer) {
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
    hr = ApplyProxyDecision(request.Get(), url);
    if (FAILED(hr)) return hr;

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
    if (!answer) return CopyResponse(response.Get(), output, ~0ULL);
    answer->contentType = ReadResponseHeader(request.Get(), L"Content-Type");
    return CopyResponse(response.Get(), output, answer->maxBytes);
}

}  // namespace WinHTTP
