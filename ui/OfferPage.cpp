#include "ui/OfferPage.h"

#include "ui/WizardApplication.h"
#include "engine/Installation.h"
#include "framework/WindowText.h"
#include "resources/resource.h"
#include "ui/MainWindow.h"
#include "ui/ScreenDpi.h"

IMPLEMENT_DYNAMIC(COfferPage, CWizardPage)

namespace {
// The gap between the lead-in text and the logo, in pixels at 96 DPI.
const int kLogoGap = 5;
}  // namespace

COfferPage::COfferPage(const OfferPageTraits& traits) : CWizardPage(traits.templateId), m_traits(traits) {}

bool COfferPage::PlaceLogoAfterLeadIn(HWND page, UINT leadInId, UINT logoId) {
    HWND leadIn = ::GetDlgItem(page, static_cast<int>(leadInId));
    HWND logo = ::GetDlgItem(page, static_cast<int>(logoId));
    if (!leadIn || !logo) return false;
    int textWidth = WindowTextWidth(leadIn);
    RECT leadInRect = ChildRectInParent(page, leadIn);
    RECT logoRect = ChildRectInParent(page, logo);
    SetWindowPos(leadIn, nullptr, 0, 0, textWidth, leadInRect.bottom - leadInRect.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    SetWindowPos(logo, nullptr, leadInRect.left + textWidth + ScaleToDpi(kLogoGap, WindowDpi(page)), logoRect.top, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    return true;
}

BOOL COfferPage::OnInitDialog() {
    CWizardPage::OnInitDialog();
    PlaceLogoAfterLeadIn(m_hWnd, m_traits.leadInId, m_traits.logoId);
    return TRUE;
}

bool COfferPage::OnCommand(UINT id, UINT notifyCode, HWND control) {
    if (id == IDC_ACCEPT) {
        OnAccept();
        return true;
    }
    if (id == IDC_DECLINE) {
        OnDecline();
        return true;
    }
    return CWizardPage::OnCommand(id, notifyCode, control);
}

void COfferPage::OnAccept() {
    if (m_bChosen) return;
    m_bChosen = true;
    WizardApplication().RunFlags()[m_traits.runFlag] = 1;
    if (CInstallation* installation = Controller()) {
        (installation->*m_traits.declinedFlag) = false;
        installation->PostThreadMessage(m_traits.downloadMessage, 0, 0);
    }
    if (CMainWindow* window = MainWindow()) window->ShowNextPage();
}

void COfferPage::OnDecline() {
    if (m_bChosen) return;
    m_bChosen = true;
    WizardApplication().RunFlags().erase(m_traits.runFlag);
    if (CInstallation* installation = Controller()) (installation->*m_traits.declinedFlag) = true;
    if (CMainWindow* window = MainWindow()) window->ShowNextPage();
}
