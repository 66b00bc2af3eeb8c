#include "ui/GearfreshOfferPage.h"

#include "engine/Installation.h"
#include "resources/resource.h"

IMPLEMENT_DYNCREATE(CGearfreshOfferPage, COfferPage)

const OfferPageTraits CGearfreshOfferPage::kTraits = {IDD_GEARFRESH_OFFER,
                                                      IDC_GEARFRESH_LEAD_IN,
                                                      IDC_GEARFRESH_LOGO,
                                                      L"InstallGearfresh",
                                                      &CInstallation::m_bGearfreshDeclined,
                                                      WM_INSTALL_DOWNLOAD_GEARFRESH};

CGearfreshOfferPage::CGearfreshOfferPage() : COfferPage(kTraits) {}
