#pragma once
// CGearfreshOfferPage (template 528): the Gearfresh offer, an offer
// page with its own controls, run flag, declined flag and download message.
// User-interface thread only.
#include "ui/OfferPage.h"

class CGearfreshOfferPage : public COfferPage {
    DECLARE_DYNCREATE(CGearfreshOfferPage)
public:
    CGearfreshOfferPage();

    static const OfferPageTraits kTraits;
};
