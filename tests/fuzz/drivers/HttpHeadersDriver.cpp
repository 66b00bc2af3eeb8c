// The response headers a download reads, through a request object that
// answers every header with the input.
#include <windows.h>

#include <string>

#include "FuzzTargets.h"
#include "http/ProxySettings.h"
#include "http/ResponseHeaders.h"
#include "http/RetryPolicy.h"

namespace {
class HeaderRequest : public WinHTTP::IWinHttpRequest {
public:
    explicit HeaderRequest(const std::wstring& value) : m_value(value) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetProxy(WinHTTP::HTTPREQUEST_PROXY_SETTING, VARIANT, VARIANT) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetCredentials(BSTR, BSTR, WinHTTP::HTTPREQUEST_SETCREDENTIALS_FLAGS) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Open(BSTR, BSTR, VARIANT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetRequestHeader(BSTR, BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetResponseHeader(BSTR, BSTR* value) override {
        *value = SysAllocStringLen(m_value.data(), static_cast<UINT>(m_value.size()));
        return *value ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE GetAllResponseHeaders(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Send(VARIANT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Status(long*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_StatusText(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_ResponseText(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_ResponseBody(VARIANT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_ResponseStream(VARIANT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Option(WinHTTP::WinHttpRequestOption, VARIANT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_Option(WinHTTP::WinHttpRequestOption, VARIANT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE WaitForResponse(VARIANT, VARIANT_BOOL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Abort() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetTimeouts(long, long, long, long) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetClientCertificate(BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetAutoLogonPolicy(WinHTTP::WinHttpRequestAutoLogonPolicy) override { return E_NOTIMPL; }

private:
    std::wstring m_value;
};
}  // namespace

void FuzzHttpHeaders(const uint8_t* data, size_t size) {
    // Header values arrive from WinHTTP as UTF-16; bytes are widened one by one
    // so that every character, NUL included, can appear.
    const std::wstring text(data, data + size);
    HeaderRequest request(text);
    ReadContentLength(&request);
    ReadStrongEtag(&request);
    ContentRange range;
    ParseContentRange(text, range);
    ULONGLONG complete = 0;
    ParseUnsatisfiedRange(text, complete);
    const SYSTEMTIME now = {2026, 12, 5, 11, 2, 30, 0, 0};
    DWORD delay = 0;
    ParseRetryAfter(text, now, delay);
    // A bypass list from the user's settings against a host name.
    const size_t half = text.size() / 2;
    WinHTTP::IsBypassed(text.substr(0, half), text.substr(half), 80);
}
