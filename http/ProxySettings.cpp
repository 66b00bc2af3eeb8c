#include "http/ProxySettings.h"

#include <cwctype>
#include <mutex>
#include <new>

#include "framework/Win32Error.h"
#include "http/UrlParts.h"

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
    settings.hasAutoConfigUrl = TakeGlobalString(config.lpszAutoConfigUrl, settings.autoConfigUrl) &&
                                !settings.autoConfigUrl.empty();
    settings.hasProxy = TakeGlobalString(config.lpszProxy, settings.proxy) && !settings.proxy.empty();
    settings.hasProxyBypass = TakeGlobalString(config.lpszProxyBypass, settings.proxyBypass);

    // Detection asks the network (DHCP, DNS) once per process, not per request.
    LPWSTR detected = nullptr;
    if (settings.autoDetect &&
        WinHttpDetectAutoProxyConfigUrl(WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A, &detected) &&
        detected) {
        TakeGlobalString(detected, settings.detectedScriptUrl);
        while (!settings.detectedScriptUrl.empty() && std::iswspace(settings.detectedScriptUrl.back())) {
            settings.detectedScriptUrl.pop_back();
        }
    }
    settings.usable = !settings.detectedScriptUrl.empty() || settings.hasAutoConfigUrl || settings.hasProxy;
}

// The script's answer for url; false when it cannot be fetched or run.
bool AskScript(HINTERNET session, const std::wstring& scriptUrl, const wchar_t* url, ProxyAnswer& answer) {
    WINHTTP_AUTOPROXY_OPTIONS options = {};
    options.dwFlags = WINHTTP_AUTOPROXY_CONFIG_URL;
    options.lpszAutoConfigUrl = scriptUrl.c_str();
    options.fAutoLogonIfChallenged = TRUE;
    WINHTTP_PROXY_INFO info = {};
    if (!WinHttpGetProxyForUrl(session, url, &options, &info)) return false;
    TakeGlobalString(info.lpszProxy, answer.proxy);
    TakeGlobalString(info.lpszProxyBypass, answer.bypass);
    answer.info.dwAccessType = answer.proxy.empty() ? WINHTTP_ACCESS_TYPE_NO_PROXY : info.dwAccessType;
    return true;
}

bool SameLetter(wchar_t a, wchar_t b) { return std::towlower(a) == std::towlower(b); }

// "*" matches any run of characters, case ignored. Greedy with one step back
// to the last "*": time bounded by pattern length times text length, whatever
// the input.
bool WildcardMatch(const std::wstring& pattern, const std::wstring& text) {
    size_t p = 0, t = 0;
    size_t star = std::wstring::npos, resume = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == L'*') {
            star = p++;
            resume = t;
        } else if (p < pattern.size() && SameLetter(pattern[p], text[t])) {
            ++p;
            ++t;
        } else if (star != std::wstring::npos) {
            p = star + 1;
            t = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == L'*') ++p;
    return p == pattern.size();
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

bool IsBypassed(const std::wstring& bypassList, const std::wstring& host, INTERNET_PORT port) {
    const std::wstring hostAndPort = host + L":" + std::to_wstring(port);
    size_t at = 0;
    while (at < bypassList.size()) {
        size_t end = bypassList.find_first_of(L"; ,\t", at);
        if (end == std::wstring::npos) end = bypassList.size();
        std::wstring entry = bypassList.substr(at, end - at);
        at = end + 1;
        if (entry.empty()) continue;
        if (CompareStringOrdinal(entry.c_str(), -1, L"<local>", -1, TRUE) == CSTR_EQUAL) {
            if (host.find(L'.') == std::wstring::npos) return true;
            continue;
        }
        // A scheme in front of the name does not change what it names.
        const size_t scheme = entry.find(L"://");
        if (scheme != std::wstring::npos) entry.erase(0, scheme + 3);
        if (WildcardMatch(entry, host) || WildcardMatch(entry, hostAndPort)) {
            return true;
        }
    }
    return false;
}

HRESULT ResolveProxyForUrl(HINTERNET session, const wchar_t* url, ProxyAnswer& answer) {
    try {
        answer = ProxyAnswer{};
        const ProxySettings& settings = GetProxySettings();
        if (!settings.usable || !url) return S_FALSE;
        bool decided = false;
        for (const std::wstring* script : {&settings.detectedScriptUrl, &settings.autoConfigUrl}) {
            if (!decided && !script->empty() && session) decided = AskScript(session, *script, url, answer);
        }
        if (!decided && settings.hasProxy) {
            UrlParts parts;
            if (settings.hasProxyBypass && SplitUrl(url, parts) &&
                IsBypassed(settings.proxyBypass, parts.host, parts.port)) {
                return S_FALSE;
            }
            answer.proxy = settings.proxy;
            answer.bypass = settings.proxyBypass;
            answer.info.dwAccessType = WINHTTP_ACCESS_TYPE_NAMED_PROXY;
        }
        if (answer.info.dwAccessType != WINHTTP_ACCESS_TYPE_NAMED_PROXY || answer.proxy.empty()) {
            answer = ProxyAnswer{};
            return S_FALSE;
        }
        answer.info.lpszProxy = const_cast<LPWSTR>(answer.proxy.c_str());
        answer.info.lpszProxyBypass = answer.bypass.empty() ? nullptr : const_cast<LPWSTR>(answer.bypass.c_str());
        return S_OK;
    } catch (const std::bad_alloc&) {
        answer = ProxyAnswer{};
        return E_OUTOFMEMORY;
    }
}

}  // namespace WinHTTP
