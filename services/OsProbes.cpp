#include <mutex>

#include "framework/Exceptions.h"
#include "framework/OptionalFunctions.h"
#include "framework/Win32Error.h"
#include "services/SystemProbes.h"

namespace {

// False when ntdll or RtlGetVersion is missing or fails; error says why.
bool QueryRtlVersion(OSVERSIONINFOW& info, HRESULT& error) {
    RtlGetVersionFunction rtlGetVersion = FindRtlGetVersion();
    if (!rtlGetVersion) {
        error = FailureFromLastError();
        return false;
    }
    info = {};
    info.dwOSVersionInfoSize = sizeof(info);
    if (rtlGetVersion(&info) != 0) {
        error = E_FAIL;
        return false;
    }
    return true;
}
}  // namespace

bool IsOsVersionAtLeast(DWORD major, DWORD minor) {
    OSVERSIONINFOW info = {};
    info.dwOSVersionInfoSize = sizeof(info);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!GetVersionExW(&info)) return false;
#pragma GCC diagnostic pop
    return info.dwMajorVersion > major || (info.dwMajorVersion == major && info.dwMinorVersion >= minor);
}

PackedVersion GetOsVersion() {
    static PackedVersion version = 0;
    static HRESULT error = S_OK;
    static std::once_flag computed;
    std::call_once(computed, [] {
        OSVERSIONINFOW info;
        if (QueryRtlVersion(info, error)) {
            version = MakePackedVersion(static_cast<WORD>(info.dwMajorVersion), static_cast<WORD>(info.dwMinorVersion), 0, 0);
        }
    });
    if (version == 0) ThrowOleException(FAILED(error) ? error : E_FAIL);
    return version;
}

const std::wstring& GetPlatformText() {
    static std::wstring text;
    static std::once_flag computed;
    std::call_once(computed, [] {
        text = L"platformOS=Windows";
        OSVERSIONINFOW info;
        HRESULT ignored;
        if (QueryRtlVersion(info, ignored)) {
            text += L"&platformOSVersion=" + std::to_wstring(info.dwMajorVersion) + L"." +
                    std::to_wstring(info.dwMinorVersion);
        }
    });
    return text;
}
