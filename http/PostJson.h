#pragma once
#include <windows.h>
#include <objidl.h>

#include <string>

namespace WinHTTP {

// The caller's bounds on a 2xx answer and what PostJson learned about it.
struct PostJsonAnswer {
    // A longer body fails with HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE).
    ULONGLONG maxBytes = ~0ULL;
    // The answer's Content-Type header; empty when it has none.
    std::wstring contentType;
};

// POSTs body (length bytes of JSON) to url with the program's own request
// object (the user agent and proxy decision of every request) and a
// 10-second receive timeout. A 2xx answer's body replaces the
// contents of output, which is left positioned at its start; a failed read or
// write while copying it is returned. Any other status returns S_OK with
// output untouched.
HRESULT PostJson(const wchar_t* url, const void* body, DWORD length, IStream* output,
                 PostJsonAnswer* answer = nullptr);

}  // namespace WinHTTP
