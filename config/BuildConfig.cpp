#include "config/BuildConfig.h"

#include <cstring>
#include <vector>

#include "framework/Win32Error.h"

const wchar_t* BuildConfig::Get(const std::wstring& key) const {
    auto found = m_values.find(key);
    return found == m_values.end() ? nullptr : found->second.c_str();
}

void BuildConfig::ParseResource(const void* bytes, size_t size) {
    m_values.clear();
    size_t chars = size / sizeof(wchar_t);
    // Copied because a resource need not be aligned for wchar_t access.
    std::vector<wchar_t> text(chars);
    if (chars) std::memcpy(text.data(), bytes, chars * sizeof(wchar_t));

    std::wstring key;
    size_t start = 0;
    bool inValue = false;
    for (size_t i = 0; i < chars; ++i) {
        if (text[i] != L'\0') continue;
        std::wstring piece(text.data() + start, i - start);
        if (inValue) {
            m_values[key] = piece;
        } else {
            key = piece;
        }
        inValue = !inValue;
        start = i + 1;
    }
}

HRESULT LoadBuildConfig(BuildConfig& config, HMODULE module) {
    config.Clear();
    HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(BUILD_CONFIG_RESOURCE_ID),
                                   MAKEINTRESOURCEW(BUILD_CONFIG_RESOURCE_TYPE));
    if (!resource) return FailureFromLastError();
    HGLOBAL loaded = LoadResource(module, resource);
    if (!loaded) return FailureFromLastError();
    DWORD size = SizeofResource(module, resource);
    const void* bytes = LockResource(loaded);
    if (size == 0) return S_FALSE;
    if (!bytes) return FailureFromLastError();
    config.ParseResource(bytes, size);
    return S_OK;
}
