#pragma once
// WinHTTP::CWinHttpRequest: a blocking subset of the IWinHttpRequest contract
// on the WinHTTP C interface. Used on the thread that created it. One object
// may be opened many times: the session is kept, the connection is reused for
// the same host and port, and each Open starts with no request headers.
// Every request has time bounds (resolve, connect, send, receive). A request
// created on a thread with a request cancellation (RequestCancellation.h)
// waits for its network calls on a helper thread, so that the cancellation
// ends a call at once with kRequestCancelled; the object then refuses every
// further call, and its handles are closed when the abandoned call has
// returned (the call holds a reference).
#include <windows.h>
#include <winhttp.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "http/BlockingCallThread.h"
#include "http/InternetHandle.h"
#include "http/RequestCancellation.h"
#include "http/WinHttpObject.h"
#include "http/WinHttpRequestInterface.h"

namespace WinHTTP {

class CWinHttpRequest final : public CWinHttpObject, public IWinHttpRequest, public IWinHttpRequestEx {
public:
    CWinHttpRequest() = default;

    // IUnknown (both faces)
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return AddReference(); }
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseReference(); }

    // IDispatch, served from the platform's WinHTTP type library 5.1
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                            DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* parameters,
                                     VARIANT* result, EXCEPINFO* exception, UINT* argumentError) override;

    // IWinHttpRequest
    HRESULT STDMETHODCALLTYPE SetProxy(HTTPREQUEST_PROXY_SETTING, VARIANT, VARIANT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetCredentials(BSTR, BSTR, HTTPREQUEST_SETCREDENTIALS_FLAGS) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Open(BSTR method, BSTR url, VARIANT async) override;
    HRESULT STDMETHODCALLTYPE SetRequestHeader(BSTR header, BSTR value) override;
    HRESULT STDMETHODCALLTYPE GetResponseHeader(BSTR header, BSTR* value) override;
    HRESULT STDMETHODCALLTYPE GetAllResponseHeaders(BSTR* headers) override;
    HRESULT STDMETHODCALLTYPE Send(VARIANT body) override;
    HRESULT STDMETHODCALLTYPE get_Status(long* status) override;
    HRESULT STDMETHODCALLTYPE get_StatusText(BSTR* status) override;
    HRESULT STDMETHODCALLTYPE get_ResponseText(BSTR* body) override;
    HRESULT STDMETHODCALLTYPE get_ResponseBody(VARIANT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_ResponseStream(VARIANT* body) override;
    HRESULT STDMETHODCALLTYPE get_Option(WinHttpRequestOption, VARIANT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_Option(WinHttpRequestOption, VARIANT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE WaitForResponse(VARIANT, VARIANT_BOOL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Abort() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetTimeouts(long resolveTimeout, long connectTimeout, long sendTimeout,
                                          long receiveTimeout) override;
    HRESULT STDMETHODCALLTYPE SetClientCertificate(BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetAutoLogonPolicy(WinHttpRequestAutoLogonPolicy) override { return E_NOTIMPL; }

    // IWinHttpRequestEx
    HRESULT STDMETHODCALLTYPE ReadData(void* buffer, ULONG count, ULONG* read) override;
    HRESULT STDMETHODCALLTYPE SetUserAgent(LPCWSTR agent) override;

private:
    ~CWinHttpRequest() override;
    HRESULT OpenSessionFor(const std::wstring& url);
    HRESULT OpenRequest(const std::wstring& method, const std::wstring& url, bool isAsync);
    HRESULT SendRequest(const VARIANT& body);
    // call on this thread, or, with a cancellation, on the call thread.
    HRESULT RunBlocking(std::function<HRESULT()> call);

    std::wstring m_strSessionProxy;  // the proxy decision the session was opened with; empty: direct
    std::map<std::wstring, std::wstring> m_requestHeaders;
    INTERNET_PORT m_nPort = 0;
    std::wstring m_strHost;
    ScopedInternetHandle m_session;
    ScopedInternetHandle m_connection;
    ScopedInternetHandle m_request;
    std::wstring m_strMethod;
    std::wstring m_strUserAgent;
    CRequestCancellation* const m_pCancellation = CurrentRequestCancellation();
    std::unique_ptr<CBlockingCallThread> m_callThread;
    bool m_bAbandoned = false;            // a call was cancelled and may still run
    std::vector<BYTE> m_readBuffer;       // ReadData's bytes as the call thread reads them
    DWORD m_nBytesRead = 0;               // and their count
};

// A new request object using agent (the default user agent when null), as its
// IWinHttpRequest face with one reference.
HRESULT CreateWinHttpRequest(IWinHttpRequest** request, const wchar_t* agent);

}  // namespace WinHTTP
