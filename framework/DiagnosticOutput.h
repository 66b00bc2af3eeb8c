#pragma once
// Diagnostic lines: to the debugger and to the run log. They reach standard
// error as well only when WRENSTALL_DIAGNOSTICS_TO_STDERR is set (the tests
// read them there); the console of a person running the program stays quiet.
// Any thread; never fails.

void WriteDiagnostic(const wchar_t* text);
// The same for a narrow (ASCII or UTF-8) text.
void WriteDiagnosticA(const char* text);
