#pragma once
// Questions to the installer service about a package and the installed
// product. Errors of the service are swallowed: the answers are empty, 0 or
// false, and the package is then treated as not installed.
#include <windows.h>

#include <string>
#include <vector>

#include "services/PackedVersion.h"

// ERROR_SUCCESS when the installer service opens packagePath as a package
// (read-only), otherwise the service's error code.
UINT CheckPackageOpens(const std::wstring& packagePath);
// "ProductCode", "ProductVersion" or "UpgradeCode" from the package's Property table, or empty.
std::wstring ReadPackageProperty(const std::wstring& packagePath, const std::wstring& property);
PackedVersion ReadPackageVersion(const std::wstring& packagePath);
// The keys of the package's Directory table (the properties that name its folders).
std::vector<std::wstring> ReadPackageDirectories(const std::wstring& packagePath);
// Installed under its ProductCode, or "AppExe" carries the package's version.
// appExe: the build configuration's "AppExe" (empty: none); its file version
// equal to the package's also counts as installed.
bool IsProductInstalled(const std::wstring& packagePath, const std::wstring& appExe, std::wstring& productCode);
// Starts the silent uninstall of the maker's older cleaner ("Tidora") when present.
void RemoveOlderCleaner();
