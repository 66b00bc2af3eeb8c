#pragma once
// Writes text to the tool's standard output or error as UTF-8 bytes, so that
// pipes and files receive exactly what was printed.
#include <string>

void PrintOut(const std::wstring& text);
void PrintError(const std::wstring& text);
// "result: 0x%08X" on standard output.
void PrintResult(long hr);
// "wrenstall-check: DOING: 0x%08X TEXT" on standard error: what was being
// done (naming the file or URL) and the system's code and text for hr.
void PrintFailure(const std::wstring& doing, long hr);
// "wrenstall-check: MESSAGE" on standard error, for failures without a code.
void PrintProblem(const std::wstring& message);
