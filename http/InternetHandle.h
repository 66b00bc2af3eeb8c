#pragma once
#include <windows.h>
#include <winhttp.h>

#include "framework/ScopedHandles.h"

namespace WinHTTP {
struct InternetHandleTraits {
    static HINTERNET Invalid() { return nullptr; }
    static bool IsValid(HINTERNET h) { return h != nullptr; }
    static void Close(HINTERNET h) { WinHttpCloseHandle(h); }
};
// A WinHTTP session, connection or request handle.
using ScopedInternetHandle = ScopedResource<HINTERNET, InternetHandleTraits>;
}  // namespace WinHTTP
