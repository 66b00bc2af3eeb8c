#include "services/DesktopUserLaunch.h"

#include <shellapi.h>

#include <vector>

#include "framework/DiagnosticOutput.h"
#include "framework/Win32Error.h"
#include "services/ProcessLaunching.h"
#include "services/SystemProbes.h"

namespace {
void SetRoute(LaunchRoute* route, LaunchRoute value) {
    if (route) *route = value;
}

void ReportFallback(const wchar_t* step, HRESULT hr, const std::wstring& target) {
    WriteDiagnosticFormat(L"Launch: %ls failed %ls for %ls\n", step, DescribeHresult(hr).c_str(), target.c_str());
}

HRESULT StartAsInstaller(const std::wstring& commandLine, int showCommand) {
    std::wstring program, arguments;
    SplitCommandLine(commandLine, program, arguments);
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(L'\0');
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(showCommand);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(program.empty() ? nullptr : program.c_str(), line.data(), nullptr, nullptr, FALSE,
                        CREATE_BREAKAWAY_FROM_JOB, nullptr, nullptr, &startup, &process)) {
        return FailureFromLastError();
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return S_OK;
}
}  // namespace

void SplitCommandLine(const std::wstring& commandLine, std::wstring& program, std::wstring& arguments) {
    size_t end;
    if (!commandLine.empty() && commandLine[0] == L'"') {
        size_t closing = commandLine.find(L'"', 1);
        program = commandLine.substr(1, closing == std::wstring::npos ? std::wstring::npos : closing - 1);
        end = closing == std::wstring::npos ? commandLine.size() : closing + 1;
    } else {
        end = commandLine.find_first_of(L" \t");
        if (end == std::wstring::npos) end = commandLine.size();
        program = commandLine.substr(0, end);
    }
    size_t rest = commandLine.find_first_not_of(L" \t", end);
    arguments = rest == std::wstring::npos ? std::wstring() : commandLine.substr(rest);
}

HRESULT StartAsDesktopUser(const std::wstring& commandLine, int showCommand, LaunchRoute* route) {
    SetRoute(route, LaunchRoute::None);
    std::wstring program, arguments;
    SplitCommandLine(commandLine, program, arguments);
    if (program.empty()) return E_INVALIDARG;
    if (IsOsVersionAtLeast(5, 3)) {
        size_t slash = program.rfind(L'\\');
        std::wstring folder = slash == std::wstring::npos ? std::wstring() : program.substr(0, slash);
        HRESULT hr = ShellExecuteAsInvoker(program, arguments, folder);
        if (SUCCEEDED(hr)) {
            SetRoute(route, LaunchRoute::DesktopShell);
            return S_OK;
        }
        ReportFallback(L"the desktop shell's start", hr, program);
        hr = LaunchWithShellToken(commandLine);
        if (SUCCEEDED(hr)) {
            SetRoute(route, LaunchRoute::ShellToken);
            return S_OK;
        }
        ReportFallback(L"the start with the shell's token", hr, program);
    }
    HRESULT hr = StartAsInstaller(commandLine, showCommand);
    if (SUCCEEDED(hr)) SetRoute(route, LaunchRoute::Installer);
    return hr;
}

HRESULT OpenAsDesktopUser(const std::wstring& target, int showCommand, LaunchRoute* route) {
    SetRoute(route, LaunchRoute::None);
    if (target.empty()) return E_INVALIDARG;
    if (IsOsVersionAtLeast(5, 3)) {
        HRESULT hr = ShellExecuteAsInvoker(target, L"", L"");
        if (SUCCEEDED(hr)) {
            SetRoute(route, LaunchRoute::DesktopShell);
            return S_OK;
        }
        ReportFallback(L"the desktop shell's open", hr, target);
    }
    auto result = reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, L"open", target.c_str(), nullptr, nullptr, showCommand));
    if (result > 32) {
        SetRoute(route, LaunchRoute::Installer);
        return S_OK;
    }
    return result == 0 ? E_OUTOFMEMORY : HResultFromWin32(static_cast<LONG>(result));
}
