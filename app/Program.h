#pragma once
// The application object: one per process, constructed before the entry
// point. Owns for the whole run the build configuration, the installer data,
// the identifiers, the brand extender, the run state and the outcome flags.
// It is the controller's host (IInstallationHost) and the wizard's
// application (IWizardApplication): the controller and the windows reach it
// only through those interfaces.
// InitInstance and DoMessageBox run on the main thread. The outcome flags are
// atomics written by one thread and read by another; the run state locks
// itself; the tracking sender is created at most once and never replaced, so
// a pointer read from m_pTracker stays valid for the rest of the run.
#include <windows.h>

#include <atomic>
#include <map>
#include <memory>
#include <string>

#include "app/BrandExtender.h"
#include "config/BuildConfig.h"
#include "config/InstallerDataLock.h"
#include "config/InstallerDataSources.h"
#include "config/InstallerDataStore.h"
#include "engine/InstallationHost.h"
#include "engine/RunState.h"
#include "framework/PlatformSessions.h"
#include "framework/ScopedHandles.h"
#include "framework/WinApp.h"
#include "services/EventTracker.h"
#include "services/ProcessLaunching.h"
#include "ui/WizardApplication.h"

class CInstallation;
class CMainWindow;

class CProgram : public CWinApp, public IInstallationHost, public IWizardApplication {
public:
    CProgram();
    ~CProgram() override;

    BOOL InitInstance() override;
    // Creates the tracking sender (unless "UnifiedLogging" is "disable") and
    // sends "InstallerInvoked". notifyWindow: the wizard waits for the page
    // order (set when the data came from the server).
    void StartTracking(bool notifyWindow);
    int DoMessageBox(LPCWSTR text, UINT type, UINT promptId) override;
    // An error that escaped a window-message handler: reported as an error
    // event; out of memory (or a CWindowsException) ends the process with
    // exit code 1 after a system box; anything else marks the run failed and
    // the run failed (run state), stops the controller, is shown in the
    // program's own box and then sends the wizard to its finished page.
    LRESULT ProcessWndProcException(CException* e, const MSG* message) override;
    bool PreTranslateThreadMessage(const MSG& message) override { return HandleThreadMessage(message); }

    // WM_APP_REBOOT_REQUIRED (the installer needs a restart), as a thread
    // message; records "RebootRequired". True when the message was handled.
    bool HandleThreadMessage(const MSG& message);
    // The same report through the report window (CreateReportWindow), which
    // every loop of the main thread dispatches to, a modal box's too.
    bool OnApplicationReport(UINT message, WPARAM wParam, LPARAM lParam) noexcept override;

    // Settles the installation identifier and sends "InstallerFinished"
    // (once, and not after an abort). Controller thread.
    void ReportInstallerFinished();
    void ReportInstallerFinished(ULONGLONG payloadVersion);

    // IInstallationHost: the controller thread's view of the application.
    const BuildConfig& Configuration() const override { return m_buildConfig; }
    InstallerDataStore& InstallerData() override { return m_installerData; }
    InstallerDataLock& InstallerDataGuard() override { return m_installerDataLock; }
    const std::wstring& ProductName() const override { return m_strAppName; }
    GUID MachineId() const override { return m_machineId; }
    GUID InstallationId() const override { return m_installationId; }
    EventTracker* Tracker() const override { return m_pTracker; }
    HWND MainWindow() const override { return m_hMainWindow; }
    RunState& Run() override { return m_runState; }
    void PrepareControllerThread() override;
    void OnInstallerDataFetched() override { StartTracking(true); }
    void OnPayloadInstalled(bool installed) override;
    void OnInstallerFinished(ULONGLONG payloadVersion) override { ReportInstallerFinished(payloadVersion); }
    void OnInstallScanStarted(bool started) override { m_bInstallScanStarted = started; }

    // IWizardApplication: the windows' view of the application (main thread).
    CInstallation* Controller() const override { return m_pInstallation.get(); }
    bool IsInstallerDataReady() const override { return m_bInstallerDataReady; }
    std::map<std::wstring, int>& RunFlags() override { return m_runFlags; }
    void SetMainWindow(HWND window) override { m_hMainWindow = window; }
    void EndWizard(bool launchApplication, bool finishButton) override;
    void ShowAboutBox(HWND owner) override;

    // Start-up pieces, also used by the companion tool for another program file:
    // the build configuration of module (null: this program) and the installer
    // data found for programPath.
    void LoadConfiguration(const std::wstring& programPath, HMODULE module);
    void InstallUserAgent();
    // Opens the maker's keys and fixes MachineID, InstallationID and BuildNumber;
    // ends the process when the machine's registry refuses.
    void FixRegistryIdentifiers();

    // Removes the current directory from the DLL search path and preloads the
    // system libraries the program uses by their full paths.
    static void HardenDllSearchPath();

    std::wstring m_strAppName;
    BuildConfig m_buildConfig;
    InstallerDataStore m_installerData;
    InstallerDataLock m_installerDataLock;  // the server update's writes against the windows' reads
    InstallerDataSource m_installerDataSource = InstallerDataSource::None;
    std::unique_ptr<IBrandExtender> m_pBrandExtender;
    std::atomic<EventTracker*> m_pTracker{nullptr};  // null: tracking off or not started
    GUID m_machineId = {};
    GUID m_installationId = {};
    std::map<std::wstring, int> m_runFlags;  // main thread only
    // The controller thread, owned here; see StartInstallation and EndInstallation.
    std::unique_ptr<CInstallation> m_pInstallation;
    std::atomic<HWND> m_hMainWindow{nullptr};
    CMainWindow* m_pMainWindow = nullptr;  // while the wizard runs; main thread only
    std::atomic<bool> m_bInstallerDataReady{true};
    // Running, stopping, past the point of no return, finished, failed or
    // cancelled: the one answer to "was the run stopped, and why".
    RunState m_runState;
    std::atomic<bool> m_bFinishReported{false};
    // The payload ran and was not cancelled: the run passed its point of no return.
    std::atomic<bool> m_bPayloadInstalled{false};
    std::atomic<bool> m_bInstallScanStarted{false};

    // The installed application as the build configuration names it ("AppExe", "LaunchAs").
    InstalledApp InstalledApplication() const override;

    // Creates and starts the controller thread (null when it could not start).
    CInstallation* StartInstallation();
    // The start-up steps after the configuration is loaded and the product
    // name set: user agent, registry identifiers, tracking (with local
    // installer data), the controller. The wizard and the companion tool's
    // install command both start this way.
    CInstallation* StartEngine();
    // Posts the controller its finish message and waits up to waitMs for the
    // thread; the object is deleted once the thread is over. A thread still
    // busy after that (an installer run cannot be interrupted) is left to the
    // end of the process, and its object with it. True when it ended.
    bool EndInstallation(DWORD waitMs);

    // Lets another setup start once this one's installation work is over
    // (the controller has ended), while only the wizard's closing steps are
    // left: no window would be there to explain why it must wait. Nothing
    // while the controller still runs.
    void ReleaseSingleInstanceWhenIdle();

private:
    // Steps of InitInstance; each returns false when start-up must stop.
    bool PrepareProcess();
    bool AcquireSingleInstance(HANDLE& mutex);
    ScopedHandle m_singleInstance;  // the single-instance mutex, held while the setup works
    bool CreateBrandExtender();
    // Runs the wizard window modally; returns once it has closed.
    void RunWizard();
    // The error's text in the program's box (error icon); without a text of
    // its own, the generic one with the error's code.
    void ShowErrorBox(const CException* e, const MSG* message);
    void WriteStartupSummary() const;
    // The run log's last line: how the run ended, in words support can search for.
    void WriteProgramEnd(const wchar_t* outcome) const;
    const wchar_t* RunOutcome() const;

    std::unique_ptr<EventTracker> m_trackerOwner;
    ScopedWinsock m_winsock;
    ScopedOle m_ole;
    ScopedGdiplus m_gdiplus;
};

CProgram& GetProgram();

// ExpandUrlTemplate (engine/Installation.h) with this program's identifiers and installer data.
HRESULT ExpandUrlTemplate(const std::wstring& text, std::wstring& output);

#include "services/MakerKeys.h"  // kMakerKeyPath
