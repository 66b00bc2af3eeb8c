#pragma once
// The brand extender hook: a build may name its own class in "BrandExtender";
// start-up creates it by name and stops silently when Initialize fails.
#include <windows.h>

#include "framework/RuntimeClass.h"

class IBrandExtender : public CObject {
    DECLARE_DYNAMIC(IBrandExtender)
public:
    virtual HRESULT Initialize();
};

class CDefaultBrandExtender : public IBrandExtender {
    DECLARE_DYNCREATE(CDefaultBrandExtender)
public:
    HRESULT Initialize() override;
};
