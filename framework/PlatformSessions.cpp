#include "framework/PlatformSessions.h"

#include <winsock2.h>
#include <objidl.h>  // gdiplus.h needs PROPID, which lean windows.h leaves out
#include <gdiplus.h>
#include <ole2.h>

ScopedWinsock::~ScopedWinsock() {
    if (m_bStarted) WSACleanup();
}

int ScopedWinsock::Start() {
    if (m_bStarted) return 0;
    WSADATA data;
    int error = WSAStartup(MAKEWORD(2, 2), &data);
    m_bStarted = error == 0;
    return error;
}

ScopedOle::~ScopedOle() {
    if (m_bInitialized) OleUninitialize();
}

HRESULT ScopedOle::Initialize() {
    if (m_bInitialized) return S_FALSE;
    HRESULT hr = OleInitialize(nullptr);
    m_bInitialized = SUCCEEDED(hr);
    return hr;
}

ScopedComApartment::~ScopedComApartment() { Uninitialize(); }

void ScopedComApartment::Uninitialize() {
    if (m_bInitialized) CoUninitialize();
    m_bInitialized = false;
}

HRESULT ScopedComApartment::Initialize(DWORD model) {
    if (m_bInitialized) return S_FALSE;
    HRESULT hr = CoInitializeEx(nullptr, model);
    m_bInitialized = SUCCEEDED(hr);
    return hr;
}

ScopedGdiplus::~ScopedGdiplus() { Shutdown(); }

int ScopedGdiplus::Start() {
    if (m_token) return Gdiplus::Ok;
    Gdiplus::GdiplusStartupInput input;
    Gdiplus::Status status = Gdiplus::GdiplusStartup(&m_token, &input, nullptr);
    if (status != Gdiplus::Ok) m_token = 0;
    return status;
}

void ScopedGdiplus::Shutdown() {
    if (m_token) Gdiplus::GdiplusShutdown(m_token);
    m_token = 0;
}
