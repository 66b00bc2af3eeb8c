#include "http/ProxySettings.h"

#include <cwctype>
#include <mutex>
#include <new>

#include "framework/Win32Error.h"

namespace WinHTTP {
namespace {
// Takes a string the platform allocated with GlobalAlloc.
bool TakeGlobalString(LPWSTR text, std::wstring& target) {
    if (!text) return false;
    target = text;
    GlobalFree(text);
    return true;
}

void LoadProxySettings(ProxySettings& settings) {
    settings = ProxySettings{};
    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config = {};
    if (!WinHttpGetIEProxyConfigForCurrentUser(&config)) return;
    settings.autoDetect = config.fAutoDetect != FALSE;
    settings.hasAutoConfigUrl = TakeGlobalString(config.lpszAutoConfigUrl, settings.autoConfigUrl);
    settings.hasProxy = TakeGlobalString(config.lpszProxy, settings.proxy);
    settings.hasProxyBypass = TakeGlobalString(config.lpszProxyBypass, settings.proxyBypass);

    if (settings.hasAutoConfigUrl) {
        settings.usable = true;
        return;
    }
    if (!settings.autoDetect) {
        settings.usable = settings.hasProxy;
        return;
    }
    LPWSTR detected = nullptr;
    if (WinHttpDetectAutoProxyConfigUrl(WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A, &detected) &&
        detected) {
        std::wstring url;
        TakeGlobalString(detected, url);
        while (!url.empty() && std::iswspace(url.back())) url.pop_back();
        if (!url.empty()) {
            settings.autoConfigUrl = url;
            settings.hasAutoConfigUrl = true;
            settings.usable = true;
        }
    }
}
}  // namespace

const ProxySettings& GetProxySettings() {
    static ProxySettings settings;
    static std::once_flag loaded;
    std::call_once(loaded, [] {
        try {
            LoadProxySettings(settings);
        } catch (const std::bad_alloc&) {
            settings = ProxySettings{};
        }
    });
    return settings;
}

HRESULT ResolveProxyForUrl(HINTERNET session, const wchar_t* url, ProxyAnswer& answer) {
    const ProxySettings& settings = GetProxySettings();
    if (!settings.usable) return S_FALSE;
    if (settings.hasAutoConfigUrl && !settings.autoConfigUrl.empty()) {
        WINHTTP_AUTOPROXY_OPTIONS options = {};
        options.dwFlags = WINHTTP_AUTOPROXY_CONFIG_URL;
        options.lpszAutoConfigUrl = settings.autoConfigUrl.c_str();
        options.fAutoLogonIfChallenged = TRUE;
        WINHTTP_PROXY_INFO info = {};
        if (!WinHttpGetProxyForUrl(session, url, &options, &info)) {
            DWORD error = GetLastError();
            if (error == ERROR_WINHTTP_AUTO_PROXY_SERVICE_ERROR || error == ERROR_WINHTTP_AUTODETECTION_FAILED) {
                return S_FALSE;
            }
            return HResultFromWin32(static_cast<LONG>(error));
        }
        TakeGlobalString(info.lpszProxy, answer.proxy);
        TakeGlobalString(info.lpszProxyBypass, answer.bypass);
        answer.info.dwAccessType = info.dwAccessType;
    } else if (settings.hasProxy) {
        try {
            answer.proxy = settings.proxy;
            answer.bypass = settings.proxyBypass;
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        answer.info.dwAccessType = WINHTTP_ACCESS_TYPE_NAMED_PROXY;
    } else {
        return S_FALSE;
    }
    answer.info.lpszProxy = answer.proxy.empty() ? nullptr : const_cast<LPWSTR>(answer.proxy.c_str());
    answer.info.lpszProxyBypass = answer.bypass.empty() ? nullptr : const_cast<LPWSTR>(answer.bypass.c_str());
    return S_OK;
}

}  // namespace WinHTTP
