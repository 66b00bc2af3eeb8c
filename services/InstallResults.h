#pragma once
// The pieces of the end-of-wizard launch that are plain rules: the installed
// application's results switches and the registration page's address.
#include <windows.h>

#include <string>

// The switches for the installed application's results mode. track: the
// installer data's campaign code, or null.
std::wstring ChooseResultsArguments(bool launchApplication, bool installScanStarted, const wchar_t* track);

// pageUrl with "upl" (escaped as tracking values are, when upl is not null)
// and the identifiers that are not all zeros appended as query parameters.
std::wstring BuildRegistrationUrl(const std::wstring& pageUrl, const wchar_t* upl, const GUID& machineId,
                                  const GUID& installationId);
