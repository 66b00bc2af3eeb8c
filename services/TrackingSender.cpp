#include <objbase.h>

#include "framework/ComPtr.h"
#include "framework/PlatformSessions.h"
#include "framework/ScopedBstr.h"
#include "http/RequestCancellation.h"
#include "http/UserAgent.h"
#include "http/WinHttpRequest.h"
#include "services/EventTracker.h"

DWORD EventTracker::SendTrackingUrl(const std::wstring& url) {
    ScopedComApartment apartment;
    if (FAILED(apartment.Initialize())) return 1;
    bool sent = false;
    {
        ComPtr<WinHTTP::IWinHttpRequest> request;
        std::wstring agent = WinHTTP::GetDefaultUserAgent();
        HRESULT created;
        {
            // A report goes out even after the user stopped the run (it may tell of the stop), within its own bounds.
            WinHTTP::CScopedNoRequestCancellation reportsGoOut;
            created = WinHTTP::CreateWinHttpRequest(request.Receive(), agent.c_str());
        }
        if (SUCCEEDED(created)) {
            ScopedBstr method(L"GET");
            ScopedBstr target(url.c_str());
            VARIANT noBody;
            VariantInit(&noBody);
            sent = SUCCEEDED(request->Open(method.Get(), target.Get(), MakeBoolVariant(false))) &&
                   SUCCEEDED(request->Send(noBody));
        }
    }
    return sent ? 0 : 1;
}
