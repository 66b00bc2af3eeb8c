// wrenstall-check install [EXE] [--accept nox|gearfresh ...] [--cancel-after STAGE]:
// runs the installation engine without the wizard's windows, with EXE's build
// configuration, installer data and signature (default: this tool's), posting
// the controller the messages the wizard would, in the same order. A console
// page prints one line per task and step change and the result last.
#include <windows.h>

#include <cstdio>
#include <map>
#include <memory>
#include <vector>

#include "CheckCommands.h"
#include "ConsoleOutput.h"
#include "framework/ExceptionCodes.h"
#include "app/Program.h"
#include "app/UserLanguage.h"
#include "engine/Installation.h"
#include "framework/DiagnosticOutput.h"
#include "framework/PostedText.h"
#include "framework/ResourceStrings.h"
#include "framework/RunLog.h"
#include "framework/ScopedHandles.h"
#include "framework/Win32Error.h"
#include "payload/SignatureVerification.h"
#include "services/PackedVersion.h"

namespace {
const wchar_t kPageClass[] = L"WrenstallCheckConsolePage";

// Stands in for the progress page: prints what the page would show.
class ConsolePage : public IProgressPage {
public:
    ConsolePage() {
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = WindowProcedure;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kPageClass;
        RegisterClassW(&windowClass);
        m_window = CreateWindowExW(0, kPageClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr),
                                   nullptr);
        SetWindowLongPtrW(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    // Like the wizard's progress page: remembered files go when the page goes,
    // and the page leaves the controller's proxy first.
    ~ConsolePage() {
        if (m_pProxy) m_pProxy->DetachPage(this);
        DestroyWindow(m_window);
        for (const std::wstring& path : m_temporaryFiles) {
            if (!DeleteFileW(path.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND) {
                MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
            }
        }
    }

    HWND GetPageWindow() const override { return m_window; }
    bool IsCancelled() const override { return m_bCancelled; }
    void SetCancelled(bool cancelled) override { m_bCancelled = cancelled; }

    CInstallation* m_pInstallation = nullptr;
    CProgressPageProxy* m_pProxy = nullptr;  // set while attached
    std::wstring m_strCancelTask;  // cancel when this task text shows
    std::wstring m_strTask;        // the task on screen
    std::wstring m_strFailedTask;  // the task on screen when the first error came
    bool m_bCancelReached = false;  // that task showed and the run was cancelled
    HRESULT m_result = S_OK;
    bool m_bCancelled = false;

private:
    static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* page = reinterpret_cast<ConsolePage*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (!page) return DefWindowProcW(window, message, wParam, lParam);
        wchar_t prefix[48];
        switch (message) {
            case WM_PAGE_NEXT_TASK: {
                std::wstring text = TakePostedText(lParam);
                page->m_strTask = text;
                std::swprintf(prefix, 48, L"task: %d ", static_cast<int>(wParam));
                PrintOut(prefix + text + L"\n");
                if (!page->m_strCancelTask.empty() && text == page->m_strCancelTask && page->m_pInstallation) {
                    PrintOut(L"cancelling\n");
                    page->m_strCancelTask.clear();
                    page->m_bCancelReached = true;
                    page->m_pInstallation->Cancel();
                    page->m_pInstallation->PostThreadMessage(WM_INSTALL_FINISH, 0, 0);
                }
                return 0;
            }
            case WM_PAGE_STEP_PROGRESS: {
                std::wstring text = lParam ? TakePostedText(lParam) : L"";
                if (static_cast<int>(wParam) < 0 && text.empty()) return 0;
                std::swprintf(prefix, 48, L"step: %d ", static_cast<int>(wParam));
                PrintOut(prefix + text + L"\n");
                return 0;
            }
            case WM_PAGE_REMEMBER_TEMP_FILE:
                page->m_temporaryFiles.push_back(TakePostedText(lParam));
                return 0;
            case WM_PAGE_SHOW_CANCEL: return 0;
            case WM_PAGE_RESULT:
            case WM_MAIN_RESULT: {
                auto* error = reinterpret_cast<CException*>(lParam);
                if (error) {
                    // As the wizard's main thread does: the error becomes an error event.
                    if (EventTracker* tracker = GetProgram().m_pTracker) tracker->TrackException(error, L"", L"");
                    if (page->m_result == S_OK) {
                        page->m_result = HResultFromException(error);
                        page->m_strFailedTask = page->m_strTask;
                    }
                    wchar_t text[512] = L"";
                    error->GetErrorMessage(text, 512);
                    std::swprintf(prefix, 48, L"error: 0x%08lX ", static_cast<unsigned long>(HResultFromException(error)));
                    PrintOut(prefix + std::wstring(text) + L"\n");
                    error->Delete();
                }
                return 0;
            }
            default: return DefWindowProcW(window, message, wParam, lParam);
        }
    }

    HWND m_window = nullptr;
    std::vector<std::wstring> m_temporaryFiles;
};

std::wstring FullPath(const std::wstring& path) {
    wchar_t buffer[MAX_PATH * 4];
    DWORD length = GetFullPathNameW(path.c_str(), ARRAYSIZE(buffer), buffer, nullptr);
    return length == 0 || length >= ARRAYSIZE(buffer) ? path : std::wstring(buffer, length);
}

// The address the payload is downloaded from: the controller's own choice.
std::wstring PayloadUrl() {
    const wchar_t* payload = GetProgram().m_buildConfig.Get(L"Payload");
    if (!payload) return {};
    std::vector<std::wstring> parts;
    SplitString(payload, L"|", parts);
    std::wstring url = parts.empty() ? L"" : parts.back();
    std::wstring expanded;
    return SUCCEEDED(ChoosePayloadUrl(GetProgram(), url, expanded)) ? expanded : url;
}

// WinHTTP's answers for a server that cannot be reached.
bool IsUnreachable(HRESULT hr) {
    switch (static_cast<unsigned long>(hr)) {
        case 0x80072EFDu:  // ERROR_WINHTTP_CANNOT_CONNECT
        case 0x80072EE7u:  // ERROR_WINHTTP_NAME_NOT_RESOLVED
        case 0x80072EE2u:  // ERROR_WINHTTP_TIMEOUT
        case 0x80072EFEu:  // ERROR_WINHTTP_CONNECTION_ERROR
            return true;
        default: return false;
    }
}

void ReportFailure(const ConsolePage& page, HRESULT result) {
    const std::wstring step = page.m_strFailedTask.empty() ? L"start-up of the engine" : page.m_strFailedTask;
    PrintFailure(L"install failed at the step \"" + step + L"\"", result);
    if (IsUnreachable(result)) PrintProblem(L"the server could not be reached; the payload address tried: " + PayloadUrl());
}

int Usage() {
    PrintError(L"usage: wrenstall-check install [EXE] [--accept nox|gearfresh ...] "
               L"[--cancel-after download|extract|install|scan]\n");
    return 2;
}
}  // namespace

int RunInstallCommand(const CheckArguments& arguments) {
    std::wstring programPath;
    bool acceptNox = false;
    bool acceptGearfresh = false;
    UINT cancelTaskId = 0;
    std::wstring cancelStage;
    const std::map<std::wstring, UINT> stages = {{L"download", 3001}, {L"extract", 3002}, {L"install", 3003}, {L"scan", 3037}};
    for (size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == L"--accept" && i + 1 < arguments.size()) {
            const std::wstring& offer = arguments[++i];
            if (offer == L"nox") acceptNox = true;
            else if (offer == L"gearfresh") acceptGearfresh = true;
            else return Usage();
        } else if (arguments[i] == L"--cancel-after" && i + 1 < arguments.size()) {
            auto stage = stages.find(arguments[++i]);
            if (stage == stages.end()) return Usage();
            cancelTaskId = stage->second;
            cancelStage = stage->first;
        } else if (programPath.empty() && arguments[i].rfind(L"--", 0) != 0) {
            programPath = FullPath(arguments[i]);
        } else {
            return Usage();
        }
    }

    CProgram program;
    ApplyUserLanguage();
    program.CWinApp::InitInstance();
    program.m_strAppName = program.m_strFrameworkAppName;
    OpenRunLog(program.m_strAppName);
    // The restart report reaches this loop as it reaches the wizard's.
    program.CreateReportWindow();
    WriteDiagnosticFormat(L"wrenstall-check install %ls\n", programPath.c_str());
    ScopedModule module;
    if (!programPath.empty()) {
        module.Reset(LoadLibraryExW(programPath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
        if (!module) {
            PrintFailure(L"install failed reading the configuration of " + programPath, FailureFromLastError());
            return 1;
        }
    } else {
        wchar_t own[MAX_PATH];
        GetModuleFileNameW(nullptr, own, MAX_PATH);
        programPath = own;
    }
    program.LoadConfiguration(programPath, module.Get());
    SetDefaultSignerFile(programPath);

    auto pageOwner = std::make_unique<ConsolePage>();
    ConsolePage& page = *pageOwner;
    program.m_hMainWindow = page.GetPageWindow();
    CInstallation* installation = program.StartEngine();
    if (!installation) {
        PrintFailure(L"install failed starting the installation thread", E_OUTOFMEMORY);
        PrintResult(E_OUTOFMEMORY);
        return 1;
    }
    page.m_pInstallation = installation;
    if (cancelTaskId) page.m_strCancelTask = FormatResourceMessage(cancelTaskId, {program.m_strAppName.c_str()});
    ScopedHandle threadOwner(installation->DuplicateHandleForWaiting());
    HANDLE thread = threadOwner.Get();

    // The wizard's order: the welcome page starts the payload, accepted offer
    // pages start their downloads, the progress page attaches and begins.
    installation->PostThreadMessage(WM_INSTALL_DOWNLOAD_PAYLOAD, 0, 0);
    installation->m_bNoxDeclined = !acceptNox;
    installation->m_bGearfreshDeclined = !acceptGearfresh;
    if (acceptNox) installation->PostThreadMessage(WM_INSTALL_DOWNLOAD_NOX, 0, 0);
    if (acceptGearfresh) installation->PostThreadMessage(WM_INSTALL_DOWNLOAD_GEARFRESH, 0, 0);
    installation->m_proxy.SetPage(&page);
    page.m_pProxy = &installation->m_proxy;
    installation->PostThreadMessage(WM_INSTALL_BEGIN, 0, 0);

    while (true) {
        DWORD wait = MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (!program.HandleThreadMessage(message)) DispatchMessageW(&message);
        }
        if (wait == WAIT_OBJECT_0) break;
    }
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (!program.HandleThreadMessage(message)) DispatchMessageW(&message);
    }
    page.m_pInstallation = nullptr;
    installation->m_proxy.DetachPage(&page);
    page.m_pProxy = nullptr;
    program.m_pInstallation.reset();
    if (program.m_runFlags[L"RebootRequired"]) PrintOut(L"restart required\n");
    EventTracker::WaitForPendingSends(5000);
    HRESULT result = page.m_result == S_OK && page.IsCancelled() ? static_cast<HRESULT>(0x800704C7) : page.m_result;
    if (FAILED(result) && result != static_cast<HRESULT>(0x800704C7)) ReportFailure(page, result);
    const bool cancelReached = page.m_bCancelReached;
    program.m_hMainWindow = nullptr;
    pageOwner.reset();
    WriteDiagnosticFormat(L"Result: %ls\n", DescribeHresult(result).c_str());
    if (result != S_OK && !RunLogPath().empty()) PrintOut(L"log: " + RunLogPath() + L"\n");
    PrintResult(result);
    // A run that never reached the stage to cancel at did not test cancelling.
    if (cancelTaskId && !cancelReached) {
        PrintError(L"wrenstall-check: stage never reached: " + cancelStage + L"\n");
        return 1;
    }
    return result == S_OK ? 0 : 1;
}
