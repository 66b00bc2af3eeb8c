#include "app/BrandExtender.h"

#include <new>

IMPLEMENT_DYNAMIC(IBrandExtender, CObject)
IMPLEMENT_DYNCREATE(CDefaultBrandExtender, IBrandExtender)

HRESULT IBrandExtender::Initialize() { return S_OK; }

HRESULT CDefaultBrandExtender::Initialize() { return S_OK; }
