#include "payload/PayloadVersionCheck.h"

#include <msi.h>

#include "framework/DiagnosticOutput.h"
#include "payload/MsiPackageQueries.h"
#include "services/FileVersionInfo.h"
#include "services/SystemProbes.h"

namespace {
// The newest version among the installed products of upgradeCode (0: none).
PackedVersion NewestRelatedVersion(const std::wstring& upgradeCode) {
    PackedVersion newest = 0;
    if (upgradeCode.empty()) return newest;
    for (DWORD index = 0;; ++index) {
        wchar_t product[39] = {};
        if (MsiEnumRelatedProductsW(upgradeCode.c_str(), 0, index, product) != ERROR_SUCCESS) break;
        wchar_t version[64] = {};
        DWORD length = ARRAYSIZE(version);
        if (MsiGetProductInfoW(product, INSTALLPROPERTY_VERSIONSTRING, version, &length) == ERROR_SUCCESS) {
            const PackedVersion found = ParseVersion(version);
            if (found > newest) newest = found;
        }
    }
    return newest;
}
}  // namespace

HRESULT CheckNotADowngrade(const std::wstring& packagePath, const std::wstring& appExe, PackedVersion minimum,
                           PackedVersion& installed) {
    const PackedVersion package = ReadPackageVersion(packagePath);
    installed = NewestRelatedVersion(ReadPackageProperty(packagePath, L"UpgradeCode"));
    if (!appExe.empty()) {
        const std::wstring path = ExpandProgramFilesPath(appExe);
        const PackedVersion fileVersion = path.empty() ? 0 : GetFileVersion(path);
        if (fileVersion > installed) installed = fileVersion;
    }
    const PackedVersion floor = installed > minimum ? installed : minimum;
    if (package >= floor) return S_OK;
    WriteDiagnosticFormat(L"Payload refused as a downgrade (0x%08lX): version %ls, installed %ls, the build expects "
                          L"at least %ls: %ls\n",
                          static_cast<unsigned long>(kPayloadDowngrade), FormatVersion(package, 4).c_str(),
                          FormatVersion(installed, 4).c_str(), FormatVersion(minimum, 4).c_str(), packagePath.c_str());
    return kPayloadDowngrade;
}
