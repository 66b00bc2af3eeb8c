#include "ui/ResourceStyles.h"

#include <cstring>

#include "framework/ResourceBytes.h"
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

bool FindRichText(UINT id, const void*& data, size_t& size) {
    DWORD bytes = 0;
    data = FindSized(id, RT_RICH_TEXT, 1, bytes);
    size = bytes;
    return data != nullptr;
}
