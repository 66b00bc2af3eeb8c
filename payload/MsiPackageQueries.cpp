#include "payload/MsiPackageQueries.h"

#include <windows.h>
#include <msi.h>
#include <msiquery.h>

#include <vector>

#include "framework/ScopedHandles.h"
#include "services/FileVersionInfo.h"
#include "services/ProcessLaunching.h"
#include "services/SystemProbes.h"

namespace {
struct MsiHandleTraits {
    static MSIHANDLE Invalid() { return 0; }
    static bool IsValid(MSIHANDLE h) { return h != 0; }
    static void Close(MSIHANDLE h) { MsiCloseHandle(h); }
};
using ScopedMsiHandle = ScopedResource<MSIHANDLE, MsiHandleTraits>;

// Field 1 of a record as text; empty when it is empty or cannot be read.
std::wstring ReadRecordString(MSIHANDLE record) {
    wchar_t empty[1] = {L'\0'};
    DWORD length = 0;
    UINT result = MsiRecordGetStringW(record, 1, empty, &length);
    if (result != ERROR_MORE_DATA) return {};
    std::vector<wchar_t> value(length + 1);
    length += 1;
    if (MsiRecordGetStringW(record, 1, value.data(), &length) != ERROR_SUCCESS) return {};
    return std::wstring(value.data(), length);
}
}  // namespace

UINT CheckPackageOpens(const std::wstring& packagePath) {
    ScopedMsiHandle database;
    return MsiOpenDatabaseW(packagePath.c_str(), MSIDBOPEN_READONLY, database.Receive());
}

std::wstring ReadPackageProperty(const std::wstring& packagePath, const std::wstring& property) {
    if (property != L"ProductCode" && property != L"ProductVersion" && property != L"UpgradeCode") return {};
    ScopedMsiHandle database;
    if (MsiOpenDatabaseW(packagePath.c_str(), MSIDBOPEN_READONLY, database.Receive()) != ERROR_SUCCESS) return {};
    std::wstring query =
        L"SELECT `Property`.`Value` FROM `Property` WHERE `Property`.`Property`='" + property + L"'";
    ScopedMsiHandle view;
    if (MsiDatabaseOpenViewW(database.Get(), query.c_str(), view.Receive()) != ERROR_SUCCESS ||
        MsiViewExecute(view.Get(), 0) != ERROR_SUCCESS) {
        return {};
    }
    ScopedMsiHandle record;
    if (MsiViewFetch(view.Get(), record.Receive()) != ERROR_SUCCESS) return {};
    return ReadRecordString(record.Get());
}

std::vector<std::wstring> ReadPackageDirectories(const std::wstring& packagePath) {
    std::vector<std::wstring> directories;
    ScopedMsiHandle database;
    if (MsiOpenDatabaseW(packagePath.c_str(), MSIDBOPEN_READONLY, database.Receive()) != ERROR_SUCCESS) {
        return directories;
    }
    ScopedMsiHandle view;
    if (MsiDatabaseOpenViewW(database.Get(), L"SELECT `Directory` FROM `Directory`", view.Receive()) != ERROR_SUCCESS ||
        MsiViewExecute(view.Get(), 0) != ERROR_SUCCESS) {
        return directories;
    }
    ScopedMsiHandle record;
    while (MsiViewFetch(view.Get(), record.Receive()) == ERROR_SUCCESS) {
        std::wstring name = ReadRecordString(record.Get());
        if (!name.empty()) directories.push_back(name);
    }
    return directories;
}

PackedVersion ReadPackageVersion(const std::wstring& packagePath) {
    std::wstring version = ReadPackageProperty(packagePath, L"ProductVersion");
    return version.empty() ? 0 : ParseVersion(version);
}

bool IsProductInstalled(const std::wstring& packagePath, const std::wstring& appExe, std::wstring& productCode) {
    productCode = ReadPackageProperty(packagePath, L"ProductCode");
    if (productCode.empty()) return false;
    if (MsiQueryProductStateW(productCode.c_str()) == INSTALLSTATE_DEFAULT) return true;

    PackedVersion packageVersion = ReadPackageVersion(packagePath);
    PackedVersion fileVersion = 0;
    if (!appExe.empty()) {
        std::wstring path = ExpandProgramFilesPath(appExe);
        if (!path.empty()) fileVersion = GetFileVersion(path);
    }
    return (packageVersion >> 48) > 0 && (fileVersion >> 48) > 0 && packageVersion == fileVersion;
}

void RemoveOlderCleaner() {
    std::wstring command = FindUninstallString(L"Tidora");
    if (command.empty()) return;
    command += L" /qn";
    StartProcess(command);  // the uninstaller runs on its own
}
