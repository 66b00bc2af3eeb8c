#pragma once
// CLicensePage (template 102): the licence agreement alone, with Back
// enabled; Agree or Next goes on. Its links are highlighted but do nothing.
// User-interface thread only.
#include "ui/WizardPage.h"

class CLicensePage : public CWizardPage {
    DECLARE_DYNCREATE(CLicensePage)
public:
    CLicensePage();

protected:
    bool OnCommand(UINT id, UINT notifyCode, HWND control) override;
};
