#pragma once
// The process-wide default user agent: "TARNHTTP/1.1" until start-up installs
// the one built by BuildUserAgent. Set on the main thread during start-up and
// read-only afterwards; reads from any thread.
#include <windows.h>

#include <string>

namespace WinHTTP {

HRESULT SetDefaultUserAgent(const wchar_t* agent);
std::wstring GetDefaultUserAgent();

// "<name> Installer[/<version>] (os:windows; ver:<major>.<minor>; arc:AMD64|IA32)".
HRESULT BuildUserAgent(const wchar_t* applicationName, const wchar_t* version, std::wstring& agent);

}  // namespace WinHTTP
