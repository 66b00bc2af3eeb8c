#pragma once
// IInstallationHost: what the installation controller needs of the
// application that runs it, and the reports it makes back. The application
// implements it and hands it to the controller before the controller's
// thread starts; the host outlives the controller.
// Thread rule: every member is called on the controller thread. The host
// answers from data that is fixed before the thread starts (configuration,
// identifiers, product name) or that it guards itself (installer data store,
// tracker pointer, run state, the outcome it records).
#include <windows.h>

#include <string>

#include "services/ProcessLaunching.h"

class BuildConfig;
class EventTracker;
class InstallerDataLock;
class InstallerDataStore;
class RunState;
struct PayloadSettings;

class IInstallationHost {
public:
    virtual const BuildConfig& Configuration() const = 0;
    // The installer data. The controller changes it only in the server
    // update, under InstallerDataGuard's write lock.
    virtual InstallerDataStore& InstallerData() = 0;
    virtual InstallerDataLock& InstallerDataGuard() = 0;
    virtual const std::wstring& ProductName() const = 0;
    virtual GUID MachineId() const = 0;
    virtual GUID InstallationId() const = 0;
    // The tracking sender, or null (tracking off or not started yet).
    virtual EventTracker* Tracker() const = 0;
    // Where results go before a progress page exists (may be null).
    virtual HWND MainWindow() const = 0;
    virtual RunState& Run() = 0;
    virtual InstalledApp InstalledApplication() const = 0;

    // The controller thread starts: its texts in the user's language.
    virtual void PrepareControllerThread() = 0;
    // The server's installer data has been fetched (or the fetch failed):
    // tracking starts and the wizard builds its pages. May throw.
    virtual void OnInstallerDataFetched() = 0;
    // The payload ran; installed is false when the run was cancelled.
    virtual void OnPayloadInstalled(bool installed) = 0;
    // The installation is recorded: the registration and "InstallerFinished".
    virtual void OnInstallerFinished(ULONGLONG payloadVersion) = 0;
    virtual void OnInstallScanStarted(bool started) = 0;

protected:
    ~IInstallationHost() = default;
};

// The host of a controller nobody gave one (a controller made on its own):
// empty configuration and data, no tracker, no window, its own run state.
IInstallationHost& DetachedInstallationHost();
