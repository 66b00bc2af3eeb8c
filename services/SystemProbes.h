#pragma once
// Read-only questions about the system and the maker's products. Values that
// cannot change during a run are computed once per process. Nothing here
// writes to the system.
#include <windows.h>

#include <functional>
#include <string>

#include "services/PackedVersion.h"

#include "framework/OptionalFunctions.h"  // IsWow64

bool IsOsVersionAtLeast(DWORD major, DWORD minor);
// Major and minor from RtlGetVersion; raises the platform error when ntdll
// or the function is missing.
PackedVersion GetOsVersion();
// "platformOS=Windows" and, when RtlGetVersion answers, "&platformOSVersion=M.m".
const std::wstring& GetPlatformText();

// The installed .NET Framework: the greater of the release probe and the
// enumeration of the NDP key; 0 when none.
PackedVersion GetDotNetVersion();

std::wstring FindUninstallString(const std::wstring& displayName);
std::wstring ExpandProgramFilesPath(const std::wstring& path);
bool IsNoxInstallable(std::wstring& reason);
bool IsGearfreshInstallable(std::wstring& reason);
// A string value (up to 32,767 characters) of the installed product's
// persisted installer data, or empty.
std::wstring ReadInstalledInstallerDataValue(const std::wstring& productName, const wchar_t* name);
// "upl" of the installed product's persisted installer data, or empty.
std::wstring ReadInstalledUpl(const std::wstring& productName);
// A string of up to 260 characters, or "NA".
std::wstring ReadStringOrNA(HKEY key, const wchar_t* valueName);
// Raises the HRESULT of SHGetFolderPathW on failure.
std::wstring GetCommonDocumentsFolder();
std::wstring ExpandEnvironment(const std::wstring& text);

// Placeholder values for configuration strings: "OS" ("ARK", "VER"), "ID"
// ("MACH", "INST") and "DATA" (any installer-data key). 0x80070490 when unknown.
struct PlaceholderContext {
    GUID machineId = {};
    GUID installationId = {};
    // The installer data's value for a key, or null; may be empty (no data).
    std::function<const wchar_t*(const std::wstring&)> installerData;
};
HRESULT ResolveVariable(const std::wstring& name, const std::wstring& group, const PlaceholderContext& context,
                        std::wstring& value);
