#include "http/UrlParts.h"

#include <cwctype>

namespace WinHTTP {
namespace {
struct SchemeEntry {
    const wchar_t* name;
    INTERNET_PORT defaultPort;
};
const SchemeEntry kSchemes[] = {
    {L"ftp", 21}, {L"gopher", 70}, {L"http", 80}, {L"https", 443},
    {L"file", 0}, {L"news", 0},    {L"mailto", 0}, {L"socks", 1080},
};
const size_t kMaxUnknownSchemeChars = 32;

bool EqualsIgnoringCase(const std::wstring& a, const wchar_t* b) {
    return CompareStringOrdinal(a.c_str(), -1, b, -1, TRUE) == CSTR_EQUAL;
}

bool IsSchemeCharacter(wchar_t c) {
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') || c == L'+' ||
           c == L'-' || c == L'.';
}
}  // namespace

bool SplitUrl(const std::wstring& url, UrlParts& parts) {
    parts = UrlParts{};
    size_t colon = url.find(L':');
    if (colon == std::wstring::npos || colon == 0) return false;
    for (size_t i = 0; i < colon; ++i) {
        if (!IsSchemeCharacter(url[i])) return false;
    }
    parts.scheme = url.substr(0, colon);
    for (int i = 0; i < static_cast<int>(std::size(kSchemes)); ++i) {
        if (EqualsIgnoringCase(parts.scheme, kSchemes[i].name)) {
            parts.schemeIndex = i;
            parts.port = kSchemes[i].defaultPort;
        }
    }
    if (parts.schemeIndex < 0 && parts.scheme.size() > kMaxUnknownSchemeChars) return false;
    if (url.compare(colon + 1, 2, L"//") != 0) return false;

    size_t authorityStart = colon + 3;
    size_t authorityEnd = url.find_first_of(L"/?#", authorityStart);
    if (authorityEnd == std::wstring::npos) authorityEnd = url.size();
    std::wstring authority = url.substr(authorityStart, authorityEnd - authorityStart);

    size_t at = authority.rfind(L'@');
    if (at != std::wstring::npos) {
        std::wstring credentials = authority.substr(0, at);
        authority.erase(0, at + 1);
        size_t separator = credentials.find(L':');
        parts.userName = credentials.substr(0, separator);
        if (separator != std::wstring::npos) parts.password = credentials.substr(separator + 1);
    }
    size_t portColon = authority.rfind(L':');
    // A colon inside "[v6 address]" is no port separator.
    if (portColon != std::wstring::npos && authority.find(L']', portColon) == std::wstring::npos) {
        std::wstring portText = authority.substr(portColon + 1);
        authority.erase(portColon);
        if (!portText.empty()) {
            unsigned long port = 0;
            for (wchar_t c : portText) {
                if (c < L'0' || c > L'9') return false;
                port = port * 10 + static_cast<unsigned long>(c - L'0');
                if (port > 65535) return false;
            }
            parts.port = static_cast<INTERNET_PORT>(port);
        }
    }
    if (authority.empty()) return false;
    parts.host = authority;

    size_t extraStart = url.find_first_of(L"?#", authorityEnd);
    if (extraStart == std::wstring::npos) extraStart = url.size();
    parts.path = url.substr(authorityEnd, extraStart - authorityEnd);
    parts.extraInfo = url.substr(extraStart);
    return true;
}

}  // namespace WinHTTP
