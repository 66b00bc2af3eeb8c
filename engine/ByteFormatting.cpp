#include "engine/ByteFormatting.h"

#include <cstdio>
#include <cwctype>

#include "framework/ResourceStrings.h"

namespace {
// The decimal separator of the language whose texts this thread shows (the
// thread locale picks the string table); "." when the platform has none.
std::wstring DecimalSeparator() {
    wchar_t separator[8] = {};
    if (GetLocaleInfoW(GetThreadLocale(), LOCALE_SDECIMAL, separator, ARRAYSIZE(separator)) <= 1) return L".";
    return separator;
}

// The C library writes numbers with a point whatever the language: the point
// between two digits becomes the language's separator ("72,0 KB" in German).
std::wstring FormatNumber(UINT patternId, double value) {
    std::wstring pattern;
    if (!LoadResourceString(patternId, pattern)) return {};
    wchar_t text[128];
    std::swprintf(text, 128, pattern.c_str(), value);
    std::wstring formatted = text;
    const std::wstring separator = DecimalSeparator();
    if (separator == L".") return formatted;
    for (size_t i = 1; i + 1 < formatted.size(); ++i) {
        if (formatted[i] == L'.' && std::iswdigit(formatted[i - 1]) && std::iswdigit(formatted[i + 1])) {
            formatted.replace(i, 1, separator);
            i += separator.size() - 1;
        }
    }
    return formatted;
}

std::wstring LoadText(UINT id) {
    std::wstring text;
    LoadResourceString(id, text);
    return text;
}
}  // namespace

std::wstring FormatByteSize(ULONGLONG bytes) {
    if (bytes >= 1048576) return FormatNumber(3009, static_cast<double>(bytes) / 1048576.0);
    if (bytes >= 1024) return FormatNumber(3008, static_cast<double>(bytes) / 1024.0);
    if (bytes == 1) return LoadText(3006);
    return FormatNumber(3007, static_cast<double>(bytes));
}

std::wstring FormatByteRate(ULONGLONG bytes, DWORD elapsedMs) {
    if (elapsedMs == 0) return LoadText(3014);
    // Rounded to single precision before the comparisons.
    const float rate = static_cast<float>(static_cast<double>(bytes) / (elapsedMs / 1000.0));
    if (rate < 1024.0f) {
        if (rate == 1.0f) return LoadText(3010);
        return FormatNumber(3011, rate);
    }
    if (rate < 1048576.0f) return FormatNumber(3012, rate / 1024.0);
    return FormatNumber(3013, rate / 1048576.0);
}
