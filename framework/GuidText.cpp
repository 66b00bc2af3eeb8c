#include "framework/GuidText.h"

#include <cstdio>
#include <cstring>

std::wstring FormatGuidText(const GUID& g) {
    wchar_t text[37];
    std::swprintf(text, 37, L"%08lX-%04hX-%04hX-%02X%02X-%02X%02X%02X%02X%02X%02X", static_cast<unsigned long>(g.Data1),
                  g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5],
                  g.Data4[6], g.Data4[7]);
    return text;
}

bool IsZeroGuid(const GUID& guid) {
    static const GUID zero = {};
    return std::memcmp(&guid, &zero, sizeof(GUID)) == 0;
}

bool IsBracedGuidText(const std::wstring& text) {
    if (text.size() != 38 || text.front() != L'{' || text.back() != L'}') return false;
    for (size_t i = 1; i < 37; ++i) {
        const wchar_t c = text[i];
        if (i == 9 || i == 14 || i == 19 || i == 24) {
            if (c != L'-') return false;
        } else if (!((c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'F') || (c >= L'a' && c <= L'f'))) {
            return false;
        }
    }
    return true;
}
