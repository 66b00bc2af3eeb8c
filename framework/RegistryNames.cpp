#include "framework/RegistryNames.h"

std::vector<std::wstring> ReadSubkeyNames(HKEY key, DWORD maxChars) {
    std::vector<std::wstring> names;
    std::vector<wchar_t> name(maxChars);
    for (DWORD index = 0;; ++index) {
        DWORD chars = maxChars;
        if (RegEnumKeyExW(key, index, name.data(), &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name.data(), chars);
    }
    return names;
}
