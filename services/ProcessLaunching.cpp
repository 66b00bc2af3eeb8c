#include "services/ProcessLaunching.h"

#include <exdisp.h>
#include <psapi.h>
#include <shellapi.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shlobj.h>

#include <vector>

#include "framework/ComPtr.h"
#include "framework/ScopedBstr.h"
#include "framework/ScopedHandles.h"
#include "framework/Win32Error.h"
#include "services/SystemProbes.h"

namespace {
const HRESULT kEmptyApplicationName = static_cast<HRESULT>(0xA0010002);
const DWORD kDuplicatedTokenRights =
    TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY | TOKEN_ADJUST_DEFAULT | TOKEN_ADJUST_SESSIONID;
const DWORD kInputIdleWaitMs = 60000;

HRESULT EnableIncreaseQuotaPrivilege() {
    ScopedHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, token.Receive())) return FailureFromLastError();
    TOKEN_PRIVILEGES privileges = {1, {{{0, 0}, SE_PRIVILEGE_ENABLED}}};
    if (!LookupPrivilegeValueW(nullptr, SE_INCREASE_QUOTA_NAME, &privileges.Privileges[0].Luid) ||
        !AdjustTokenPrivileges(token.Get(), FALSE, &privileges, 0, nullptr, nullptr)) {
        return FailureFromLastError();
    }
    return S_OK;
}

// A program named without any folder resolves to the system folder, with
// ".exe" when it has no extension: the platform's own search would also look
// in the current folder and in the folder of this program, which may be the
// user's download folder.
std::wstring ResolveBareProgramName(const std::wstring& name) {
    if (name.find_first_of(L"\\/:") != std::wstring::npos) return name;
    wchar_t system[MAX_PATH];
    UINT length = GetSystemDirectoryW(system, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return name;
    std::wstring path = std::wstring(system, length) + L"\\" + name;
    if (name.find(L'.') == std::wstring::npos) path += L".exe";
    return path;
}

// A command line prepared for the process-creation calls: the application
// name when the line names one, and a writable copy of the line.
struct ProcessCommand {
    explicit ProcessCommand(const std::wstring& commandLine) : line(commandLine.begin(), commandLine.end()) {
        line.push_back(L'\0');
        named = SUCCEEDED(GetApplicationName(commandLine, name));
        if (named) name = ResolveBareProgramName(name);
        startup.cb = sizeof(startup);
    }
    const wchar_t* ApplicationName() const { return named ? name.c_str() : nullptr; }

    std::wstring name;
    bool named = false;
    std::vector<wchar_t> line;
    STARTUPINFOW startup = {};
    PROCESS_INFORMATION process = {};
};

BOOL CALLBACK ShowThreadWindow(HWND window, LPARAM) {
    if (IsWindowVisible(window)) ShowWindow(window, SW_SHOWNORMAL);
    return TRUE;
}
}  // namespace

HRESULT GetApplicationName(const std::wstring& commandLine, std::wstring& name) {
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(commandLine.c_str(), &count);
    if (!arguments) return FailureFromLastError();
    ScopedLocalMemory owner(reinterpret_cast<HLOCAL>(arguments));
    // CommandLineToArgvW answers the program's own path for an empty line.
    if (commandLine.find_first_not_of(L" \t") == std::wstring::npos || count < 1 || !arguments[0][0]) {
        return kEmptyApplicationName;
    }
    name = arguments[0];
    return S_OK;
}

ScopedHandle StartProcess(const std::wstring& commandLine) {
    ProcessCommand command(commandLine);
    BOOL started = CreateProcessW(command.ApplicationName(), command.line.data(), nullptr, nullptr, FALSE,
                                  CREATE_BREAKAWAY_FROM_JOB, nullptr, nullptr, &command.startup, &command.process);
    DWORD error = GetLastError();
    if (!started) return ScopedHandle();
    CloseHandle(command.process.hThread);
    SetLastError(error);
    return ScopedHandle(command.process.hProcess);
}

HRESULT LaunchWithShellToken(const std::wstring& commandLine) {
    HRESULT hr = EnableIncreaseQuotaPrivilege();
    if (FAILED(hr)) return hr;
    HWND shell = GetShellWindow();
    DWORD shellProcessId = 0;
    if (!shell || !GetWindowThreadProcessId(shell, &shellProcessId) || !shellProcessId) return E_FAIL;
    ScopedHandle shellProcess(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, shellProcessId));
    if (!shellProcess) return FailureFromLastError();
    ScopedHandle shellToken;
    if (!OpenProcessToken(shellProcess.Get(), TOKEN_DUPLICATE, shellToken.Receive())) return FailureFromLastError();
    ScopedHandle primaryToken;
    if (!DuplicateTokenEx(shellToken.Get(), kDuplicatedTokenRights, nullptr, SecurityImpersonation, TokenPrimary,
                          primaryToken.Receive())) {
        return FailureFromLastError();
    }
    using CreateProcessWithTokenFunction = BOOL(WINAPI*)(HANDLE, DWORD, LPCWSTR, LPWSTR, DWORD, LPVOID, LPCWSTR,
                                                         LPSTARTUPINFOW, LPPROCESS_INFORMATION);
    auto createProcessWithToken = reinterpret_cast<CreateProcessWithTokenFunction>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"Advapi32"), "CreateProcessWithTokenW")));
    if (!createProcessWithToken) return E_FAIL;
    ProcessCommand command(commandLine);
    if (!createProcessWithToken(primaryToken.Get(), 0, command.ApplicationName(), command.line.data(), 0, nullptr,
                                nullptr, &command.startup, &command.process)) {
        return FailureFromLastError();
    }
    CloseHandle(command.process.hThread);
    CloseHandle(command.process.hProcess);
    return S_OK;
}

HRESULT ShellExecuteAsInvoker(const std::wstring& file, const std::wstring& arguments, const std::wstring& directory) {
    ComPtr<IShellWindows> shellWindows;
    HRESULT hr = CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_ALL, IID_IShellWindows, shellWindows.ReceiveVoid());
    if (FAILED(hr)) return hr;
    VARIANT location;
    VariantInit(&location);
    V_VT(&location) = VT_I4;
    V_I4(&location) = CSIDL_DESKTOP;
    VARIANT empty;
    VariantInit(&empty);
    long desktopWindow = 0;
    ComPtr<IDispatch> desktop;
    hr = shellWindows->FindWindowSW(&location, &empty, SWC_DESKTOP, &desktopWindow, SWFO_NEEDDISPATCH, desktop.Receive());
    if (FAILED(hr)) return hr;
    if (hr == S_FALSE || !desktop) return E_FAIL;
    ComPtr<IServiceProvider> provider;
    if (FAILED(hr = desktop->QueryInterface(IID_IServiceProvider, provider.ReceiveVoid()))) return hr;
    ComPtr<IShellBrowser> browser;
    if (FAILED(hr = provider->QueryService(SID_STopLevelBrowser, IID_IShellBrowser, browser.ReceiveVoid()))) return hr;
    ComPtr<IShellView> view;
    if (FAILED(hr = browser->QueryActiveShellView(view.Receive()))) return hr;
    ComPtr<IDispatch> background;
    if (FAILED(hr = view->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, background.ReceiveVoid()))) return hr;
    ComPtr<IShellFolderViewDual> folderView;
    if (FAILED(hr = background->QueryInterface(IID_IShellFolderViewDual, folderView.ReceiveVoid()))) return hr;
    ComPtr<IDispatch> application;
    if (FAILED(hr = folderView->get_Application(application.Receive()))) return hr;
    ComPtr<IShellDispatch2> shell;
    if (FAILED(hr = application->QueryInterface(IID_IShellDispatch2, shell.ReceiveVoid()))) return hr;

    ScopedBstr fileText(file.c_str());
    ScopedVariant argumentsVariant, directoryVariant, operation, show;
    V_VT(&argumentsVariant.Get()) = VT_BSTR;
    V_BSTR(&argumentsVariant.Get()) = SysAllocString(arguments.c_str());
    V_VT(&directoryVariant.Get()) = VT_BSTR;
    V_BSTR(&directoryVariant.Get()) = SysAllocString(directory.c_str());
    V_VT(&operation.Get()) = VT_BSTR;
    V_BSTR(&operation.Get()) = SysAllocString(L"");
    V_VT(&show.Get()) = VT_I4;
    V_I4(&show.Get()) = SW_SHOWNORMAL;
    return shell->ShellExecute(fileText.Get(), argumentsVariant.Get(), directoryVariant.Get(), operation.Get(), show.Get());
}

HRESULT LaunchInstalledApp(const InstalledApp& app, bool bringToFront, const std::wstring& extraArguments,
                           HWND mainWindow) {
    if (app.appExe.empty()) return E_INVALIDARG;
    const std::wstring& appExe = app.appExe;
    std::wstring path = ExpandProgramFilesPath(appExe);
    size_t slash = path.rfind(L'\\');
    std::wstring folder = slash == std::wstring::npos ? L"" : path.substr(0, slash);
    std::wstring fileName = slash == std::wstring::npos ? path : path.substr(slash + 1);
    std::wstring commandLine = L"\"" + path + L"\"" + extraArguments;

    DWORD creationFlags = 0;
    if (app.launchAsInvoker) {
        if (IsOsVersionAtLeast(5, 3)) {
            // The shell builds the command line from the file and these
            // arguments itself: the program's path is not an argument.
            HRESULT hr = ShellExecuteAsInvoker(fileName, extraArguments, folder);
            if (bringToFront && mainWindow) ShowWindow(mainWindow, SW_HIDE);
            if (SUCCEEDED(hr)) return S_OK;
        }
        creationFlags = CREATE_BREAKAWAY_FROM_JOB;
    }

    ProcessCommand command(commandLine);
    if (!CreateProcessW(command.ApplicationName(), command.line.data(), nullptr, nullptr, FALSE, creationFlags, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &command.startup, &command.process)) {
        return FailureFromLastError();
    }
    if (bringToFront) {
        if (mainWindow) ShowWindow(mainWindow, SW_HIDE);
        if (WaitForInputIdle(command.process.hProcess, kInputIdleWaitMs) == 0) {
            EnumThreadWindows(command.process.dwThreadId, ShowThreadWindow, 0);
        }
    }
    CloseHandle(command.process.hThread);
    CloseHandle(command.process.hProcess);
    return S_OK;
}

bool IsProcessRunning(const std::wstring& imageFileName) {
    if (imageFileName.empty()) return false;
    std::vector<DWORD> ids(1024);
    DWORD bytes = 0;
    while (true) {
        if (!EnumProcesses(ids.data(), static_cast<DWORD>(ids.size() * sizeof(DWORD)), &bytes)) return false;
        if (bytes < ids.size() * sizeof(DWORD)) break;
        ids.resize(ids.size() + 1024);
    }
    std::vector<wchar_t> image(32767);
    for (size_t i = 0; i < bytes / sizeof(DWORD); ++i) {
        ScopedHandle process(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, ids[i]));
        if (!process) continue;
        DWORD length = GetProcessImageFileNameW(process.Get(), image.data(), static_cast<DWORD>(image.size()));
        if (length == 0) continue;
        std::wstring name(image.data(), length);
        size_t slash = name.rfind(L'\\');
        if (slash != std::wstring::npos) name.erase(0, slash + 1);
        if (CompareStringOrdinal(name.c_str(), -1, imageFileName.c_str(), -1, TRUE) == CSTR_EQUAL) return true;
    }
    return false;
}

bool IsAppRunning(const std::wstring& appExe) {
    if (appExe.empty()) return false;
    std::wstring path = ExpandProgramFilesPath(appExe);
    size_t slash = path.rfind(L'\\');
    return IsProcessRunning(slash == std::wstring::npos ? path : path.substr(slash + 1));
}
