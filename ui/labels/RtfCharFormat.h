#pragma once
// The default character format of an RTF label, built from its window font.
#include <windows.h>
#include <richedit.h>

// Mask of the fields the format sets: bold, italic, underline, strike-out,
// character set, face name, colour and size (0xE800000F). Without the size
// bit the engine keeps its own default size instead of the label's font size.
constexpr DWORD kRtfLabelCharFormatMask =
    CFM_BOLD | CFM_ITALIC | CFM_UNDERLINE | CFM_STRIKEOUT | CFM_CHARSET | CFM_FACE | CFM_COLOR | CFM_SIZE;

// From a font description: bold only above weight 700, italic, underline and
// strike-out as in the font, height |lfHeight| in twips at pixelsPerInchY,
// black, the font's character set, pitch and family and face. Without a font
// (null): 8 points, default character set, "Tahoma".
CHARFORMATW MakeRtfLabelCharFormat(const LOGFONTW* font, int pixelsPerInchY);

// The format for a window font; the vertical resolution comes from the
// window's device context (96 when there is none). A null or unreadable font
// gives the format without a font.
CHARFORMATW MakeRtfLabelCharFormatForWindow(HWND hwnd, HFONT font);
