#pragma once
// IWizardApplication: what the wizard's windows (main window and pages) need
// of the application that runs them. The application implements it and
// hands itself over with SetWizardApplication before it shows a window; the
// windows never reach the application object any other way.
// Thread rule: user-interface thread only (the run state locks itself).
#include <windows.h>

#include <map>
#include <string>

#include "config/BuildConfig.h"
#include "config/InstallerDataLock.h"
#include "config/InstallerDataStore.h"
#include "engine/RunState.h"
#include "services/EventTracker.h"

class CInstallation;

class IWizardApplication {
public:
    virtual const BuildConfig& Configuration() const = 0;
    // The installer data. A reader that may run while the controller's
    // server update is under way (the initialization page is, or was just,
    // on screen) holds InstallerDataGuard for reading.
    virtual InstallerDataStore& InstallerData() = 0;
    virtual InstallerDataLock& InstallerDataGuard() = 0;
    virtual const std::wstring& ProductName() const = 0;
    // The tracking sender, or null.
    virtual EventTracker* Tracker() const = 0;
    virtual RunState& Run() = 0;
    // The installation controller, or null when it could not start.
    virtual CInstallation* Controller() const = 0;
    // The installer data was there at start-up (else the server is asked first).
    virtual bool IsInstallerDataReady() const = 0;
    // Run flags ("RebootRequired", the accepted offers' flags).
    virtual std::map<std::wstring, int>& RunFlags() = 0;
    // The main window while it exists (null when it goes).
    virtual void SetMainWindow(HWND window) = 0;
    // No controller fetched the installer data: go on with the data there is.
    virtual void OnInstallerDataFetched() = 0;
    // The end of the wizard: launch the installed application, open the
    // registration page, end the main window (app/FinishWizard.h).
    virtual void EndWizard(bool launchApplication, bool finishButton) = 0;
    virtual void ShowAboutBox(HWND owner) = 0;

protected:
    ~IWizardApplication() = default;
};

// The application the windows report to; null before one was handed over.
IWizardApplication* GetWizardApplication();
// Called by the application (with null when it goes).
void SetWizardApplication(IWizardApplication* application);
// The application; the windows exist only while there is one.
IWizardApplication& WizardApplication();
