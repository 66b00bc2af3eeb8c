#include <shlobj.h>
#include <shlwapi.h>

#include <vector>

#include "framework/Exceptions.h"
#include "framework/RegistryNames.h"
#include "framework/ScopedHandles.h"
#include "services/SystemProbes.h"

namespace {
const wchar_t kUninstallKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const wchar_t kCurrentVersionKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
const wchar_t kNoxKey[] = L"SOFTWARE\\Tarnwell Utilities, Inc.\\Velmora Cleaner Plus";
const wchar_t kGearfreshKey[] = L"SOFTWARE\\Tarnwell Utilities Inc\\Gearfresh";
const wchar_t kProgramFilesPlaceholder[] = L"%ProgramFiles%";
const DWORD kNameChars = 260;

std::wstring UpperCase(std::wstring text) {
    if (!text.empty()) CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

// Present means installed; the key is looked at in the 64-bit view on a 64-bit system.
bool IsInstallable(HKEY root, const wchar_t* path, std::wstring& reason) {
    REGSAM access = KEY_READ | (IsWow64() ? KEY_WOW64_64KEY : 0);
    ScopedRegKey key;
    if (RegOpenKeyExW(root, path, 0, access, key.Receive()) != ERROR_SUCCESS) return true;
    if (!reason.empty()) reason += L' ';
    reason += L"Already installed.";
    return false;
}

void ReplaceAll(std::wstring& text, const std::wstring& what, const std::wstring& with) {
    for (size_t at = text.find(what); at != std::wstring::npos; at = text.find(what, at + with.size())) {
        text.replace(at, what.size(), with);
    }
}
}  // namespace

std::wstring ReadStringOrNA(HKEY key, const wchar_t* valueName) {
    wchar_t value[kNameChars + 1] = {};
    DWORD type = 0;
    DWORD size = kNameChars * sizeof(wchar_t);
    if (RegQueryValueExW(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return L"NA";
    }
    value[size / sizeof(wchar_t)] = L'\0';
    return value;
}

std::wstring FindUninstallString(const std::wstring& displayName) {
    const std::wstring wanted = UpperCase(displayName);
    std::wstring command;
    ScopedRegKey uninstall;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_READ | KEY_WOW64_32KEY, uninstall.Receive()) !=
        ERROR_SUCCESS) {
        return command;
    }
    for (const std::wstring& name : ReadSubkeyNames(uninstall.Get(), kNameChars)) {
        ScopedRegKey product;
        if (RegOpenKeyExW(uninstall.Get(), name.c_str(), 0, KEY_READ | KEY_WOW64_32KEY, product.Receive()) !=
            ERROR_SUCCESS) {
            continue;
        }
        // The last match wins.
        if (UpperCase(ReadStringOrNA(product.Get(), L"DisplayName")) == wanted) {
            command = ReadStringOrNA(product.Get(), L"UninstallString");
        }
    }
    return command;
}

std::wstring ExpandProgramFilesPath(const std::wstring& path) {
    std::wstring result;
    if (IsWow64()) {
        ScopedRegKey key;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kCurrentVersionKey, 0, KEY_READ | KEY_WOW64_64KEY, key.Receive()) ==
            ERROR_SUCCESS) {
            std::wstring programFiles = ReadStringOrNA(key.Get(), L"ProgramFilesDir");
            if (programFiles != L"NA") {
                result = path;
                ReplaceAll(result, kProgramFilesPlaceholder, programFiles);
            }
        }
    }
    if (result.empty() || !PathFileExistsW(result.c_str())) {
        std::vector<wchar_t> expanded(16383 + 1);
        DWORD length = ExpandEnvironmentStringsW(path.c_str(), expanded.data(), 16383);
        result = length > 0 && length <= 16383 ? std::wstring(expanded.data()) : path;
    }
    return result;
}

bool IsNoxInstallable(std::wstring& reason) { return IsInstallable(HKEY_LOCAL_MACHINE, kNoxKey, reason); }

bool IsGearfreshInstallable(std::wstring& reason) { return IsInstallable(HKEY_CURRENT_USER, kGearfreshKey, reason); }

std::wstring GetCommonDocumentsFolder() {
    wchar_t folder[MAX_PATH];
    HRESULT hr = SHGetFolderPathW(nullptr, CSIDL_COMMON_DOCUMENTS, nullptr, SHGFP_TYPE_CURRENT, folder);
    if (FAILED(hr)) ThrowOleException(hr);
    return folder;
}

std::wstring ExpandEnvironment(const std::wstring& text) {
    std::vector<wchar_t> expanded(32768);
    DWORD length = ExpandEnvironmentStringsW(text.c_str(), expanded.data(), static_cast<DWORD>(expanded.size()));
    if (length == 0 || length > expanded.size()) return text;
    return expanded.data();
}
