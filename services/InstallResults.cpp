#include "services/InstallResults.h"

#include "framework/GuidText.h"
#include "services/EventTracker.h"

std::wstring ChooseResultsArguments(bool launchApplication, bool installScanStarted, const wchar_t* track) {
    if (!launchApplication) return L" -installresults -close";
    const std::wstring code = track ? track : L"";
    if (!installScanStarted && (code == L"GF0086" || code == L"GF0085")) return L" -installresultsscan";
    if (code == L"GF0089" || code == L"GF0090") return L" -installresultsskipupselldlg";
    return L" -installresults";
}

std::wstring BuildRegistrationUrl(const std::wstring& pageUrl, const wchar_t* upl, const GUID& machineId,
                                  const GUID& installationId) {
    std::wstring url = pageUrl;
    bool appended = false;
    if (upl) {
        url += L"?upl=" + EventTracker::EscapeValue(upl);
        appended = true;
    }
    if (!IsZeroGuid(machineId)) {
        url += (appended ? L"&machineId=" : L"?machineId=") + FormatGuidText(machineId);
        appended = true;
    }
    if (!IsZeroGuid(installationId)) {
        url += (appended ? L"&installId=" : L"?installId=") + FormatGuidText(installationId);
    }
    return url;
}
