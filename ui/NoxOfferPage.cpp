#include "ui/NoxOfferPage.h"

#include "engine/Installation.h"
#include "resources/resource.h"

IMPLEMENT_DYNCREATE(CNoxOfferPage, COfferPage)

const OfferPageTraits CNoxOfferPage::kTraits = {
    IDD_NOX_OFFER,          IDC_NOX_LEAD_IN, IDC_NOX_LOGO, L"InstallNox", &CInstallation::m_bNoxDeclined,
    WM_INSTALL_DOWNLOAD_NOX};

CNoxOfferPage::CNoxOfferPage() : COfferPage(kTraits) {}
