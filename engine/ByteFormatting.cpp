#include "engine/ByteFormatting.h"

#include <cstdio>

#include "framework/ResourceStrings.h"

namespace {
std::wstring FormatNumber(UINT patternId, double value) {
    std::wstring pattern;
    if (!LoadResourceString(patternId, pattern)) return {};
    wchar_t text[128];
    std::swprintf(text, 128, pattern.c_str(), value);
    return text;
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
