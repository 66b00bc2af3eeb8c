#include "services/FileVersionInfo.h"

#include <shlwapi.h>

#include <cstdio>
#include <new>
#include <vector>

#include "framework/Exceptions.h"

namespace {
const wchar_t* const kStringNames[] = {
    L"CompanyName",    L"FileDescription", L"FileVersion", L"InternalName",    L"LegalCopyright", L"OriginalFileName",
    L"ProductName",    L"ProductVersion",  L"Comments",    L"LegalTrademarks", L"PrivateBuild",   L"SpecialBuild",
};

// The version resource bytes of path, or empty.
std::vector<BYTE> LoadVersionResource(const std::wstring& path) {
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) return {};
    std::vector<BYTE> data;
    try {
        data.resize(size);
    } catch (const std::bad_alloc&) {
        ThrowMemoryException();
    }
    if (!GetFileVersionInfoW(path.c_str(), 0, size, data.data())) return {};
    return data;
}

bool ReadFixedBlock(std::vector<BYTE>& data, VS_FIXEDFILEINFO& fixed) {
    void* block = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(data.data(), L"\\", &block, &length) || length != sizeof(VS_FIXEDFILEINFO)) return false;
    memcpy(&fixed, block, sizeof(fixed));
    return true;
}
}  // namespace

const wchar_t* CFileVersionInfo::StringName(StringIndex index) { return kStringNames[index]; }

void CFileVersionInfo::Reset() {
    memset(&m_fixed, 0, sizeof(m_fixed));
    for (std::wstring& text : m_strings) text.clear();
}

DWORD CFileVersionInfo::ChooseTranslation(const DWORD* entries, size_t count, LANGID userLanguage) {
    auto find = [&](auto matches) -> const DWORD* {
        for (size_t i = 0; i < count; ++i) {
            if (matches(LOWORD(entries[i]))) return &entries[i];
        }
        return nullptr;
    };
    const DWORD* chosen = find([&](WORD language) { return language == userLanguage; });
    if (!chosen) chosen = find([&](WORD language) { return (language & 0xFF) == (userLanguage & 0xFF); });
    if (!chosen) chosen = find([](WORD language) { return language == 0; });
    if (!chosen) chosen = find([](WORD language) { return (language & 0xFF) == 0; });
    if (!chosen) chosen = find([](WORD language) { return language == 9; });
    if (!chosen) chosen = find([](WORD language) { return (language & 0xFF) == 9; });
    return chosen ? *chosen : entries[0];
}

bool CFileVersionInfo::Create(const std::wstring& path) { return Create(path, GetUserDefaultLangID()); }

bool CFileVersionInfo::Create(const std::wstring& path, LANGID userLanguage) {
    Reset();
    std::vector<BYTE> data = LoadVersionResource(path);
    if (data.empty()) return false;
    ReadFixedBlock(data, m_fixed);

    void* translations = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", &translations, &length) ||
        length < sizeof(DWORD)) {
        return true;
    }
    DWORD translation = ChooseTranslation(static_cast<const DWORD*>(translations), length / sizeof(DWORD), userLanguage);
    wchar_t prefix[64];
    std::swprintf(prefix, 64, L"\\StringFileInfo\\%04X%04X\\", LOWORD(translation), HIWORD(translation));
    for (int i = 0; i < StringCount; ++i) {
        void* text = nullptr;
        UINT chars = 0;
        std::wstring query = std::wstring(prefix) + kStringNames[i];
        if (VerQueryValueW(data.data(), query.c_str(), &text, &chars) && text) {
            m_strings[i] = static_cast<const wchar_t*>(text);
        }
    }
    return true;
}

PackedVersion GetFileVersion(const std::wstring& path) {
    if (!PathFileExistsW(path.c_str())) return 0;
    std::vector<BYTE> data = LoadVersionResource(path);
    VS_FIXEDFILEINFO fixed;
    if (data.empty() || !ReadFixedBlock(data, fixed)) return 0;
    return static_cast<ULONGLONG>(fixed.dwFileVersionMS) << 32 | fixed.dwFileVersionLS;
}
