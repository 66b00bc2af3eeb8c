#pragma once
// COfferPage: the page of one further product of the maker, offered before
// the installation starts (CNoxOfferPage, CGearfreshOfferPage). Its texts,
// logo and legal super-label come from the page base; the page places the
// logo right after the lead-in text in every language. Accept records the run
// flag, clears the controller's declined flag and has the controller
// download the offer at once; Decline drops the run flag and marks the offer
// declined. Either way the wizard goes on; the choice is made once.
// User-interface thread only; the controller reads the declined flag on its own.
#include <windows.h>

#include <atomic>

#include "ui/WizardPage.h"

struct OfferPageTraits {
    UINT templateId;
    UINT leadInId;
    UINT logoId;
    const wchar_t* runFlag;                          // "InstallNox" / "InstallGearfresh"
    std::atomic<bool> CInstallation::*declinedFlag;  // the controller's declined flag
    UINT downloadMessage;                            // the controller's download message
};

class COfferPage : public CWizardPage {
    DECLARE_DYNAMIC(COfferPage)
public:
    explicit COfferPage(const OfferPageTraits& traits);

    // Narrows the lead-in static to the width of its text in its own font
    // and moves the logo static to 5 pixels right of it, keeping the logo's
    // size and top; a logo that would then pass the right margin (as wide as
    // the lead-in's left one) is made smaller in proportion to end there.
    // False when either control is missing.
    static bool PlaceLogoAfterLeadIn(HWND page, UINT leadInId, UINT logoId);

protected:
    BOOL OnInitDialog() override;
    bool OnCommand(UINT id, UINT notifyCode, HWND control) override;

private:
    void OnAccept();
    void OnDecline();

    const OfferPageTraits& m_traits;
    bool m_bChosen = false;
};
