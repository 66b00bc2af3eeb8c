#pragma once
// The current user's proxy configuration, loaded once per process on the
// first request (under a process-wide once-flag) and read-only afterwards,
// and the one proxy decision that every request of the program follows.
#include <windows.h>
#include <winhttp.h>

#include <string>

namespace WinHTTP {

struct ProxySettings {
    bool autoDetect = false;
    std::wstring detectedScriptUrl;  // what auto-detection found, or empty
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

// The proxy for url in the order the platform's own clients use: the script
// that auto-detection found, then the configured script, then the manual
// proxy unless its bypass list names the host. A script that cannot be
// fetched or run passes on to the next step. S_OK with a proxy in answer,
// S_FALSE when the URL goes direct. session is any open session; scripts are
// evaluated through it.
HRESULT ResolveProxyForUrl(HINTERNET session, const wchar_t* url, ProxyAnswer& answer);

// Whether the bypass list (entries separated by ";", "," or spaces, "*" as a
// wildcard, "<local>" for names without a dot) names host.
bool IsBypassed(const std::wstring& bypassList, const std::wstring& host, INTERNET_PORT port);

}  // namespace WinHTTP
