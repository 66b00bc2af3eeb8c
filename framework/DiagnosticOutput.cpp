#include "framework/DiagnosticOutput.h"

#include <windows.h>

#include <string>

#include "framework/RunLog.h"

namespace {
bool DiagnosticsToStandardError() {
    static const bool enabled = GetEnvironmentVariableW(L"WRENSTALL_DIAGNOSTICS_TO_STDERR", nullptr, 0) > 0;
    return enabled;
}
}  // namespace

void WriteDiagnostic(const wchar_t* text) {
    if (!text) return;
    OutputDebugStringW(text);
    AppendRunLog(text);
    if (!DiagnosticsToStandardError()) return;
    HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    if (error == nullptr || error == INVALID_HANDLE_VALUE) return;
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 1) return;
    std::string utf8(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), bytes, nullptr, nullptr);
    DWORD written = 0;
    WriteFile(error, utf8.data(), static_cast<DWORD>(bytes - 1), &written, nullptr);
}

void WriteDiagnosticA(const char* text) {
    if (!text) return;
    int length = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    if (length <= 1) return;
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text, -1, wide.data(), length);
    WriteDiagnostic(wide.c_str());
}
