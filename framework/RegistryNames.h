#pragma once
#include <windows.h>

#include <string>
#include <vector>

// The names of key's subkeys in index order (names up to maxChars characters).
std::vector<std::wstring> ReadSubkeyNames(HKEY key, DWORD maxChars = 260);
