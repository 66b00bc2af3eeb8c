#pragma once
// EventTracker: reports events as GET requests to the tracking endpoint.
// One per process, owned by the application object (absent when tracking is
// switched off). Fire and forget: asynchronous events each run on a new
// worker thread with their own copy of the URL; nothing is retried or shown.
// The template is fixed at construction; SetInstallationId is called by the
// controller thread while events may be sent from the main thread, and only
// replaces a string that each send copies first under the lock.
#include <windows.h>

#include <mutex>
#include <string>

#include "services/TrackingParameters.h"

class CException;

class EventTracker {
public:
    // endpoint: "http://host[:port]" of the tracking server.
    EventTracker(const std::wstring& upl, const GUID& installationId, const GUID& machineId, const wchar_t* product,
                 const std::wstring& endpoint);
    EventTracker(const EventTracker&) = delete;
    EventTracker& operator=(const EventTracker&) = delete;

    void SetInstallationId(const GUID& installationId);

    void TrackEvent(const std::wstring& event, bool wait, const TrackingParameters* parameters = nullptr);
    void TrackResult(const std::wstring& description, const std::wstring& result);
    void TrackWindowsError(HRESULT code, const std::wstring& page, const std::wstring& action);
    void TrackGenericError(const std::wstring& code, const std::wstring& details, const std::wstring& page,
                           const std::wstring& action);
    void TrackException(const CException* exception, const std::wstring& page, const std::wstring& action);

    // The URL of an event before its parameters (exposed for the tests).
    std::wstring EventUrl(const std::wstring& event) const;

    // Starts a worker thread that sends a GET for a copy of url; false when
    // the thread could not be started.
    static bool SendUrlAsync(const std::wstring& url);
    // One GET on the calling thread: 0 when it was sent, 1 otherwise.
    static DWORD SendTrackingUrl(const std::wstring& url);
    // Waits up to timeoutMs for the worker threads still sending; called once
    // the wizard is over, so that its last events are not cut off by the end
    // of the process. True when none is left.
    static bool WaitForPendingSends(DWORD timeoutMs);
    // True when no worker thread is sending any more.
    static bool NoSendsPending();

    // Cleans and escapes a campaign value for the URL template.
    static std::wstring CleanUpl(const std::wstring& upl);
    // The value's UTF-8 bytes with every character but the unreserved ones
    // (letters, digits, "-", ".", "_", "~") written as %XX.
    static std::wstring EscapeValue(const std::wstring& value);

private:
    void SendErrorEvent(const std::wstring& type, const std::wstring& code, const std::wstring& details,
                        const std::wstring& page, const std::wstring& action);

    std::wstring m_strUrlTemplate;  // one "%s" for the event name, other percent signs doubled
    mutable std::mutex m_lock;
    std::wstring m_strInstallIdSuffix;
};
