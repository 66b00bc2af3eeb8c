#include "ui/OfferPage.h"

#include <algorithm>

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
    const int logoLeft = leadInRect.left + textWidth + ScaleToDpi(kLogoGap, WindowDpi(page));
    SetWindowPos(logo, nullptr, logoLeft, logoRect.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    // A long lead-in (a language's words, a wider font) would push the logo
    // past the page's right margin, which mirrors the left one: there the
    // logo gets smaller, in proportion, instead.
    RECT client = {};
    GetClientRect(page, &client);
    const int room = client.right - leadInRect.left - logoLeft;
    const int logoWidth = logoRect.right - logoRect.left, logoHeight = logoRect.bottom - logoRect.top;
    if (room > 0 && logoWidth > room) {
        auto image = reinterpret_cast<HBITMAP>(SendMessageW(logo, STM_GETIMAGE, IMAGE_BITMAP, 0));
        const SIZE smaller = {room, std::max(1, MulDiv(logoHeight, room, logoWidth))};
        HBITMAP scaled = image ? ScaledBitmap(image, smaller) : nullptr;
        if (scaled && scaled != image) SendMessageW(logo, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(scaled));
        SetWindowPos(logo, nullptr, 0, 0, smaller.cx, smaller.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
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
