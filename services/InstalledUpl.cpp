#include <vector>

#include "framework/ScopedHandles.h"
#include "services/MakerKeys.h"
#include "services/SystemProbes.h"

std::wstring ReadInstalledInstallerDataValue(const std::wstring& productName, const wchar_t* name) {
    if (productName.empty()) return {};
    std::wstring path = ProductKeyPath(productName) + L"\\InstallerData";
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

std::wstring ReadInstalledUpl(const std::wstring& productName) {
    return ReadInstalledInstallerDataValue(productName, L"upl");
}
