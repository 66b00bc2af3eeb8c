#pragma once
// Where the maker's servers are: "http://host[:port]" of the tracking and of
// the RPC endpoint. The build configuration's "TrackingEndpoint" and
// "RpcEndpoint" name them for one copy of the program (a test, a demo, a
// staging build); without them the hosts the program was built with apply.
#include <string>

#include "config/BuildConfig.h"
#include "config/InstallerDataStore.h"

std::wstring GetTrackingEndpoint(const BuildConfig& config);
std::wstring GetRpcEndpoint(const BuildConfig& config);

// True when url (http or https) names the scheme, host and port of one of
// the addresses the build configuration names: "Payload"'s URL, "NoxUrl",
// "GearfreshEnUrl", "RegistrationPageUrl", "InstallScanResultUrl" and the
// two endpoints. Host names compare ignoring case.
bool IsBuildConfigHost(const BuildConfig& config, const std::wstring& url);

// The "InstallerFinishedS2S" address of data when IsBuildConfigHost allows
// it, else null (logged). Installer data comes from outside the signed file
// (a trailer, a file, a registry value, a server answer): it may choose an
// address on the build configuration's hosts, never name a new host for the
// elevated program to call. Valid until data changes.
const wchar_t* InstallerFinishedNoticeUrl(const BuildConfig& config, const InstallerDataStore& data);
