#include "framework/DiagnosticOutput.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
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

void WriteDiagnosticFormat(const wchar_t* format, ...) {
    wchar_t line[2000];
    va_list arguments;
    va_start(arguments, format);
    int length = std::vswprintf(line, ARRAYSIZE(line), format, arguments);
    va_end(arguments);
    if (length < 0) line[ARRAYSIZE(line) - 1] = L'\0';  // cut: what fitted is still worth logging
    WriteDiagnostic(line);
}

std::wstring DescribeHresult(HRESULT hr) {
    wchar_t code[16];
    std::swprintf(code, ARRAYSIZE(code), L"0x%08lX", static_cast<unsigned long>(hr));
    std::wstring text = code;
    LPWSTR message = nullptr;
    DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, static_cast<DWORD>(hr), 0, reinterpret_cast<LPWSTR>(&message), 0, nullptr);
    if (length && message) {
        std::wstring system(message, length);
        while (!system.empty() && (system.back() == L'\n' || system.back() == L'\r' || system.back() == L' ')) system.pop_back();
        if (!system.empty()) text += L" (" + system + L")";
    }
    if (message) LocalFree(message);
    return text;
}
