#include "app/Program.h"
#include "framework/Win32Error.h"
#include "payload/PayloadExecutor.h"
#include "services/ProcessLaunching.h"

IMPLEMENT_DYNCREATE(CExeExecutor, CPayloadExecutor)

namespace {
const DWORD kWaitSliceMs = 500;
const HRESULT kExitCodeFacility = static_cast<HRESULT>(0xA0040000);


BOOL CALLBACK ReleaseWindowOfClass(HWND window, LPARAM parameter) {
    const std::wstring& className = *reinterpret_cast<const std::wstring*>(parameter);
    wchar_t name[1024];
    if (GetClassNameW(window, name, 1024) > 0 && className == name) {
        SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        SetWindowPos(window, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        SetForegroundWindow(window);
    }
    return TRUE;
}
}  // namespace

CExeExecutor::CExeExecutor() : m_windowClasses(GetPayloadMessageClasses()) {}

HRESULT CExeExecutor::Run(IExecutorPage* page, const std::wstring& commandLine) {
    std::wstring processCommand = L"\"" + RunPath() + L"\" " + commandLine;
    HANDLE process = StartProcess(processCommand);
    if (!process) return FailureFromLastError();
    PostToExecutorPage(page, WM_PAGE_STEP_PROGRESS, 25, 0);

    HRESULT result = S_OK;
    while (true) {
        DWORD wait = WaitForSingleObject(process, kWaitSliceMs);
        if (wait == WAIT_FAILED) {
            result = FailureFromLastError();
            break;
        }
        if (page && page->IsCancelled()) {
            CloseHandle(process);  // the payload keeps running on its own
            return HResultFromWin32(ERROR_CANCELLED);
        }
        for (const std::wstring& className : m_windowClasses) {
            if (HWND window = FindWindowW(className.c_str(), nullptr)) {
                SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
            }
        }
        if (wait == WAIT_TIMEOUT) continue;
        DWORD exitCode = 0;
        GetExitCodeProcess(process, &exitCode);
        result = exitCode == 0 ? S_OK : static_cast<HRESULT>(static_cast<DWORD>(kExitCodeFacility) | exitCode);
        break;
    }
    CloseHandle(process);
    return result;
}

void ReleasePayloadWindows() {
    for (const std::wstring& className : GetPayloadMessageClasses()) {
        EnumWindows(ReleaseWindowOfClass, reinterpret_cast<LPARAM>(&className));
    }
}
