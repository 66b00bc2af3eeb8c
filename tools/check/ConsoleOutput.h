#pragma once
// Writes text to the tool's standard output or error as UTF-8 bytes, so that
// pipes and files receive exactly what was printed.
#include <string>

void PrintOut(const std::wstring& text);
void PrintError(const std::wstring& text);
// "result: 0x%08X" on standard output.
void PrintResult(long hr);
