#pragma once
// CInitializationPage (template 105): shown while the installer data is
// fetched from the server. It asks the controller for the fetch when shown
// and fills its bar over ten seconds; the main window replaces it once the
// application reports the data (WM_MAIN_INSTALLER_DATA_READY). User-interface thread only.
#include "ui/WizardPage.h"

class CInitializationPage : public CWizardPage {
    DECLARE_DYNCREATE(CInitializationPage)
public:
    CInitializationPage();

    // The bar's position: process-wide, so a second showing keeps it.
    static int GetProgressCount() { return s_nProgressCount; }

protected:
    BOOL OnInitDialog() override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    static int s_nProgressCount;
};
