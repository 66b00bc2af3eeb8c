#pragma once
// The current user's proxy configuration, loaded once per process on the
// first request (under a process-wide once-flag) and read-only afterwards.
#include <windows.h>
#include <winhttp.h>

#include <string>

namespace WinHTTP {

struct ProxySettings {
    bool autoDetect = false;
    bool hasAutoConfigUrl = false;
    std::wstring autoConfigUrl;
    bool hasProxy = false;
    std::wstring proxy;
    bool hasProxyBypass = false;
    std::wstring proxyBypass;
    bool usable = false;  // requests must apply this configuration
};

const ProxySettings& GetProxySettings();

// A proxy answer for one URL; the strings live as long as the answer.
struct ProxyAnswer {
    std::wstring proxy;
    std::wstring bypass;
    WINHTTP_PROXY_INFO info = {WINHTTP_ACCESS_TYPE_NO_PROXY, nullptr, nullptr};
};

// S_OK with a proxy in answer, S_FALSE when the URL goes direct, or the
// mapped error of a failed script evaluation.
HRESULT ResolveProxyForUrl(HINTERNET session, const wchar_t* url, ProxyAnswer& answer);

}  // namespace WinHTTP
