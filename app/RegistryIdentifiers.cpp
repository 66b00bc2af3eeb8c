#include "app/RegistryIdentifiers.h"

#include <cwchar>

bool ReadGuidValue(HKEY key, const wchar_t* name, GUID& value) {
    BYTE data[sizeof(GUID)];
    DWORD type = 0;
    DWORD size = sizeof(data);
    // A larger value fails with ERROR_MORE_DATA, a smaller one shows in size.
    if (RegQueryValueExW(key, name, nullptr, &type, data, &size) != ERROR_SUCCESS) return false;
    if (type != REG_BINARY || size != sizeof(GUID)) return false;
    memcpy(&value, data, sizeof(GUID));
    return true;
}

LONG WriteGuidValue(HKEY key, const wchar_t* name, const GUID& value) {
    return RegSetValueExW(key, name, 0, REG_BINARY, reinterpret_cast<const BYTE*>(&value), sizeof(GUID));
}

DWORD ParseBuildNumber(const wchar_t* text) {
    return static_cast<DWORD>(std::wcstol(text ? text : L"", nullptr, 10));
}
