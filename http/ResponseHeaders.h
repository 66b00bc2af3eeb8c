#pragma once
// Reading the response headers that a resumed download depends on. A header
// that is missing or malformed reads as absent: these values come from the
// network and are never trusted further than their syntax.
#include <windows.h>

#include <string>

#include "http/DownloadToStream.h"
#include "http/WinHttpRequestInterface.h"

// "bytes first-last/complete"; complete is kUnknownLength for "*".
struct ContentRange {
    ULONGLONG first = 0;
    ULONGLONG last = 0;
    ULONGLONG complete = kUnknownLength;
};

// An unsigned decimal number with nothing before or after it; false on any
// other character, an empty text or an overflow of 64 bits.
bool ParseDecimal(const std::wstring& text, ULONGLONG& value);
// A Content-Range value for a byte range; false for anything else
// (unsatisfied ranges "*/n", other units, last before first, complete not
// beyond last).
bool ParseContentRange(const std::wstring& text, ContentRange& range);
// The "bytes */complete" value of a 416 answer.
bool ParseUnsatisfiedRange(const std::wstring& text, ULONGLONG& complete);

// The header's value; false when the response has no such header.
bool ReadResponseHeader(WinHTTP::IWinHttpRequest* request, const wchar_t* name, std::wstring& value);
// Content-Length, or kUnknownLength when it is missing or malformed.
ULONGLONG ReadContentLength(WinHTTP::IWinHttpRequest* request);
// The ETag when it is a strong one (not "W/..."), else empty.
std::wstring ReadStrongEtag(WinHTTP::IWinHttpRequest* request);
