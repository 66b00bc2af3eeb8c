#include "ui/ResourceStyles.h"

#include <cstring>

#include "framework/ResourceBytes.h"
#include "framework/ResourceStrings.h"
#include "resources/resource.h"

namespace {
// LOGFONTW as stored: 28 bytes of fields and 32 UTF-16 units of face name.
const DWORD kStoredFontBytes = 92;
static_assert(sizeof(LOGFONTW) == kStoredFontBytes, "the stored font is a LOGFONTW");

const void* FindSized(UINT id, WORD type, DWORD minimum, DWORD& size) {
    LPCWSTR name = MAKEINTRESOURCEW(id);
    const void* data = LockResourceBytes(name, MAKEINTRESOURCEW(type));
    size = data ? GetResourceByteCount(name, MAKEINTRESOURCEW(type)) : 0;
    return data && size >= minimum ? data : nullptr;
}
}  // namespace

bool LoadFontStyle(UINT id, LOGFONTW& font) {
    DWORD size = 0;
    const void* data = FindSized(id, RT_FONT_STYLE, kStoredFontBytes, size);
    if (!data) return false;
    std::memcpy(&font, data, kStoredFontBytes);
    font.lfFaceName[LF_FACESIZE - 1] = L'\0';
    return true;
}

HFONT CreateStyleFont(UINT id, HDC dc) {
    LOGFONTW font;
    if (!LoadFontStyle(id, font)) return nullptr;
    int pixelsPerInch = dc ? GetDeviceCaps(dc, LOGPIXELSY) : 96;
    font.lfHeight = -MulDiv(font.lfHeight, pixelsPerInch, 72);
    return CreateFontIndirectW(&font);
}

bool LoadTextColour(UINT id, COLORREF& colour) {
    DWORD size = 0;
    const void* data = FindSized(id, RT_TEXT_COLOUR, sizeof(COLORREF), size);
    if (!data) return false;
    std::memcpy(&colour, data, sizeof(colour));
    return true;
}

// The platform's own lookup does not try a language's neutral sublanguage
// under every loader (the German text is stored as language 7, the user's is
// 1031): the language of the thread's locale (start-up sets it to the string
// tables' language; the loader under Wine chooses strings by it), then the
// thread's user-interface language, each then in its neutral form, and last
// the default lookup.
bool FindRichText(UINT id, const void*& data, size_t& size) {
    data = nullptr;
    size = 0;
    HMODULE module = GetResourceModule();
    LPCWSTR name = MAKEINTRESOURCEW(id);
    LPCWSTR type = MAKEINTRESOURCEW(RT_RICH_TEXT);
    LANGID interfaceLanguage = GetThreadUILanguage();
    LANGID localeLanguage = LANGIDFROMLCID(GetThreadLocale());
    const LANGID candidates[] = {localeLanguage, MAKELANGID(PRIMARYLANGID(localeLanguage), SUBLANG_NEUTRAL),
                                 interfaceLanguage, MAKELANGID(PRIMARYLANGID(interfaceLanguage), SUBLANG_NEUTRAL)};
    HRSRC resource = nullptr;
    for (LANGID language : candidates) {
        if ((resource = FindResourceExW(module, type, name, language)) != nullptr) break;
    }
    if (!resource) resource = FindResourceW(module, name, type);
    if (!resource) return false;
    HGLOBAL loaded = LoadResource(module, resource);
    data = loaded ? LockResource(loaded) : nullptr;
    size = data ? SizeofResource(module, resource) : 0;
    return data != nullptr && size > 0;
}
