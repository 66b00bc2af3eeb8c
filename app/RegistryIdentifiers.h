#pragma once
// The identifiers and build number that start-up keeps in the registry.
#include <windows.h>

// True only for a REG_BINARY value of exactly 16 bytes.
bool ReadGuidValue(HKEY key, const wchar_t* name, GUID& value);
// REG_BINARY, 16 bytes; the Win32 result.
LONG WriteGuidValue(HKEY key, const wchar_t* name, const GUID& value);
// The C library's decimal conversion: leading digits, 0 when there are none.
DWORD ParseBuildNumber(const wchar_t* text);
