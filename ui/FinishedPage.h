#pragma once
// CFinishedPage (template 103): the last page. Its texts say whether the
// setup completed, was interrupted or ended by an error; after a success it
// offers to launch the product and may count down to an automatic Finish.
// Finish, the end of the countdown and the title bar's close all run the
// finish operation, which ends the wizard. When it appears it closes a
// question still open over the wizard. User-interface thread only.
#include <string>

#include "ui/WizardPage.h"

class CFinishedPage : public CWizardPage {
    DECLARE_DYNCREATE(CFinishedPage)
public:
    CFinishedPage();

    // Acts as if Finish had been pressed and answers false: the finish
    // operation ends the wizard, not the close command.
    bool CanClose() override;

    // "AutoLaunchWait" as a countdown in seconds: 1 to 120, else 0 (none).
    static int CountdownSeconds(const wchar_t* autoLaunchWait);

protected:
    BOOL OnInitDialog() override;
    // Escape (the page's Cancel button is disabled): the wizard finishes, as
    // with the title bar's close box; there is nothing left to cancel.
    void OnCancel() override;
    bool OnCommand(UINT id, UINT notifyCode, HWND control) override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    void ShowTexts();
    void CloseOpenPopup();
    void OnCountdownTick();
    void OnFinish();

    std::wstring m_strFinishCaption;
    int m_nCountdown = 0;
    bool m_bFinishing = false;
};
