#pragma once
// The styling resources of the pages, keyed by control id: fonts (type 30),
// text colours (type 31) and rich texts (type 32, the platform picks the
// language). Each lookup checks the resource's size. User-interface thread.
#include <windows.h>

#include <cstddef>

// The LOGFONTW of a type-30 resource with its height still in points (the
// first 92 bytes; the face name is cut to 31 characters). False when the
// resource is missing or shorter than 92 bytes.
bool LoadFontStyle(UINT id, LOGFONTW& font);

// A font for dc from a type-30 resource: the height in points becomes the
// negative pixel height for the context's vertical resolution. Null when the
// resource is missing or the font cannot be made; the caller owns the font.
HFONT CreateStyleFont(UINT id, HDC dc);

// The colour of a type-31 resource (its first 4 bytes). False when missing or shorter.
bool LoadTextColour(UINT id, COLORREF& colour);

// The bytes of a type-32 resource, or false when there is none.
bool FindRichText(UINT id, const void*& data, size_t& size);
