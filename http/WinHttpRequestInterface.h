#pragma once
// The documented IWinHttpRequest interface of the platform's WinHttpRequest
// component (mingw-w64 ships no httprequest.h), and the program's private
// extension interface. Method order is the documented vtable order.
#include <windows.h>
#include <oaidl.h>
#include <objidl.h>

namespace WinHTTP {

typedef long HTTPREQUEST_PROXY_SETTING;
typedef long HTTPREQUEST_SETCREDENTIALS_FLAGS;
typedef long WinHttpRequestOption;
typedef long WinHttpRequestAutoLogonPolicy;

const WinHttpRequestOption WinHttpRequestOption_UserAgentString = 0;

// {2087C2F4-2CEF-4953-A8AB-66779B670495}
extern const CLSID CLSID_WinHttpRequest;
// {016FE2EC-B2C8-45F8-B23B-39E53A75396B}
extern const IID IID_IWinHttpRequest;
// {662901FC-6951-4854-9EB2-D9A2570F2B2E}, version 5.1
extern const GUID LIBID_WinHttp;
// {1BE07926-421F-4592-95C8-71B3542B0948}
extern const IID IID_IWinHttpRequestEx;

struct IWinHttpRequest : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE SetProxy(HTTPREQUEST_PROXY_SETTING setting, VARIANT proxyServer,
                                               VARIANT bypassList) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetCredentials(BSTR userName, BSTR password,
                                                     HTTPREQUEST_SETCREDENTIALS_FLAGS flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE Open(BSTR method, BSTR url, VARIANT async) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetRequestHeader(BSTR header, BSTR value) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetResponseHeader(BSTR header, BSTR* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetAllResponseHeaders(BSTR* headers) = 0;
    virtual HRESULT STDMETHODCALLTYPE Send(VARIANT body) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Status(long* status) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_StatusText(BSTR* status) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ResponseText(BSTR* body) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ResponseBody(VARIANT* body) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ResponseStream(VARIANT* body) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Option(WinHttpRequestOption option, VARIANT* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Option(WinHttpRequestOption option, VARIANT value) = 0;
    virtual HRESULT STDMETHODCALLTYPE WaitForResponse(VARIANT timeout, VARIANT_BOOL* succeeded) = 0;
    virtual HRESULT STDMETHODCALLTYPE Abort() = 0;
    virtual HRESULT STDMETHODCALLTYPE SetTimeouts(long resolveTimeout, long connectTimeout, long sendTimeout,
                                                  long receiveTimeout) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetClientCertificate(BSTR clientCertificate) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetAutoLogonPolicy(WinHttpRequestAutoLogonPolicy policy) = 0;
};

// Reading the response body and choosing the user agent of the program's own request object.
struct IWinHttpRequestEx : public IUnknown {
    // What has arrived of the body, 1 to count bytes, waiting only while
    // nothing has; 0 bytes once the body has ended.
    virtual HRESULT STDMETHODCALLTYPE ReadData(void* buffer, ULONG count, ULONG* read) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetUserAgent(LPCWSTR agent) = 0;
};

}  // namespace WinHTTP
