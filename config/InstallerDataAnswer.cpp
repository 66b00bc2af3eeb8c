#include "config/InstallerDataAnswer.h"

#include <cwctype>

#include "config/InstallerDataSources.h"

namespace {
// The media type of a Content-Type value: before any ";", without blanks, in lower case.
std::wstring MediaType(const std::wstring& contentType) {
    std::wstring type;
    for (wchar_t c : contentType) {
        if (c == L';') break;
        if (c == L' ' || c == L'\t') continue;
        type += static_cast<wchar_t>(std::towlower(c));
    }
    return type;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
}  // namespace

bool IsMarkupAnswer(const std::wstring& contentType, const char* body, size_t length) {
    const std::wstring type = MediaType(contentType);
    if (type == L"text/html" || type == L"application/xhtml+xml") return true;
    size_t position = 0;
    if (length >= 3 && body[0] == '\xEF' && body[1] == '\xBB' && body[2] == '\xBF') position = 3;
    while (position < length && IsBlank(body[position])) ++position;
    return position < length && body[position] == '<';
}

HRESULT ParseInstallerDataAnswer(InstallerDataStore& store, const std::wstring& contentType, const char* body,
                                 size_t length) {
    if (IsMarkupAnswer(contentType, body, length)) return HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
    return ParseInstallerDataUtf8(store, body);
}
