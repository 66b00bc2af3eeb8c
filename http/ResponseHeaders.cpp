#include "http/ResponseHeaders.h"

#include "framework/ScopedBstr.h"

namespace {
bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

// Reads digits at text[at...]; false when there are none or they overflow.
bool ReadDigits(const std::wstring& text, size_t& at, ULONGLONG& value) {
    const size_t start = at;
    value = 0;
    for (; at < text.size() && IsDigit(text[at]); ++at) {
        const ULONGLONG digit = static_cast<ULONGLONG>(text[at] - L'0');
        if (value > (~0ull - digit) / 10) return false;
        value = value * 10 + digit;
    }
    return at > start;
}

void SkipSpaces(const std::wstring& text, size_t& at) {
    while (at < text.size() && (text[at] == L' ' || text[at] == L'\t')) ++at;
}

// Reads "bytes" and the spaces after it (at least one).
bool ReadBytesUnit(const std::wstring& text, size_t& at) {
    SkipSpaces(text, at);
    if (text.size() - at < 5 || CompareStringOrdinal(text.c_str() + at, 5, L"bytes", 5, TRUE) != CSTR_EQUAL) {
        return false;
    }
    at += 5;
    const size_t unitEnd = at;
    SkipSpaces(text, at);
    return at != unitEnd;
}
}  // namespace

bool ParseDecimal(const std::wstring& text, ULONGLONG& value) {
    size_t at = 0;
    return ReadDigits(text, at, value) && at == text.size();
}

bool ParseUnsatisfiedRange(const std::wstring& text, ULONGLONG& complete) {
    size_t at = 0;
    if (!ReadBytesUnit(text, at) || at >= text.size() || text[at++] != L'*') return false;
    if (at >= text.size() || text[at++] != L'/' || !ReadDigits(text, at, complete)) return false;
    SkipSpaces(text, at);
    return at == text.size();
}

bool ParseContentRange(const std::wstring& text, ContentRange& range) {
    size_t at = 0;
    if (!ReadBytesUnit(text, at)) return false;
    ContentRange parsed;
    if (!ReadDigits(text, at, parsed.first) || at >= text.size() || text[at++] != L'-') return false;
    if (!ReadDigits(text, at, parsed.last) || at >= text.size() || text[at++] != L'/') return false;
    if (at < text.size() && text[at] == L'*') {
        ++at;
    } else if (!ReadDigits(text, at, parsed.complete)) {
        return false;
    }
    SkipSpaces(text, at);
    if (at != text.size() || parsed.last < parsed.first) return false;
    if (parsed.complete != kUnknownLength && parsed.complete <= parsed.last) return false;
    range = parsed;
    return true;
}

bool ReadResponseHeader(WinHTTP::IWinHttpRequest* request, const wchar_t* name, std::wstring& value) {
    ScopedBstr header(name);
    ScopedBstr text;
    if (FAILED(request->GetResponseHeader(header.Get(), text.Receive())) || !text.Get()) return false;
    value.assign(text.Get(), SysStringLen(text.Get()));
    return true;
}

ULONGLONG ReadContentLength(WinHTTP::IWinHttpRequest* request) {
    std::wstring text;
    ULONGLONG length = 0;
    if (!ReadResponseHeader(request, L"Content-Length", text) || !ParseDecimal(text, length)) return kUnknownLength;
    return length;
}

std::wstring ReadStrongEtag(WinHTTP::IWinHttpRequest* request) {
    std::wstring etag;
    // A strong validator is a quoted string; "W/" marks a weak one, which
    // If-Range must not carry.
    if (!ReadResponseHeader(request, L"ETag", etag) || etag.size() < 2 || etag.front() != L'"' ||
        etag.back() != L'"') {
        return {};
    }
    return etag;
}
