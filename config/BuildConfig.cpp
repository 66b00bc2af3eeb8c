#include "config/BuildConfig.h"

#include <cstring>
#include <new>
#include <vector>

#include "framework/ResourceBytes.h"
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
    LPCWSTR name = MAKEINTRESOURCEW(BUILD_CONFIG_RESOURCE_ID);
    LPCWSTR type = MAKEINTRESOURCEW(BUILD_CONFIG_RESOURCE_TYPE);
    const void* bytes = LockResourceBytes(name, type, module);
    if (!bytes) return FailureFromLastError();
    DWORD size = GetResourceByteCount(name, type, module);
    if (size == 0) return S_FALSE;
    try {
        config.ParseResource(bytes, size);
    } catch (const std::bad_alloc&) {
        config.Clear();
        return E_OUTOFMEMORY;
    }
    return S_OK;
}
