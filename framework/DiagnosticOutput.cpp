#include "framework/DiagnosticOutput.h"

#include <windows.h>

#include <string>

void WriteDiagnostic(const wchar_t* text) {
    if (!text) return;
    OutputDebugStringW(text);
    HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    if (error == nullptr || error == INVALID_HANDLE_VALUE) return;
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 1) return;
    std::string utf8(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), bytes, nullptr, nullptr);
    DWORD written = 0;
    WriteFile(error, utf8.data(), static_cast<DWORD>(bytes - 1), &written, nullptr);
}
