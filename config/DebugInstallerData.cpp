#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "config/InstallerDataSources.h"
#include "config/InstallerDataStore.h"
#include "framework/DiagnosticOutput.h"
#include "framework/RegistryNames.h"
#include "framework/ScopedHandles.h"
#include "framework/Win32Error.h"

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

// Reads IDPF from the open debug subkey: S_OK when it was parsed, S_FALSE
// when there is no such value of the right type.
HRESULT ParseDebugValue(HKEY debugKey, InstallerDataStore& store) {
    for (DWORD index = 0;; ++index) {
        wchar_t name[kNameChars];
        DWORD nameChars = kNameChars;
        DWORD type = 0;
        DWORD bytes = 0;
        LONG error = RegEnumValueW(debugKey, index, name, &nameChars, nullptr, &type, nullptr, &bytes);
        if (error == ERROR_NO_MORE_ITEMS) return S_FALSE;
        if (error != ERROR_SUCCESS) return HResultFromWin32(error);
        if (std::wstring(name) != kDebugValue || type != REG_MULTI_SZ) continue;
        std::wstring text;
        try {
            std::vector<wchar_t> data(bytes / sizeof(wchar_t) + 1, L'\0');
            DWORD size = static_cast<DWORD>(data.size() * sizeof(wchar_t));
            error = RegQueryValueExW(debugKey, kDebugValue, nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                                     &size);
            if (error != ERROR_SUCCESS) return HResultFromWin32(error);
            if (type != REG_MULTI_SZ) return S_FALSE;
            data.resize(size / sizeof(wchar_t));
            text = JoinMultiString(data);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        return ParseInstallerDataText(store, text.c_str());
    }
}

// The subkey with its values and every key under it: emptied through a handle
// of its own (the wizard key is open for reading only), then deleted.
HRESULT RemoveDebugSubkey(HKEY wizardKey) {
    LONG error = ERROR_SUCCESS;
    {
        ScopedRegKey debugKey;
        const REGSAM access = DELETE | KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE | KEY_SET_VALUE;
        error = RegOpenKeyExW(wizardKey, kDebugSubkey, 0, access, debugKey.Receive());
        if (error == ERROR_SUCCESS) error = RegDeleteTreeW(debugKey.Get(), nullptr);
    }
    if (error == ERROR_SUCCESS) error = RegDeleteKeyW(wizardKey, kDebugSubkey);
    if (error == ERROR_SUCCESS || error == ERROR_FILE_NOT_FOUND) return S_OK;
    HRESULT hr = HResultFromWin32(error);
    wchar_t line[200];
    std::swprintf(line, ARRAYSIZE(line),
                  L"The one-shot debug installer data stays: removing HKCU\\%ls\\%ls failed with 0x%08X\n",
                  kWizardKey, kDebugSubkey, static_cast<unsigned>(hr));
    WriteDiagnostic(line);
    return hr;
}

bool IsDebugSubkeyPresent(HKEY wizardKey) {
    try {
        for (const std::wstring& name : ReadSubkeyNames(wizardKey, kNameChars)) {
            if (name == kDebugSubkey) return true;
        }
    } catch (const std::bad_alloc&) {
        // Cannot enumerate: look the subkey up directly instead.
        ScopedRegKey debugKey;
        return RegOpenKeyExW(wizardKey, kDebugSubkey, 0, KEY_READ, debugKey.Receive()) == ERROR_SUCCESS;
    }
    return false;
}
}  // namespace

bool LoadDebugInstallerData(InstallerDataStore& store, DebugInstallerDataOutcome* outcome) {
    DebugInstallerDataOutcome result;
    ScopedRegKey wizardKey;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kWizardKey, 0, KEY_READ, wizardKey.Receive()) == ERROR_SUCCESS &&
        IsDebugSubkeyPresent(wizardKey.Get())) {
        result.found = true;
        {
            ScopedRegKey debugKey;
            LONG error = RegOpenKeyExW(wizardKey.Get(), kDebugSubkey, 0, KEY_ALL_ACCESS, debugKey.Receive());
            result.load = error == ERROR_SUCCESS ? ParseDebugValue(debugKey.Get(), store) : HResultFromWin32(error);
        }
        // One-shot: gone whether or not it held a usable value.
        result.removal = RemoveDebugSubkey(wizardKey.Get());
    }
    if (outcome) *outcome = result;
    return result.load == S_OK;
}
