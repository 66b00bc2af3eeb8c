#pragma once
// CNoxOfferPage (template 108): the Nox offer ("Velmora Cleaner Plus"), an offer
// page with its own controls, run flag, declined flag and download message.
// User-interface thread only.
#include "ui/OfferPage.h"

class CNoxOfferPage : public COfferPage {
    DECLARE_DYNCREATE(CNoxOfferPage)
public:
    CNoxOfferPage();

    static const OfferPageTraits kTraits;
};
