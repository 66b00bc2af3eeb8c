#pragma once
// Preparing an RTF label's text for the text services: the code page that the
// RTF header names, and the conversion of the UTF-16 text to that code page.
#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

// True when the text begins with "{\rtf1".
bool IsRtfText(std::wstring_view text);

// The header's character-set word decides: "\mac" the Macintosh code page
// (CP_MACCP), "\pc" or "\pca" the OEM code page (CP_OEMCP), otherwise the
// ANSI code page (CP_ACP). Only the control words of the header count: those
// at the outermost level before the first group or text.
UINT ChooseRtfCodePage(std::wstring_view text);

// Deepest group nesting the text services are given. The rich edit library
// under Wine 8 faults on documents nested more than 32 groups deep; real
// documents stay far below this.
constexpr std::size_t kMaxRtfGroupDepth = 24;

// The deepest nesting of groups ("{" ... "}"), not counting escaped braces.
std::size_t MeasureRtfGroupDepth(std::wstring_view text);

// The text in codePage without best-fit mapping; nothing when a character has
// no exact equivalent there or the conversion fails.
std::optional<std::string> ConvertRtfText(std::wstring_view text, UINT codePage);
