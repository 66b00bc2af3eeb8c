#pragma once
// What the installer data's campaign code ("track") changes in the wizard's
// windows, in one place. Exact, case-sensitive codes.
#include <string>

// "NOX00011" and "NOX00012": the wizard moves into the notification area while it installs.
inline bool IsTrayCampaign(const wchar_t* track) {
    if (!track) return false;
    const std::wstring code = track;
    return code == L"NOX00011" || code == L"NOX00012";
}

// A campaign code other than "NOX00010" and "NOX00011" removes the main
// window's minimise box; without a code the box stays.
inline bool CampaignKeepsMinimizeBox(const wchar_t* track) {
    if (!track) return true;
    const std::wstring code = track;
    return code == L"NOX00010" || code == L"NOX00011";
}
