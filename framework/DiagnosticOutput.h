#pragma once
// Diagnostic lines: to the debugger and, when the process has one, to its
// standard error, so that a run under Wine shows them in the terminal.

void WriteDiagnostic(const wchar_t* text);
