#include <string>

#include "app/Program.h"
#include "framework/DiagnosticOutput.h"
#include "framework/OptionalFunctions.h"

namespace {
// Loaded by full path from the system directory so that no copy beside the
// program (a download folder) is ever picked up.
const wchar_t* const kPreloadedLibraries[] = {
    L"BCRYPT.DLL", L"RSAENH.DLL",  L"CRYPT32.DLL", L"MSASN1.DLL",  L"USERENV.DLL", L"WINTRUST.DLL", L"GDIPLUS.DLL",
    L"MSI.DLL",    L"OLEACC.DLL", L"OLEDLG.DLL",  L"RICHED20.DLL", L"VERSION.DLL", L"WINHTTP.DLL",
};
const DWORD kLoadLibrarySearchSystem32 = 0x800;
}  // namespace

void CProgram::HardenDllSearchPath() {
    WriteDiagnostic(L"Calling SetDllDirectory\n");
    SetDllDirectoryW(L"");

    SetDefaultDllDirectoriesFunction setDefaultDllDirectories = FindSetDefaultDllDirectories();
    if (!setDefaultDllDirectories) {
        WriteDiagnostic(L"Failed to load SetDefaultDlLDirectories\n");
    } else if (setDefaultDllDirectories(kLoadLibrarySearchSystem32)) {
        WriteDiagnostic(L"Succeeded to SetDefaultDlLDirectories\n");
    } else {
        WriteDiagnostic(L"Failed to SetDefaultDlLDirectories\n");
    }

    wchar_t systemDirectory[MAX_PATH];
    UINT length = GetSystemDirectoryW(systemDirectory, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    std::wstring directory(systemDirectory, length);
    directory += L'\\';

    for (const wchar_t* library : kPreloadedLibraries) {
        std::wstring path = directory + library;
        if (path.size() >= MAX_PATH) {
            WriteDiagnostic(L"Failed to append filename on system path\n");
            continue;
        }
        WriteDiagnostic((L"Loading " + path + L"\n").c_str());
        LoadLibraryW(path.c_str());
    }
}
