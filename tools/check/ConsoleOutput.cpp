#include "ConsoleOutput.h"

#include <windows.h>

#include <cstdio>

#include "tools/common/FailureText.h"

namespace {
void Write(DWORD which, const std::wstring& text) {
    HANDLE handle = GetStdHandle(which);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE || text.empty()) return;
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), bytes, nullptr, nullptr);
    DWORD written = 0;
    WriteFile(handle, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
}
}  // namespace

void PrintOut(const std::wstring& text) { Write(STD_OUTPUT_HANDLE, text); }

void PrintError(const std::wstring& text) { Write(STD_ERROR_HANDLE, text); }

void PrintResult(long hr) {
    wchar_t line[32];
    std::swprintf(line, 32, L"result: 0x%08lX\n", static_cast<unsigned long>(hr));
    PrintOut(line);
}

void PrintFailure(const std::wstring& doing, long hr) {
    const std::string description = DescribeHResult(hr);
    int length = MultiByteToWideChar(CP_UTF8, 0, description.data(), static_cast<int>(description.size()), nullptr, 0);
    std::wstring text(static_cast<size_t>(length > 0 ? length : 0), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, description.data(), static_cast<int>(description.size()), text.data(), length);
    PrintError(L"wrenstall-check: " + doing + L": " + text + L"\n");
}

void PrintProblem(const std::wstring& message) { PrintError(L"wrenstall-check: " + message + L"\n"); }
