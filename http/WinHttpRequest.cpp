#include "http/WinHttpRequest.h"

#include <algorithm>
#include <new>
#include <vector>

#include "framework/ComPtr.h"
#include "framework/Win32Error.h"
#include "http/ProxySettings.h"
#include "http/UrlParts.h"
#include "http/UserAgent.h"
#include "http/WinHttpStream.h"

namespace WinHTTP {
namespace {
const DWORD kTls10To12 = 0xA80;
const DWORD kTls10To11 = 0x280;
const DWORD kTls10 = 0x80;
// Time bounds of every request, in milliseconds. A name that does not resolve
// or a server that does not take the connection in 15 s is not there for a
// person waiting at the wizard; 30 s without a byte (of the answer's head or
// of its body) is a server that stopped answering. A download that runs out
// is retried by its caller; a slow but moving transfer never runs out.
const int kResolveTimeoutMs = 15000;
const int kConnectTimeoutMs = 15000;
const int kSendTimeoutMs = 30000;
const int kReceiveTimeoutMs = 30000;

bool IsEmpty(BSTR text) { return !text || !*text; }

// Runs an operation with the exceptions of string and container code turned into HRESULTs.
template <typename Operation>
HRESULT Guarded(Operation operation) {
    try {
        return operation();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

void SetSecureProtocols(HINTERNET session) {
    for (DWORD protocols : {kTls10To12, kTls10To11, kTls10}) {
        if (WinHttpSetOption(session, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof(protocols))) return;
        if (GetLastError() != ERROR_INVALID_PARAMETER) return;
    }
}

ITypeInfo* LoadRequestTypeInfo() {
    ComPtr<ITypeLib> library;
    if (FAILED(LoadRegTypeLib(LIBID_WinHttp, 5, 1, LOCALE_NEUTRAL, library.Receive()))) return nullptr;
    ITypeInfo* info = nullptr;
    if (FAILED(library->GetTypeInfoOfGuid(IID_IWinHttpRequest, &info))) return nullptr;
    return info;
}
}  // namespace

CWinHttpRequest::~CWinHttpRequest() {
    m_request.Reset();
    m_connection.Reset();
    m_session.Reset();
}

HRESULT CWinHttpRequest::QueryInterface(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, IID_IWinHttpRequest)) {
        *object = static_cast<IWinHttpRequest*>(this);
    } else if (IsEqualIID(iid, IID_IWinHttpRequestEx)) {
        *object = static_cast<IWinHttpRequestEx*>(this);
    } else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddReference();
    return S_OK;
}

HRESULT CWinHttpRequest::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
}

HRESULT CWinHttpRequest::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
    if (!info) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    *info = LoadRequestTypeInfo();
    return *info ? S_OK : TYPE_E_CANTLOADLIBRARY;
}

HRESULT CWinHttpRequest::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    ComPtr<ITypeInfo> info(LoadRequestTypeInfo());
    if (!info) return TYPE_E_CANTLOADLIBRARY;
    return DispGetIDsOfNames(info.Get(), names, count, ids);
}

HRESULT CWinHttpRequest::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* parameters, VARIANT* result,
                                EXCEPINFO* exception, UINT* argumentError) {
    ComPtr<ITypeInfo> info(LoadRequestTypeInfo());
    if (!info) return TYPE_E_CANTLOADLIBRARY;
    return DispInvoke(static_cast<IWinHttpRequest*>(this), info.Get(), id, flags, parameters, result, exception,
                      argumentError);
}

// The session follows the proxy decision for the URL: WinHTTP applies a
// proxy given to WinHttpOpen everywhere, while one set on a single request is
// not applied by every implementation (Wine's), so a URL whose decision
// differs from the session's gets a session of its own.
HRESULT CWinHttpRequest::OpenSessionFor(const std::wstring& url) {
    ProxyAnswer answer;
    const bool needsScriptSession = GetProxySettings().usable && !m_session;
    if (needsScriptSession) {
        m_session.Reset(WinHttpOpen(m_strUserAgent.c_str(), WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                    WINHTTP_NO_PROXY_BYPASS, 0));
        if (!m_session) return FailureFromLastError();
        m_strSessionProxy.clear();
    }
    const bool viaProxy = ResolveProxyForUrl(m_session.Get(), url.c_str(), answer) == S_OK;
    const std::wstring decision = viaProxy ? answer.proxy + L"|" + answer.bypass : std::wstring();
    if (m_session && decision == m_strSessionProxy) return S_OK;

    m_request.Reset();
    m_connection.Reset();
    m_session.Reset();
    m_strHost.clear();
    m_nPort = 0;
    m_session.Reset(WinHttpOpen(m_strUserAgent.c_str(),
                                viaProxy ? WINHTTP_ACCESS_TYPE_NAMED_PROXY : WINHTTP_ACCESS_TYPE_NO_PROXY,
                                viaProxy ? answer.proxy.c_str() : WINHTTP_NO_PROXY_NAME,
                                viaProxy && !answer.bypass.empty() ? answer.bypass.c_str() : WINHTTP_NO_PROXY_BYPASS,
                                0));
    if (!m_session) return FailureFromLastError();
    m_strSessionProxy = decision;
    return S_OK;
}

HRESULT CWinHttpRequest::Open(BSTR method, BSTR url, VARIANT async) {
    if (IsEmpty(method) || IsEmpty(url)) return E_INVALIDARG;
    bool isAsync = false;
    if (V_VT(&async) != VT_EMPTY && V_VT(&async) != VT_NULL) {
        VARIANT converted;
        VariantInit(&converted);
        HRESULT hr = VariantChangeType(&converted, &async, 0, VT_BOOL);
        if (FAILED(hr)) return hr;
        isAsync = V_BOOL(&converted) != VARIANT_FALSE;
    }
    if (isAsync) return E_NOTIMPL;
    Lock lock(*this);
    return Guarded([&] { return OpenRequest(method, url, isAsync); });
}

// The receive bound also covers the wait for the answer's head: WinHTTP
// keeps that one apart (Wine waits for it without end otherwise).
static HRESULT ApplyTimeouts(HINTERNET request, int resolveMs, int connectMs, int sendMs, int receiveMs) {
    if (!WinHttpSetTimeouts(request, resolveMs, connectMs, sendMs, receiveMs)) return FailureFromLastError();
    DWORD responseMs = static_cast<DWORD>(receiveMs);
    if (!WinHttpSetOption(request, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &responseMs, sizeof(responseMs))) {
        return FailureFromLastError();
    }
    return S_OK;
}

HRESULT CWinHttpRequest::RunBlocking(std::function<HRESULT()> call) {
    if (m_bAbandoned) return kRequestCancelled;
    if (!m_pCancellation) return call();
    if (!m_callThread) m_callThread = std::make_unique<CBlockingCallThread>();
    // The call keeps this object (and its handles) alive, should it be left
    // to end alone; the reference goes with the call, run or not.
    AddReference();
    std::shared_ptr<void> reference(nullptr, [this](void*) { ReleaseReference(); });
    HRESULT hr = m_callThread->Run([call, reference] { return call(); }, *m_pCancellation);
    if (hr == kRequestCancelled) {
        // Either the call still runs (and releases its reference when it
        // returns), or it never started and never will.
        m_bAbandoned = true;
    }
    return hr;
}

HRESULT CWinHttpRequest::OpenRequest(const std::wstring& method, const std::wstring& url, bool) {
    if (m_bAbandoned) return kRequestCancelled;
    UrlParts parts;
    if (!SplitUrl(url, parts) || (parts.schemeIndex != kSchemeHttp && parts.schemeIndex != kSchemeHttps)) {
        return E_INVALIDARG;
    }
    HRESULT hr = OpenSessionFor(url);
    if (FAILED(hr)) return hr;
    const bool secure = parts.schemeIndex == kSchemeHttps;
    if (secure) SetSecureProtocols(m_session.Get());

    ScopedInternetHandle newConnection;
    HINTERNET connection = m_connection.Get();
    if (!m_connection || parts.host != m_strHost || parts.port != m_nPort) {
        newConnection.Reset(WinHttpConnect(m_session.Get(), parts.host.c_str(), parts.port, 0));
        if (!newConnection) return FailureFromLastError();
        connection = newConnection.Get();
    }

    // The fragment belongs to the client alone and is never sent.
    std::wstring objectName = parts.path + parts.extraInfo.substr(0, parts.extraInfo.find(L'#'));
    ScopedInternetHandle request(WinHttpOpenRequest(connection, method.c_str(), objectName.c_str(), nullptr,
                                                    WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                                    secure ? WINHTTP_FLAG_SECURE : 0));
    if (!request) return FailureFromLastError();  // a new connection closes with newConnection
    if (FAILED(hr = ApplyTimeouts(request.Get(), kResolveTimeoutMs, kConnectTimeoutMs, kSendTimeoutMs,
                                  kReceiveTimeoutMs))) {
        return hr;
    }

    // Certificates are checked as WinHTTP does by default: a server whose
    // certificate does not prove its name fails the request (12175 and its
    // kin), which is not retried.

    // Commit: the old request goes before the connection it belongs to.
    m_request.Reset(request.Release());
    if (newConnection) m_connection.Reset(newConnection.Release());
    m_requestHeaders.clear();
    m_strHost = parts.host;
    m_nPort = parts.port;
    m_strMethod = method;
    return S_OK;
}

HRESULT CWinHttpRequest::SetRequestHeader(BSTR header, BSTR value) {
    Lock lock(*this);
    return Guarded([&] {
        m_requestHeaders[header ? header : L""] = value ? value : L"";
        return S_OK;
    });
}

HRESULT CWinHttpRequest::GetResponseHeader(BSTR header, BSTR* value) {
    if (!value) return E_POINTER;
    *value = nullptr;
    if (!header) return E_INVALIDARG;
    Lock lock(*this);
    DWORD size = 0;
    if (WinHttpQueryHeaders(m_request.Get(), WINHTTP_QUERY_CUSTOM, header, WINHTTP_NO_OUTPUT_BUFFER, &size,
                            WINHTTP_NO_HEADER_INDEX) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        return FailureFromLastError();
    }
    UINT chars = size / sizeof(wchar_t);
    BSTR text = SysAllocStringLen(nullptr, chars > 0 ? chars - 1 : 0);
    if (!text) return E_OUTOFMEMORY;
    if (!WinHttpQueryHeaders(m_request.Get(), WINHTTP_QUERY_CUSTOM, header, text, &size, WINHTTP_NO_HEADER_INDEX)) {
        HRESULT hr = FailureFromLastError();
        SysFreeString(text);
        return hr;
    }
    *value = text;
    return S_OK;
}

HRESULT CWinHttpRequest::GetAllResponseHeaders(BSTR* headers) {
    if (!headers) return E_POINTER;
    *headers = nullptr;
    return E_NOTIMPL;
}

HRESULT CWinHttpRequest::get_StatusText(BSTR* status) {
    if (status) *status = nullptr;
    return E_NOTIMPL;
}

HRESULT CWinHttpRequest::get_ResponseText(BSTR* body) {
    if (body) *body = nullptr;
    return E_NOTIMPL;
}

HRESULT CWinHttpRequest::Send(VARIANT body) {
    Lock lock(*this);
    return Guarded([&] { return SendRequest(body); });
}

HRESULT CWinHttpRequest::SendRequest(const VARIANT& body) {
    std::vector<BYTE> bodyBytes;
    if (V_VT(&body) == VT_UNKNOWN) {
        if (m_strMethod != L"POST" || !V_UNKNOWN(&body)) return E_INVALIDARG;
        ComPtr<IStream> stream;
        if (FAILED(V_UNKNOWN(&body)->QueryInterface(IID_IStream, stream.ReceiveVoid()))) return E_INVALIDARG;
        STATSTG stat = {};
        if (FAILED(stream->Stat(&stat, STATFLAG_NONAME))) return E_INVALIDARG;
        if (stat.cbSize.QuadPart < 1 || stat.cbSize.QuadPart >= 0xFFFFFFFFull) return E_INVALIDARG;
        LARGE_INTEGER start = {};
        if (FAILED(stream->Seek(start, STREAM_SEEK_SET, nullptr))) return E_INVALIDARG;
        try {
            bodyBytes.resize(static_cast<size_t>(stat.cbSize.QuadPart));
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        ULONG read = 0;
        if (FAILED(stream->Read(bodyBytes.data(), static_cast<ULONG>(bodyBytes.size()), &read)) ||
            read != bodyBytes.size()) {
            return E_INVALIDARG;
        }
    } else if (V_VT(&body) != VT_EMPTY && V_VT(&body) != VT_NULL) {
        return E_NOTIMPL;
    }

    std::wstring headers;
    for (const auto& [name, value] : m_requestHeaders) {
        if (!name.empty() && !value.empty()) headers += name + L": " + value + L"\r\n";
    }
    // The call owns its copies of the headers and the body.
    HINTERNET request = m_request.Get();
    return RunBlocking([request, headers, bodyBytes] {
        const DWORD bodyLength = static_cast<DWORD>(bodyBytes.size());
        if (!WinHttpSendRequest(request, headers.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : headers.c_str(),
                                static_cast<DWORD>(headers.size()),
                                bodyBytes.empty() ? WINHTTP_NO_REQUEST_DATA : const_cast<BYTE*>(bodyBytes.data()),
                                bodyLength, bodyLength, 0) ||
            !WinHttpReceiveResponse(request, nullptr)) {
            return FailureFromLastError();
        }
        return S_OK;
    });
}

HRESULT CWinHttpRequest::get_Status(long* status) {
    if (!status) return E_POINTER;
    Lock lock(*this);
    DWORD code = 0;
    DWORD size = sizeof(code);
    if (!WinHttpQueryHeaders(m_request.Get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &code, &size, WINHTTP_NO_HEADER_INDEX)) {
        return FailureFromLastError();
    }
    *status = static_cast<long>(code);
    return S_OK;
}

HRESULT CWinHttpRequest::get_ResponseStream(VARIANT* body) {
    if (!body) return E_POINTER;
    VariantInit(body);
    auto* stream = new (std::nothrow) CWinHttpStream(static_cast<IWinHttpRequest*>(this));
    if (!stream) return E_OUTOFMEMORY;
    V_VT(body) = VT_UNKNOWN;
    V_UNKNOWN(body) = static_cast<IStream*>(stream);
    return S_OK;
}

HRESULT CWinHttpRequest::SetTimeouts(long resolveTimeout, long connectTimeout, long sendTimeout, long receiveTimeout) {
    Lock lock(*this);
    return ApplyTimeouts(m_request.Get(), resolveTimeout, connectTimeout, sendTimeout, receiveTimeout);
}

HRESULT CWinHttpRequest::ReadData(void* buffer, ULONG count, ULONG* read) {
    if (read) *read = 0;
    if (!buffer) return count ? E_INVALIDARG : S_FALSE;
    Lock lock(*this);
    if (count == 0) return S_OK;
    // Waits only until some of the body has arrived (or it has ended) and
    // takes no more than that, as a socket read does: a synchronous
    // WinHttpReadData may otherwise wait until the whole count is there.
    // With a cancellation the call reads into the object's own buffer, which
    // outlives a call that was left to end alone.
    HINTERNET request = m_request.Get();
    BYTE* target = static_cast<BYTE*>(buffer);
    if (m_pCancellation) {
        try {
            if (m_readBuffer.size() < count) m_readBuffer.resize(count);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        target = m_readBuffer.data();
    }
    DWORD* bytesRead = &m_nBytesRead;
    *bytesRead = 0;
    HRESULT hr = RunBlocking([request, target, count, bytesRead] {
        DWORD available = 0;
        if (!WinHttpQueryDataAvailable(request, &available)) return FailureFromLastError();
        if (available == 0) return S_OK;  // the body has ended
        DWORD got = 0;
        if (!WinHttpReadData(request, target, std::min<DWORD>(count, available), &got)) return FailureFromLastError();
        *bytesRead = got;
        return S_OK;
    });
    if (FAILED(hr)) return hr;
    const DWORD bytes = m_nBytesRead;
    if (target != buffer) std::copy_n(target, bytes, static_cast<BYTE*>(buffer));
    if (read) *read = bytes;
    return S_OK;
}

HRESULT CWinHttpRequest::SetUserAgent(LPCWSTR agent) {
    Lock lock(*this);
    return Guarded([&] {
        if (agent && agent == m_strUserAgent.c_str()) return S_OK;
        m_strUserAgent = agent && *agent ? std::wstring(agent) : GetDefaultUserAgent();
        return S_OK;
    });
}

HRESULT CreateWinHttpRequest(IWinHttpRequest** request, const wchar_t* agent) {
    if (!request) return E_POINTER;
    *request = nullptr;
    auto* object = new (std::nothrow) CWinHttpRequest;
    if (!object) return E_OUTOFMEMORY;
    HRESULT hr = Guarded([&] {
        std::wstring copy = agent ? agent : GetDefaultUserAgent();
        return object->SetUserAgent(copy.c_str());
    });
    if (FAILED(hr)) {
        object->Release();
        return hr;
    }
    *request = object;
    return S_OK;
}

}  // namespace WinHTTP
