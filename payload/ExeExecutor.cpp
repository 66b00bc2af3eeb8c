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


HRESULT CExeExecutor::Run(IExecutorPage* page, const std::wstring& commandLine) {
    std::wstring processCommand = L"\"" + RunPath() + L"\" " + commandLine;
    ScopedHandle process = StartProcess(processCommand);
    if (!process) return FailureFromLastError();
    PostToExecutorPage(page, WM_PAGE_STEP_PROGRESS, 25, 0);

    HRESULT result = S_OK;
    while (true) {
        DWORD wait = WaitForSingleObject(process.Get(), kWaitSliceMs);
        if (wait == WAIT_FAILED) {
            result = FailureFromLastError();
            break;
        }
        if (page && page->IsCancelled()) {
            return HResultFromWin32(ERROR_CANCELLED);  // the payload keeps running on its own
        }
        for (const std::wstring& className : m_settings.messageClasses) {
            if (HWND window = FindWindowW(className.c_str(), nullptr)) {
                SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
            }
        }
        if (wait == WAIT_TIMEOUT) continue;
        DWORD exitCode = 0;
        if (!GetExitCodeProcess(process.Get(), &exitCode)) {
            result = FailureFromLastError();
        } else {
            result = exitCode == 0 ? S_OK : static_cast<HRESULT>(static_cast<DWORD>(kExitCodeFacility) | exitCode);
        }
        break;
    }
    return result;
}

void ReleasePayloadWindows(const std::vector<std::wstring>& messageClasses) {
    for (const std::wstring& className : messageClasses) {
        EnumWindows(ReleaseWindowOfClass, reinterpret_cast<LPARAM>(&className));
    }
}
