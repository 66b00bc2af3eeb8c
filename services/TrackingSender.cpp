#include <objbase.h>

#include <cstdio>

#include "framework/ComPtr.h"
#include "framework/DiagnosticOutput.h"
#include "framework/PlatformSessions.h"
#include "framework/ScopedBstr.h"
#include "http/RequestCancellation.h"
#include "http/UserAgent.h"
#include "http/WinHttpRequest.h"
#include "services/EventTracker.h"

namespace {
// A kept-alive connection the server has left in a broken state (it closed
// it, or wrote past its own length) fails the first request sent over it;
// the second attempt opens a new connection.
const int kTrackingAttempts = 2;

HRESULT SendOnce(const std::wstring& url) {
    ComPtr<WinHTTP::IWinHttpRequest> request;
    std::wstring agent = WinHTTP::GetDefaultUserAgent();
    HRESULT hr;
    {
        // A report goes out even after the user stopped the run (it may tell of the stop), within its own bounds.
        WinHTTP::CScopedNoRequestCancellation reportsGoOut;
        hr = WinHTTP::CreateWinHttpRequest(request.Receive(), agent.c_str());
    }
    if (FAILED(hr)) return hr;
    ScopedBstr method(L"GET");
    ScopedBstr target(url.c_str());
    VARIANT noBody;
    VariantInit(&noBody);
    hr = request->Open(method.Get(), target.Get(), MakeBoolVariant(false));
    if (SUCCEEDED(hr)) hr = request->Send(noBody);
    return hr;
}
}  // namespace

DWORD EventTracker::SendTrackingUrl(const std::wstring& url) {
    ScopedComApartment apartment;
    if (FAILED(apartment.Initialize())) return 1;
    HRESULT hr = E_FAIL;
    for (int attempt = 0; attempt < kTrackingAttempts && FAILED(hr); ++attempt) hr = SendOnce(url);
    if (FAILED(hr)) {
        // The event's name only: the rest of the address carries identifiers.
        wchar_t line[80];
        std::swprintf(line, ARRAYSIZE(line), L"A tracking event was not sent (0x%08lX): ", static_cast<unsigned long>(hr));
        WriteDiagnostic((line + url.substr(0, url.find(L'&')) + L"\n").c_str());
    }
    return SUCCEEDED(hr) ? 0 : 1;
}
