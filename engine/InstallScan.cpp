// The install scan: the installed application started with " -installscan"
// creates the named event, signals it when its scan is done and leaves a
// result in the registry. Both waits poll in 16 ms steps so that cancellation
// and progress stay responsive.
#include <cwchar>

#include "config/BuildConfig.h"
#include "config/InstallerDataStore.h"
#include "engine/Installation.h"
#include "framework/ScopedHandles.h"
#include "framework/Win32Error.h"
#include "services/EventTracker.h"
#include "services/MakerKeys.h"
#include "services/ProcessLaunching.h"
#include "services/SystemProbes.h"
#include "resources/resource.h"

namespace {
const DWORD kPollMs = 16;
const DWORD kDefaultTimeoutMs = 12000;
const HRESULT kCancelled = static_cast<HRESULT>(0x800704C7);

DWORD StageTimeoutMs(IInstallationHost& host) {
    const wchar_t* text = host.InstallerData().Get(L"installScanTimeout");
    int seconds = text ? _wtoi(text) : 0;
    return seconds >= 1 && seconds <= 120 ? static_cast<DWORD>(seconds) * 1000 : kDefaultTimeoutMs;
}

void TrackStage(IInstallationHost& host, const wchar_t* stage) {
    if (EventTracker* tracker = host.Tracker()) tracker->TrackResult(L"InstallerScan-WS", stage);
}
}  // namespace

HRESULT CInstallation::InstallScan(const std::wstring& eventName) {
    IInstallationHost& host = Host();
    HRESULT result = E_UNEXPECTED;
    std::wstring page = L"configurationError";
    std::wstring action = L"installScanInitiated";
    ScopedHandle event;
    const wchar_t* appExe = host.Configuration().Get(L"AppExe");

    if (appExe) {
        result = E_FAIL;
        const DWORD timeout = StageTimeoutMs(host);
        TrackStage(host, L"installScanInitiated");
        ReportStepProgress(IDS_SCANNING, 0);
        const std::wstring command = L"\"" + ExpandProgramFilesPath(appExe) + L"\" -installscan";
        const wchar_t* launchAs = host.Configuration().Get(L"LaunchAs");
        if (launchAs && std::wstring(launchAs) == L"AsInvoker" && IsOsVersionAtLeast(5, 3)) {
            result = LaunchWithShellToken(command);
            EventTracker* tracker = host.Tracker();
            if (FAILED(result) && tracker) {
                tracker->TrackWindowsError(result, L"asInvoker", L"installScanInitiated");
            }
        }
        page = L"asInstaller";
        if (FAILED(result)) {
            ScopedHandle process = StartProcess(command);
            result = process ? S_OK : FailureFromLastError();
        }

        // Stage 1: the event appears.
        if (SUCCEEDED(result)) {
            page = L"waitingOnAppStart";
            DWORD remaining = timeout;
            DWORD elapsed = 0;
            event.Reset(OpenEventW(EVENT_ALL_ACCESS, FALSE, eventName.c_str()));
            DWORD openError = event ? ERROR_SUCCESS : GetLastError();
            while (!event && remaining > 0 && !ShouldStop()) {
                elapsed += kPollMs;
                ReportStepProgress(IDS_SCANNING, static_cast<int>(elapsed * 100 / timeout));
                remaining = remaining > kPollMs ? remaining - kPollMs : 0;
                Sleep(kPollMs);
                event.Reset(OpenEventW(EVENT_ALL_ACCESS, FALSE, eventName.c_str()));
                openError = event ? ERROR_SUCCESS : GetLastError();
            }
            if (ShouldStop()) {
                result = kCancelled;
            } else if (event) {
                result = S_OK;
            } else if (!IsAppRunning(host.InstalledApplication().appExe)) {
                result = HResultFromWin32(ERROR_PROCESS_ABORTED);
            } else if (openError == ERROR_FILE_NOT_FOUND || openError == ERROR_PATH_NOT_FOUND) {
                result = HResultFromWin32(WAIT_TIMEOUT);
            } else {
                result = HResultFromWin32(static_cast<LONG>(openError));
            }
        }

        // Stage 2: the event is signalled.
        if (SUCCEEDED(result)) {
            action = L"installScanInProgress";
            page.clear();
            TrackStage(host, L"installScanInProgress");
            DWORD remaining = timeout;
            DWORD elapsed = 0;
            DWORD wait = WaitForSingleObject(event.Get(), kPollMs);
            while (wait == WAIT_TIMEOUT && remaining > 0 && !ShouldStop()) {
                elapsed += kPollMs;
                ReportStepProgress(IDS_SCANNING, static_cast<int>(elapsed * 100 / timeout));
                remaining = remaining > kPollMs ? remaining - kPollMs : 0;
                wait = WaitForSingleObject(event.Get(), kPollMs);
            }
            if (ShouldStop()) {
                result = kCancelled;
            } else if (wait == WAIT_OBJECT_0) {
                result = S_OK;
            } else if (!IsAppRunning(host.InstalledApplication().appExe)) {
                result = HResultFromWin32(ERROR_PROCESS_ABORTED);
            } else if (wait == WAIT_ABANDONED) {
                result = HResultFromWin32(WAIT_ABANDONED);
            } else if (wait == WAIT_TIMEOUT) {
                result = HResultFromWin32(WAIT_TIMEOUT);
            } else if (wait == WAIT_FAILED) {
                result = FailureFromLastError();
            } else {
                result = E_UNEXPECTED;
            }
        }

        // Stage 3: the result record.
        if (SUCCEEDED(result)) {
            action = L"installScanCompleted";
            page = L"gettingResultId";
            TrackStage(host, L"installScanCompleted");
            std::wstring keyPath = std::wstring(kMakerKeyPath) + L"\\" + host.ProductName();
            ScopedRegKey key;
            LONG error = RegOpenKeyExW(HKEY_CURRENT_USER, keyPath.c_str(), 0, KEY_READ, key.Receive());
            if (error != ERROR_SUCCESS) {
                result = HResultFromWin32(error);
            } else {
                DWORD value = static_cast<DWORD>(E_FAIL);
                DWORD type = 0;
                DWORD size = sizeof(value);
                error = RegQueryValueExW(key.Get(), L"InstallScanID", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
                if (error != ERROR_SUCCESS && error != ERROR_MORE_DATA) {
                    result = HResultFromWin32(error);
                } else if (type == REG_SZ) {
                    result = size != 0 ? S_OK : static_cast<HRESULT>(0xA0010002);
                } else if (type == REG_DWORD) {
                    result = static_cast<HRESULT>(value);
                    page = L"app-side-error";
                } else {
                    result = TYPE_E_TYPEMISMATCH;
                }
            }
        }
    }

    event.Reset();
    ReportStepProgress(IDS_SCANNING, 100);
    if (ShouldStop()) result = kCancelled;
    EventTracker* tracker = host.Tracker();
    if (FAILED(result) && tracker) tracker->TrackWindowsError(result, page, action);
    return result;
}
