#include <vector>

#include "app/Program.h"
#include "framework/ScopedHandles.h"
#include "services/SystemProbes.h"

std::wstring ReadInstalledInstallerDataValue(const wchar_t* name) {
    if (!GetApplication()) return {};
    std::wstring path = std::wstring(kMakerKeyPath) + L"\\" + GetProgram().m_strAppName + L"\\InstallerData";
    ScopedRegKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, key.Receive()) != ERROR_SUCCESS) return {};
    std::vector<wchar_t> value(32767 + 1, L'\0');
    DWORD type = 0;
    DWORD size = 32767 * sizeof(wchar_t);
    if (RegQueryValueExW(key.Get(), name, nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ) {
        return {};
    }
    return value.data();
}

std::wstring ReadInstalledUpl() { return ReadInstalledInstallerDataValue(L"upl"); }
