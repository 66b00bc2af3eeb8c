#pragma once
#include <windows.h>

#include <string>

// 36 upper-case hexadecimal characters with hyphens, without braces.
std::wstring FormatGuidText(const GUID& guid);

bool IsZeroGuid(const GUID& guid);
