#include "services/PackedVersion.h"

#include <cstdio>
#include <cwchar>
#include <cwctype>

#include "framework/Exceptions.h"

void SplitString(const std::wstring& text, const std::wstring& separator, std::vector<std::wstring>& pieces) {
    if (separator.empty()) {
        if (!text.empty()) pieces.push_back(text);
        return;
    }
    size_t start = 0;
    size_t found;
    while ((found = text.find(separator, start)) != std::wstring::npos) {
        pieces.push_back(text.substr(start, found - start));
        start = found + separator.size();
    }
    if (start < text.size()) pieces.push_back(text.substr(start));
}

PackedVersion ParseVersion(const std::wstring& text) {
    size_t first = 0;
    size_t last = text.size();
    while (first < last && std::iswspace(text[first])) ++first;
    while (last > first && std::iswspace(text[last - 1])) --last;
    std::wstring trimmed = text.substr(first, last - first);
    std::vector<std::wstring> parts;
    SplitString(trimmed, trimmed.find(L'.') != std::wstring::npos ? L"." : L",", parts);
    while (parts.size() < 4) parts.push_back(L"0");
    WORD numbers[4];
    for (int i = 0; i < 4; ++i) numbers[i] = static_cast<WORD>(std::wcstoul(parts[i].c_str(), nullptr, 10));
    return MakePackedVersion(numbers[0], numbers[1], numbers[2], numbers[3]);
}

std::wstring FormatVersion(PackedVersion version, int parts) {
    const unsigned short major = static_cast<unsigned short>(version >> 48);
    const unsigned short minor = static_cast<unsigned short>(version >> 32);
    const unsigned short build = static_cast<unsigned short>(version >> 16);
    const unsigned short revision = static_cast<unsigned short>(version);
    wchar_t text[32];
    switch (parts) {
        case 2: std::swprintf(text, 32, L"%hu.%hu", major, minor); break;
        case 3: std::swprintf(text, 32, L"%hu.%hu.%hu", major, minor, build); break;
        case 4: std::swprintf(text, 32, L"%hu.%hu.%hu.%hu", major, minor, build, revision); break;
        default: ThrowInvalidArgException();
    }
    return text;
}
