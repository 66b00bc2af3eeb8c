#include "ui/labels/RtfText.h"

#include <climits>

namespace {

constexpr std::wstring_view kRtfStart = L"{\\rtf1";

bool IsAsciiLetter(wchar_t unit) { return (unit >= L'a' && unit <= L'z') || (unit >= L'A' && unit <= L'Z'); }

}  // namespace

bool IsRtfText(std::wstring_view text) { return text.substr(0, kRtfStart.size()) == kRtfStart; }

UINT ChooseRtfCodePage(std::wstring_view text) {
    if (!IsRtfText(text)) return CP_ACP;
    std::size_t i = 1;  // after the opening brace
    while (i < text.size()) {
        wchar_t unit = text[i];
        if (unit == L'\\') {
            std::size_t start = ++i;
            while (i < text.size() && IsAsciiLetter(text[i])) ++i;
            std::wstring_view word = text.substr(start, i - start);
            if (word.empty()) return CP_ACP;  // a control symbol: the header is over
            if (word == L"mac") return CP_MACCP;
            if (word == L"pc" || word == L"pca") return CP_OEMCP;
            // A numeric parameter and its delimiting space belong to the word.
            if (i < text.size() && text[i] == L'-') ++i;
            while (i < text.size() && text[i] >= L'0' && text[i] <= L'9') ++i;
            if (i < text.size() && text[i] == L' ') ++i;
        } else if (unit == L'\r' || unit == L'\n') {
            ++i;
        } else {
            return CP_ACP;  // a group or text: the header is over
        }
    }
    return CP_ACP;
}

std::size_t MeasureRtfGroupDepth(std::wstring_view text) {
    std::size_t depth = 0;
    std::size_t deepest = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        switch (text[i]) {
        case L'\\':
            ++i;  // an escaped brace or backslash is text
            break;
        case L'{':
            if (++depth > deepest) deepest = depth;
            break;
        case L'}':
            if (depth > 0) --depth;
            break;
        default:
            break;
        }
    }
    return deepest;
}

std::optional<std::string> ConvertRtfText(std::wstring_view text, UINT codePage) {
    if (text.empty()) return std::string();
    if (text.size() > INT_MAX / 4) return std::nullopt;
    int length = static_cast<int>(text.size());
    // UTF-8 has no default character; invalid UTF-16 is the failure there.
    CPINFOEXW info = {};
    bool utf8 = GetCPInfoExW(codePage, 0, &info) && info.CodePage == CP_UTF8;
    DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    BOOL* usedDefaultOut = utf8 ? nullptr : &usedDefault;
    int size = WideCharToMultiByte(codePage, flags, text.data(), length, nullptr, 0, nullptr, usedDefaultOut);
    if (size <= 0 || usedDefault) return std::nullopt;
    std::string bytes(static_cast<std::size_t>(size), '\0');
    if (WideCharToMultiByte(codePage, flags, text.data(), length, bytes.data(), size, nullptr, usedDefaultOut) != size ||
        usedDefault)
        return std::nullopt;
    return bytes;
}
