#pragma once
// CWelcomePage (template 101): the first page. It shows the licence agreement
// from the resources and, as soon as it is shown, asks the controller for the
// payload download, which runs while the user reads. Agree accepts and goes on;
// a link clicked in the agreement opens in the shell's handler.
// User-interface thread only.
#include "ui/WizardPage.h"

class CWelcomePage : public CWizardPage {
    DECLARE_DYNCREATE(CWelcomePage)
public:
    CWelcomePage();

    // The installed application's version that makes Agree skip the acceptance event.
    static const wchar_t kSkipAcceptanceVersion[];

protected:
    BOOL OnInitDialog() override;
    bool OnCommand(UINT id, UINT notifyCode, HWND control) override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    void OnAgree();
    void OpenLink(const NMHDR* header);
};
