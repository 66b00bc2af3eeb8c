#include "ui/labels/RtfCharFormat.h"

#include <cwchar>

CHARFORMATW MakeRtfLabelCharFormat(const LOGFONTW* font, int pixelsPerInchY) {
    CHARFORMATW format = {};
    format.cbSize = sizeof(CHARFORMATW);
    format.dwMask = kRtfLabelCharFormatMask;
    format.crTextColor = RGB(0, 0, 0);
    format.yOffset = 0;
    if (font == nullptr) {
        format.yHeight = 160;
        format.bCharSet = DEFAULT_CHARSET;
        format.bPitchAndFamily = 0;
        wcsncpy(format.szFaceName, L"Tahoma", LF_FACESIZE - 1);
        return format;
    }
    if (pixelsPerInchY <= 0) pixelsPerInchY = 96;
    if (font->lfWeight > FW_BOLD) format.dwEffects |= CFE_BOLD;
    if (font->lfItalic) format.dwEffects |= CFE_ITALIC;
    if (font->lfUnderline) format.dwEffects |= CFE_UNDERLINE;
    if (font->lfStrikeOut) format.dwEffects |= CFE_STRIKEOUT;
    LONG pixels = font->lfHeight < 0 ? -font->lfHeight : font->lfHeight;
    format.yHeight = MulDiv(pixels, 1440, pixelsPerInchY);
    format.bCharSet = font->lfCharSet;
    format.bPitchAndFamily = font->lfPitchAndFamily;
    // The face field of LOGFONTW may lack its terminator; copy at most 31 units.
    wcsncpy(format.szFaceName, font->lfFaceName, LF_FACESIZE - 1);
    format.szFaceName[LF_FACESIZE - 1] = L'\0';
    return format;
}

CHARFORMATW MakeRtfLabelCharFormatForWindow(HWND hwnd, HFONT font) {
    LOGFONTW description = {};
    if (font == nullptr || GetObjectW(font, sizeof(description), &description) != sizeof(description))
        return MakeRtfLabelCharFormat(nullptr, 96);
    int pixelsPerInchY = 96;
    if (HDC dc = GetDC(hwnd)) {
        pixelsPerInchY = GetDeviceCaps(dc, LOGPIXELSY);
        ReleaseDC(hwnd, dc);
    }
    return MakeRtfLabelCharFormat(&description, pixelsPerInchY);
}
