#pragma once
#include <windows.h>
#include <objidl.h>

namespace WinHTTP {

// POSTs body (length bytes of JSON) to url with the platform's WinHttpRequest
// component and a 10-second receive timeout. A 2xx answer's body replaces the
// contents of output, which is left positioned at its start; any other status
// returns S_OK with output untouched.
HRESULT PostJson(const wchar_t* url, const void* body, DWORD length, IStream* output);

}  // namespace WinHTTP
