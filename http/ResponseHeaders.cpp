#include "http/ResponseHeaders.h"

#include <cerrno>
#include <cwchar>

#include "framework/ScopedBstr.h"

// Content-Length as an unsigned decimal, or unknown when missing or malformed.
ULONGLONG ReadContentLength(WinHTTP::IWinHttpRequest* request) {
    ScopedBstr name(L"Content-Length");
    ScopedBstr value;
    if (FAILED(request->GetResponseHeader(name.Get(), value.Receive())) || !value.Get() || !*value.Get()) {
        return kUnknownLength;
    }
    const wchar_t* text = value.Get();
    if (*text < L'0' || *text > L'9') return kUnknownLength;
    wchar_t* end = nullptr;
    errno = 0;
    ULONGLONG length = std::wcstoull(text, &end, 10);
    if (errno != 0 || *end != L'\0') return kUnknownLength;
    return length;
}
