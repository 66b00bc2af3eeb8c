#pragma once
// String-table texts and message formatting with %1, %2, ... inserts.
// Strings come from the resource module (the program itself unless changed)
// in the language the platform picks for the calling thread.
#include <windows.h>

#include <initializer_list>
#include <string>

void SetResourceModule(HMODULE module);
HMODULE GetResourceModule();

// False when the string does not exist (or is empty).
bool LoadResourceString(UINT id, std::wstring& text);

// Fills the inserts with the platform's message formatting; a formatting
// failure raises the out-of-memory error.
std::wstring FormatMessageText(const std::wstring& pattern, std::initializer_list<const wchar_t*> inserts);

// As above with a string-table pattern; a missing or empty string raises a
// COleException carrying E_INVALIDARG.
std::wstring FormatResourceMessage(UINT id, std::initializer_list<const wchar_t*> inserts);
