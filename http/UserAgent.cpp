#include "http/UserAgent.h"

#include <cstdio>
#include <mutex>
#include <new>

#include "framework/OptionalFunctions.h"

namespace WinHTTP {
namespace {
std::mutex g_agentLock;

std::wstring& DefaultAgent() {
    static std::wstring agent = L"TARNHTTP/1.1";
    return agent;
}
}  // namespace

HRESULT SetDefaultUserAgent(const wchar_t* agent) {
    if (!agent) return E_POINTER;
    try {
        std::lock_guard<std::mutex> lock(g_agentLock);
        DefaultAgent() = agent;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

std::wstring GetDefaultUserAgent() {
    std::lock_guard<std::mutex> lock(g_agentLock);
    return DefaultAgent();
}

HRESULT BuildUserAgent(const wchar_t* applicationName, const wchar_t* version, std::wstring& agent) {
    if (!applicationName) return E_POINTER;
    try {
        OSVERSIONINFOW info = {};
        info.dwOSVersionInfoSize = sizeof(info);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
        GetVersionExW(&info);
#pragma GCC diagnostic pop
        wchar_t platform[64];
        std::swprintf(platform, 64, L" ver:%d.%d; arc:%ls", static_cast<int>(info.dwMajorVersion),
                      static_cast<int>(info.dwMinorVersion), IsWow64() ? L"AMD64" : L"IA32");
        agent = std::wstring(applicationName) + L" Installer";
        if (version && *version) agent += std::wstring(L"/") + version;
        agent += std::wstring(L" (os:windows;") + platform + L")";
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

}  // namespace WinHTTP
