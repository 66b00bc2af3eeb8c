#pragma once
#include <windows.h>

#include <string>

// The full path of module (the program itself when null), up to 32,767 characters.
HRESULT GetModulePath(HMODULE module, std::wstring& path);
