#pragma once
// CFileVersionInfo: the version resource of an executable file, its fixed
// block and twelve standard strings in the translation that suits the user.
#include <windows.h>

#include <string>

#include "services/PackedVersion.h"

class CFileVersionInfo {
public:
    enum StringIndex {
        CompanyName, FileDescription, FileVersion, InternalName, LegalCopyright, OriginalFileName,
        ProductName, ProductVersion, Comments, LegalTrademarks, PrivateBuild, SpecialBuild, StringCount
    };

    CFileVersionInfo() { Reset(); }
    virtual ~CFileVersionInfo() = default;
    virtual void Reset();

    // False when the file has no readable version resource; missing strings stay empty.
    bool Create(const std::wstring& path);
    // As Create, choosing the translation for userLanguage (for tests and callers that know it).
    bool Create(const std::wstring& path, LANGID userLanguage);

    const VS_FIXEDFILEINFO& GetFixedInfo() const { return m_fixed; }
    std::wstring GetString(StringIndex index) const { return m_strings[index]; }
    static const wchar_t* StringName(StringIndex index);

    // The translation entry chosen among (language | code page << 16) entries.
    static DWORD ChooseTranslation(const DWORD* entries, size_t count, LANGID userLanguage);

private:
    VS_FIXEDFILEINFO m_fixed;
    std::wstring m_strings[StringCount];
};

// The fixed block's file version, or 0 when the file is missing or has none.
PackedVersion GetFileVersion(const std::wstring& path);
