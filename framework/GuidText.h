#pragma once
#include <windows.h>

#include <string>

// 36 upper-case hexadecimal characters with hyphens, without braces.
std::wstring FormatGuidText(const GUID& guid);

bool IsZeroGuid(const GUID& guid);

// Exactly "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" with hexadecimal digits
// (either case): the only form of a ProductCode that may become part of a path.
bool IsBracedGuidText(const std::wstring& text);
