#include "services/EventTracker.h"

#include <shlwapi.h>

#include <cstdio>
#include <memory>
#include <new>
#include <vector>

#include "framework/ExceptionCodes.h"
#include "framework/Exceptions.h"
#include "framework/GuidText.h"
#include "framework/Win32Error.h"
#include "services/SystemProbes.h"

namespace {
const wchar_t kUplCharacters[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=-_:";
const wchar_t kInstallerName[] = L"WS0";
const wchar_t kInstallerVersion[] = L"2.21.0";
const size_t kMaxExceptionMessageChars = 1024;

void ReplaceAll(std::wstring& text, const std::wstring& what, const std::wstring& with) {
    for (size_t at = text.find(what); at != std::wstring::npos; at = text.find(what, at + with.size())) {
        text.replace(at, what.size(), with);
    }
}

// The template with its one "%s" replaced and "%%" turned back into "%".
std::wstring FillTemplate(const std::wstring& pattern, const std::wstring& event) {
    std::wstring url;
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == L'%' && i + 1 < pattern.size()) {
            if (pattern[i + 1] == L'%') {
                url += L'%';
                ++i;
                continue;
            }
            if (pattern[i + 1] == L's') {
                url += event;
                ++i;
                continue;
            }
        }
        url += pattern[i];
    }
    return url;
}

// Worker threads still sending an event.
LONG g_pendingSends = 0;

DWORD WINAPI SendUrlThread(void* parameter) {
    std::unique_ptr<std::wstring> url(static_cast<std::wstring*>(parameter));
    DWORD result = EventTracker::SendTrackingUrl(*url);
    InterlockedDecrement(&g_pendingSends);
    return result;
}
}  // namespace

std::wstring EventTracker::CleanUpl(const std::wstring& upl) {
    std::wstring cleaned = upl.substr(0, upl.find_first_not_of(kUplCharacters));
    ReplaceAll(cleaned, L"+", L"%%2B");
    ReplaceAll(cleaned, L"/", L"%%2F");
    ReplaceAll(cleaned, L"=", L"%%3D");
    ReplaceAll(cleaned, L":", L"%%3A");
    return cleaned;
}

std::wstring EventTracker::EscapeValue(const std::wstring& value) {
    if (value.empty()) return {};
    // UTF-8 bytes; a lone surrogate becomes U+FFFD rather than failing.
    int size = WideCharToMultiByte(CP_UTF8, 0, value.data(), static_cast<int>(value.size()), nullptr, 0, nullptr,
                                   nullptr);
    if (size <= 0) ThrowOleException(FailureFromLastError());
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, value.data(), static_cast<int>(value.size()), bytes.data(), size, nullptr, nullptr);
    // Only the unreserved characters stay as they are, so no value can end
    // its parameter ("&") or start another ("=").
    static const wchar_t kHex[] = L"0123456789ABCDEF";
    std::wstring escaped;
    for (unsigned char c : bytes) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
            c == '_' || c == '~') {
            escaped += static_cast<wchar_t>(c);
        } else {
            escaped += L'%';
            escaped += kHex[c >> 4];
            escaped += kHex[c & 0xF];
        }
    }
    return escaped;
}

EventTracker::EventTracker(const std::wstring& upl, const GUID& installationId, const GUID& machineId,
                           const wchar_t* product, const std::wstring& endpoint) {
    std::wstring doubledEndpoint = endpoint;
    ReplaceAll(doubledEndpoint, L"%", L"%%");
    std::wstring platform = GetPlatformText();
    ReplaceAll(platform, L"%", L"%%");
    m_strUrlTemplate = doubledEndpoint + L"/ulc.php?ev=%s&upl=" + CleanUpl(upl) + L"&machineId=" +
                       FormatGuidText(machineId) + L"&" + platform;
    m_strUrlTemplate += std::wstring(L"&installer=") + kInstallerName + L"&installerVersion=" + kInstallerVersion;
    if (product) {
        std::wstring doubledProduct = product;
        ReplaceAll(doubledProduct, L"%", L"%%");
        m_strUrlTemplate += L"&product=" + doubledProduct;
    }
    SetInstallationId(installationId);
}

void EventTracker::SetInstallationId(const GUID& installationId) {
    std::wstring suffix = IsZeroGuid(installationId) ? L"" : L"&installId=" + FormatGuidText(installationId);
    std::lock_guard<std::mutex> lock(m_lock);
    m_strInstallIdSuffix = suffix;
}

std::wstring EventTracker::EventUrl(const std::wstring& event) const {
    std::lock_guard<std::mutex> lock(m_lock);
    return FillTemplate(m_strUrlTemplate, event) + m_strInstallIdSuffix;
}

void EventTracker::TrackEvent(const std::wstring& event, bool wait, const TrackingParameters* parameters) {
    try {
        std::wstring url = EventUrl(event);
        if (parameters) {
            for (const auto& [name, value] : parameters->InOrder()) {
                if (!name.empty() && !value.empty()) url += L"&" + name + L"=" + value;
            }
        }
        if (wait) {
            SendTrackingUrl(url);
        } else {
            SendUrlAsync(url);
        }
    } catch (const std::bad_alloc&) {
    }
}

void EventTracker::TrackResult(const std::wstring& description, const std::wstring& result) {
    try {
        TrackingParameters parameters;
        parameters.Set(L"description", description);
        parameters.Set(L"result", result);
        TrackEvent(L"TrackEvent", false, &parameters);
    } catch (const std::bad_alloc&) {
    }
}

void EventTracker::SendErrorEvent(const std::wstring& type, const std::wstring& code, const std::wstring& details,
                                  const std::wstring& page, const std::wstring& action) {
    try {
        std::wstring url = EventUrl(L"Error") + L"&errorType=" + type + L"&errorCode=" + code;
        if (!details.empty()) url += L"&errorDetails=" + EscapeValue(details);
        if (!page.empty()) url += L"&page=" + EscapeValue(page);
        if (!action.empty()) url += L"&action=" + EscapeValue(action);
        SendUrlAsync(url);
    } catch (CException* e) {
        e->Delete();  // an event that cannot be built is dropped
    } catch (const std::bad_alloc&) {
    }
}

void EventTracker::TrackWindowsError(HRESULT code, const std::wstring& page, const std::wstring& action) {
    wchar_t codeText[16];
    std::swprintf(codeText, 16, L"%08X", static_cast<unsigned>(code));
    SendErrorEvent(L"windowsDesktopError", codeText, L"", page, action);
}

void EventTracker::TrackGenericError(const std::wstring& code, const std::wstring& details, const std::wstring& page,
                                     const std::wstring& action) {
    if (code.empty() || details.empty()) return;
    SendErrorEvent(L"genericDesktopError", code, details, page, action);
}

void EventTracker::TrackException(const CException* exception, const std::wstring& page, const std::wstring& action) {
    if (!exception) return;
    HRESULT code = E_UNEXPECTED;
    const bool known = KnownExceptionCode(exception, code);
    if (known) {
        TrackWindowsError(code, L"", L"installing");
        return;
    }
    wchar_t message[kMaxExceptionMessageChars + 1];
    std::wstring details = exception->GetErrorMessage(message, ARRAYSIZE(message)) ? message : L"(not filled)";
    TrackGenericError(exception->GetRuntimeClass()->m_lpszClassName, details, page, action);
}

bool EventTracker::SendUrlAsync(const std::wstring& url) {
    auto* copy = new (std::nothrow) std::wstring;
    if (!copy) return false;
    try {
        *copy = url;
    } catch (const std::bad_alloc&) {
        delete copy;
        return false;
    }
    InterlockedIncrement(&g_pendingSends);
    HANDLE thread = CreateThread(nullptr, 0, SendUrlThread, copy, 0, nullptr);
    if (!thread) {
        InterlockedDecrement(&g_pendingSends);
        delete copy;
        return false;
    }
    CloseHandle(thread);
    return true;
}

bool EventTracker::NoSendsPending() { return InterlockedCompareExchange(&g_pendingSends, 0, 0) <= 0; }

bool EventTracker::WaitForPendingSends(DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    while (InterlockedCompareExchange(&g_pendingSends, 0, 0) > 0) {
        if (GetTickCount() - start >= timeoutMs) return false;
        Sleep(10);
    }
    return true;
}
