#include <string>
#include <vector>

#include "config/InstallerDataSources.h"
#include "config/InstallerDataStore.h"
#include "framework/RegistryNames.h"
#include "framework/ScopedHandles.h"

namespace {
const wchar_t kWizardKey[] = L"SOFTWARE\\Tarnwell Utilities Inc\\Wrenstall";
const wchar_t kDebugSubkey[] = L"DebugInstallerData";
const wchar_t kDebugValue[] = L"IDPF";
const DWORD kNameChars = 260;

// The strings of a REG_MULTI_SZ image, each followed by a line feed.
std::wstring JoinMultiString(const std::vector<wchar_t>& data) {
    std::wstring text;
    size_t start = 0;
    for (size_t i = 0; i <= data.size(); ++i) {
        if (i < data.size() && data[i] != L'\0') continue;
        if (i == start) break;  // an empty string ends the list
        text.append(data.data() + start, i - start);
        text += L'\n';
        start = i + 1;
    }
    return text;
}

// Reads IDPF from the open debug subkey; true when it was parsed.
bool ParseDebugValue(HKEY debugKey, InstallerDataStore& store) {
    for (DWORD index = 0;; ++index) {
        wchar_t name[kNameChars];
        DWORD nameChars = kNameChars;
        DWORD type = 0;
        DWORD bytes = 0;
        if (RegEnumValueW(debugKey, index, name, &nameChars, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS) {
            return false;
        }
        if (std::wstring(name) != kDebugValue || type != REG_MULTI_SZ) continue;
        std::vector<wchar_t> data(bytes / sizeof(wchar_t) + 1, L'\0');
        DWORD size = static_cast<DWORD>(data.size() * sizeof(wchar_t));
        if (RegQueryValueExW(debugKey, kDebugValue, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) !=
                ERROR_SUCCESS ||
            type != REG_MULTI_SZ) {
            return false;
        }
        data.resize(size / sizeof(wchar_t));
        return SUCCEEDED(store.Parse(JoinMultiString(data).c_str()));
    }
}
}  // namespace

bool LoadDebugInstallerData(InstallerDataStore& store) {
    ScopedRegKey wizardKey;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kWizardKey, 0, KEY_READ, wizardKey.Receive()) != ERROR_SUCCESS) {
        return false;
    }
    bool loaded = false;
    for (const std::wstring& name : ReadSubkeyNames(wizardKey.Get(), kNameChars)) {
        if (name != kDebugSubkey) continue;
        {
            ScopedRegKey debugKey;
            if (RegOpenKeyExW(wizardKey.Get(), kDebugSubkey, 0, KEY_ALL_ACCESS, debugKey.Receive()) == ERROR_SUCCESS) {
                loaded = ParseDebugValue(debugKey.Get(), store);
            }
        }
        // One-shot: gone whether or not it held a usable value.
        RegDeleteKeyW(wizardKey.Get(), kDebugSubkey);
        break;
    }
    return loaded;
}
