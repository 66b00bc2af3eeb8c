#pragma once
// The application object: one per process, constructed before the entry
// point. Owns for the whole run the build configuration, the installer data,
// the identifiers, the brand extender and the flags the other threads share.
// InitInstance and DoMessageBox run on the main thread. The shared flags are
// atomics written by one thread and polled by another without a lock; the
// tracking sender is created at most once and never replaced, so a pointer
// read from m_pTracker stays valid for the rest of the run.
#include <windows.h>

#include <atomic>
#include <map>
#include <memory>
#include <string>

#include "app/BrandExtender.h"
#include "config/BuildConfig.h"
#include "config/InstallerDataSources.h"
#include "config/InstallerDataStore.h"
#include "framework/PlatformSessions.h"
#include "framework/ScopedHandles.h"
#include "framework/WinApp.h"
#include "services/EventTracker.h"
#include "services/ProcessLaunching.h"

class CInstallation;
class CMainWindow;

class CProgram : public CWinApp {
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
    // aborted, stops the controller, is shown in the program's own box and
    // then sends the wizard to its finished page.
    LRESULT ProcessWndProcException(CException* e, const MSG* message) override;
    bool PreTranslateThreadMessage(const MSG& message) override { return HandleThreadMessage(message); }

    // Thread messages to the main thread: WM_APP + 1 (the installer needs a
    // restart) records "RebootRequired". True when the message was handled.
    bool HandleThreadMessage(const MSG& message);

    // Settles the installation identifier and sends "InstallerFinished"
    // (once, and not after an abort). Controller thread.
    void ReportInstallerFinished();

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
    InstallerDataSource m_installerDataSource = InstallerDataSource::None;
    std::unique_ptr<IBrandExtender> m_pBrandExtender;
    std::atomic<EventTracker*> m_pTracker{nullptr};  // null: tracking off or not started
    GUID m_machineId = {};
    GUID m_installationId = {};
    std::map<std::wstring, int> m_runFlags;
    // The installed application's "FileVersion" found by the welcome page's Agree.
    std::wstring m_strInstalledVersion;
    // The controller thread, owned here; see StartInstallation and EndInstallation.
    std::unique_ptr<CInstallation> m_pInstallation;
    std::atomic<HWND> m_hMainWindow{nullptr};
    CMainWindow* m_pMainWindow = nullptr;  // while the wizard runs; main thread only
    std::atomic<bool> m_bInstallerDataReady{true};
    std::atomic<bool> m_bErrorOccurred{false};
    std::atomic<bool> m_bAborted{false};
    std::atomic<bool> m_bFinishReported{false};
    std::atomic<bool> m_bPayloadInstalled{false};
    std::atomic<bool> m_bInstallScanStarted{false};

    // The installed application as the build configuration names it ("AppExe", "LaunchAs").
    InstalledApp InstalledApplication() const;

    // Creates and starts the controller thread (null when it could not start).
    CInstallation* StartInstallation();
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

#include "services/MakerKeys.h"  // kMakerKeyPath
