#pragma once
// Diagnostic lines: to the debugger and to the run log. They reach standard
// error as well only when WRENSTALL_DIAGNOSTICS_TO_STDERR is set (the tests
// read them there); the console of a person running the program stays quiet.
// Any thread; never fails.
#include <windows.h>

#include <string>

void WriteDiagnostic(const wchar_t* text);
// The same for a narrow (ASCII or UTF-8) text.
void WriteDiagnosticA(const char* text);
// A printf-style line (wide format); cut at 2,000 characters.
void WriteDiagnosticFormat(const wchar_t* format, ...);
// "0xXXXXXXXX (the system's message text)" for a failure code, for log lines.
std::wstring DescribeHresult(HRESULT hr);
