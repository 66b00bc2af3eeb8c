#pragma once
// The build configuration: key/value pairs fixed in resource type 33, id 1.
// Filled once during start-up and read-only afterwards.
#include <windows.h>

#include <map>
#include <string>

class BuildConfig {
public:
    BuildConfig() = default;
    BuildConfig(const BuildConfig&) = delete;
    BuildConfig& operator=(const BuildConfig&) = delete;

    // The value, or null when the key is absent; exact, case-sensitive keys.
    const wchar_t* Get(const std::wstring& key) const;

    // Replaces the contents with the pairs of a resource image: UTF-16LE
    // strings, each NUL-terminated, alternating key and value. An odd last
    // byte and a final key without a value are ignored; a later duplicate wins.
    // Throws std::bad_alloc when the map cannot grow.
    void ParseResource(const void* bytes, size_t size);

    const std::map<std::wstring, std::wstring>& Entries() const { return m_values; }
    void Clear() { m_values.clear(); }

private:
    std::map<std::wstring, std::wstring> m_values;
};

enum : WORD { BUILD_CONFIG_RESOURCE_TYPE = 33, BUILD_CONFIG_RESOURCE_ID = 1 };

// Loads the resource from module (the resource module when null). The platform
// error when it is missing, S_FALSE when it is empty, E_OUTOFMEMORY (and an
// empty configuration) when it does not fit in memory.
HRESULT LoadBuildConfig(BuildConfig& config, HMODULE module = nullptr);
