#pragma once
// The application object: one per process, constructed before the entry
// point. Owns for the whole run the build configuration, the installer data,
// the identifiers, the brand extender and the flags the other threads share.
// InitInstance and DoMessageBox run on the main thread.
#include <windows.h>

#include <map>
#include <memory>
#include <string>

#include "app/BrandExtender.h"
#include "config/BuildConfig.h"
#include "config/InstallerDataSources.h"
#include "config/InstallerDataStore.h"
#include "framework/WinApp.h"
#include "framework/WinThread.h"
#include "services/EventTracker.h"

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
    std::unique_ptr<EventTracker> m_pTracker;
    GUID m_machineId = {};
    GUID m_installationId = {};
    std::map<std::wstring, int> m_runFlags;
    CWinThread* m_pInstallation = nullptr;  // the controller thread; deletes itself
    HWND m_hMainWindow = nullptr;
    bool m_bInstallerDataReady = true;
    bool m_bErrorOccurred = false;
    bool m_bAborted = false;
    bool m_bFinishReported = false;
    BYTE m_bPayloadInstalled = FALSE;
    BYTE m_bInstallScanStarted = FALSE;

private:
    // Steps of InitInstance; each returns false when start-up must stop.
    bool PrepareProcess();
    bool AcquireSingleInstance(HANDLE& mutex);
    bool CreateBrandExtender();
    void WriteStartupSummary() const;

    ULONG_PTR m_gdiplusToken = 0;
};

CProgram& GetProgram();

// Registry paths under HKEY_LOCAL_MACHINE.
extern const wchar_t kMakerKeyPath[];  // "SOFTWARE\Tarnwell Utilities Inc"
