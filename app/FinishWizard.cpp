#include "app/FinishWizard.h"

#include <atomic>
#include <new>
#include <vector>

#include "app/Program.h"
#include "framework/DiagnosticOutput.h"
#include "framework/Dialog.h"
#include "framework/ExceptionCodes.h"
#include "framework/Exceptions.h"
#include "framework/GuidText.h"
#include "framework/MessagePumpingWait.h"
#include "payload/PayloadExecutor.h"
#include "services/BrowserLaunch.h"
#include "services/EventTracker.h"
#include "services/InstallResults.h"
#include "services/ProcessLaunching.h"

namespace {
// Why: the application and the browser get a moment to start before the
// next step, and the last tracking event a moment to leave (the pause after
// the window closes ends as soon as it has, when no step follows).
const DWORD kPauseMs = 2000;
const HRESULT kApplicationNotRunning = static_cast<HRESULT>(0x8007042B);

std::atomic<bool> g_finishing{false};

void ReportLaunchFailure(const CProgram& program, HRESULT hr, const std::wstring& arguments) {
    const wchar_t* appExe = program.m_buildConfig.Get(L"AppExe");
    WriteDiagnosticFormat(L"FinishWizard: launching %ls with \"%ls\" failed %ls\n", appExe ? appExe : L"(no AppExe)",
                          arguments.c_str(), DescribeHresult(hr).c_str());
}

void LaunchResults(CProgram& program, bool launchApplication) {
    std::wstring arguments = ChooseResultsArguments(launchApplication, program.m_bInstallScanStarted.load(),
                                                    program.m_installerData.Get(L"track"));
    HRESULT hr = LaunchInstalledApp(program.InstalledApplication(), false, arguments, program.m_hMainWindow);
    if (FAILED(hr)) ReportLaunchFailure(program, hr, arguments);
    EventTracker* tracker = program.m_pTracker;
    if (!tracker) return;
    if (FAILED(hr)) {
        tracker->TrackWindowsError(hr, L"", L"installResultsInitiated");
    } else if (IsAppRunning(program.InstalledApplication().appExe)) {
        tracker->TrackResult(L"InstallerScan-WS",
                             launchApplication ? L"installResultsInitiated" : L"installApplicationClose");
    } else {
        tracker->TrackWindowsError(kApplicationNotRunning, L"", L"installResultsInitiated");
    }
}

// The registration page's URL, or empty when the page is not to be opened.
std::wstring RegistrationPageUrl(const CProgram& program, bool scanConfigured) {
    const wchar_t* wanted = program.m_installerData.Get(L"LaunchRegistrationPageOnFinish");
    const wchar_t* pageUrl = program.m_buildConfig.Get(L"RegistrationPageUrl");
    if (!wanted || std::wstring(wanted) != L"true" || scanConfigured || program.m_runState.IsAborted() || !pageUrl) return {};
    try {
        return BuildRegistrationUrl(pageUrl, program.m_installerData.Get(L"upl"), program.m_machineId,
                                    program.m_installationId);
    } catch (CException* e) {
        e->Delete();
    } catch (const std::bad_alloc&) {
    }
    WriteDiagnostic(L"FinishWizard: the registration page's address could not be built\n");
    return {};
}
}  // namespace

namespace {
// Steps before the main window closes: the application, the cancel event and
// the registration page.
void LaunchAndOpen(CProgram& program, bool launchApplication, bool scanConfigured) {
    const bool cancelled = program.m_runState.IsAborted();
    if (!cancelled) {
        if (scanConfigured) {
            LaunchResults(program, launchApplication);
        } else if (launchApplication) {
            HRESULT hr = LaunchInstalledApp(program.InstalledApplication(), true, L"", program.m_hMainWindow);
            if (FAILED(hr)) ReportLaunchFailure(program, hr, L"");
        }
    }
    EventTracker* tracker = program.m_pTracker;
    if (cancelled && !program.m_runState.HasFailed() && tracker) tracker->TrackResult(L"InstallerCancelled", L"userCancelled");

    const std::wstring registrationUrl = RegistrationPageUrl(program, scanConfigured);
    if (registrationUrl.empty()) return;
    WaitPumpingMessages(kPauseMs);
    // A browser that fails to open is only logged: the wizard is over.
    HRESULT hr = OpenUrlInBrowser(program.m_strAppName, registrationUrl);
    if (FAILED(hr)) {
        WriteDiagnosticFormat(L"FinishWizard: opening %ls failed %ls\n", registrationUrl.c_str(), DescribeHresult(hr).c_str());
    }
}
}  // namespace

void FinishWizard(bool launchApplication, bool finishButton, const EndMainWindowFunction& endMainWindow) {
    if (g_finishing.exchange(true)) return;
    WriteDiagnostic(L"FinishWizard: the wizard ends\n");
    GetProgram().ReleaseSingleInstanceWhenIdle();
    struct Finished {
        ~Finished() { g_finishing = false; }
    } finished;

    CProgram& program = GetProgram();
    const bool cancelled = program.m_runState.IsAborted();
    const bool scanConfigured =
        program.m_buildConfig.Get(L"InstallScanEvent") && program.m_buildConfig.Get(L"InstallScanResultUrl");
    // Nothing here may keep the main window open.
    try {
        // The installer data's values are read here: not while a server update changes them.
        InstallerDataLock::Read reading(program.m_installerDataLock);
        LaunchAndOpen(program, launchApplication, scanConfigured);
    } catch (CException* e) {
        WriteDiagnosticFormat(L"FinishWizard: the launch stopped with %ls\n", DescribeHresult(HResultFromException(e)).c_str());
        e->Delete();
    } catch (const std::bad_alloc&) {
        WriteDiagnostic(L"FinishWizard: the launch ran out of memory\n");
    }

    const INT_PTR result = cancelled ? IDCANCEL : IDOK;
    WriteDiagnostic(L"FinishWizard: the main window closes\n");
    if (endMainWindow) {
        endMainWindow(result);
    } else if (CDialog* mainWindow = CDialog::FromHandle(program.m_hMainWindow)) {
        // The main window runs our own modal loop, which only its own EndDialog
        // ends (the platform's would leave a hidden wizard running).
        mainWindow->EndDialog(result);
    }

    EventTracker* tracker = program.m_pTracker;
    if (!cancelled && finishButton && tracker) tracker->TrackEvent(L"InstallerFinishedButton", false);
    const std::vector<std::wstring> payloadClasses =
        SplitPayloadMessageClasses(program.m_buildConfig.Get(L"PayloadMessageClasses"));
    if (payloadClasses.empty()) {
        // Only the last tracking event is waited for: the pause ends as soon as it has left.
        WaitPumpingMessagesUntil(kPauseMs, EventTracker::NoSendsPending);
    } else {
        // The application gets its moment to show the windows released next.
        WaitPumpingMessages(kPauseMs);
        ReleasePayloadWindows(payloadClasses);
    }
    WriteDiagnostic(L"FinishWizard: done\n");
}
