#pragma once
// The maker's registry keys under HKEY_LOCAL_MACHINE, where everything the
// wizard writes lives, and the product's key below it.
#include <string>

extern const wchar_t kMakerKeyPath[];  // "SOFTWARE\Tarnwell Utilities Inc"

// "SOFTWARE\Tarnwell Utilities Inc\<productName>".
std::wstring ProductKeyPath(const std::wstring& productName);
