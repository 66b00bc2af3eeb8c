#pragma once
// CWizardPage: what the wizard's own pages share beyond the page base: the
// Back button (control 1000) goes to the previous page, and the page reaches
// the main window that shows it and the installation controller.
// User-interface thread only.
#include <windows.h>

#include "ui/SubDialog.h"

class CInstallation;
class CMainWindow;

class CWizardPage : public CSubDialog {
    DECLARE_DYNAMIC(CWizardPage)
public:
    using CSubDialog::CSubDialog;

protected:
    bool OnCommand(UINT id, UINT notifyCode, HWND control) override;

    // The main window showing this page; null for a page shown elsewhere (tests).
    CMainWindow* MainWindow() const;
    // The controller thread, or null when it could not be started.
    static CInstallation* Controller();
    // Posts a thread message to the controller (nothing without one).
    static void PostToController(UINT message);
};
