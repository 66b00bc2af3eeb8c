#pragma once
// How the companion tools describe a failure of the system: the code and the
// system's own text for it. Portable: wrenstall-tag also builds on Linux,
// where the code is errno's instead of an HRESULT.
#include <string>

#ifdef _WIN32
// "0x80070002 The system cannot find the file specified." -- the HRESULT in
// hex, then the text FormatMessage has for it (looked up in the system's,
// WinHTTP's and the installer service's tables), or a note that there is none.
std::string DescribeHResult(long hr);
#endif

// The failure the last system call left behind, described as above: on
// Windows the HRESULT of GetLastError, elsewhere errno's number and text.
// Call it right after the failing call.
std::string DescribeLastSystemError();
