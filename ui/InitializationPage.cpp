#include "ui/InitializationPage.h"

#include <commctrl.h>

#include "ui/WizardApplication.h"
#include "engine/Installation.h"
#include "framework/ResourceStrings.h"
#include "resources/resource.h"

IMPLEMENT_DYNCREATE(CInitializationPage, CWizardPage)

namespace {
const UINT_PTR kProgressTimer = 1;
const UINT kProgressPeriodMs = 100;
const int kProgressMaximum = 100;
}  // namespace

int CInitializationPage::s_nProgressCount = 0;

CInitializationPage::CInitializationPage() : CWizardPage(IDD_INITIALIZATION) {}

BOOL CInitializationPage::OnInitDialog() {
    CWizardPage::OnInitDialog();
    std::wstring text;
    LoadResourceString(IDS_INITIALIZING, text);
    SetDlgItemTextW(m_hWnd, IDC_STEP_TEXT, text.c_str());
    SendDlgItemMessageW(m_hWnd, IDC_STEP_BAR, PBM_SETPOS, static_cast<WPARAM>(s_nProgressCount), 0);
    if (Controller()) {
        PostToController(WM_INSTALL_FETCH_DATA);
    } else {
        // No controller to fetch anything: go on with the data there is.
        WizardApplication().OnInstallerDataFetched();
    }
    SetTimer(m_hWnd, kProgressTimer, kProgressPeriodMs, nullptr);
    return TRUE;
}

bool CInitializationPage::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    if (message == WM_TIMER && wParam == kProgressTimer) {
        if (s_nProgressCount < kProgressMaximum) ++s_nProgressCount;
        SendDlgItemMessageW(m_hWnd, IDC_STEP_BAR, PBM_SETPOS, static_cast<WPARAM>(s_nProgressCount), 0);
        result = 0;
        return true;
    }
    return CWizardPage::OnMessage(message, wParam, lParam, result);
}
