// wrenstall-check data [EXE]: the installer data that EXE (default: this tool)
// loads at start-up from its data file, the debug value or its trailer, with
// EXE's build arguments merged in. Like the wizard, it consumes the debug value.
#include <windows.h>

#include "CheckCommands.h"
#include "ConsoleOutput.h"
#include "config/BuildConfig.h"
#include "config/InstallerDataSources.h"
#include "config/InstallerDataStore.h"
#include "framework/ModulePath.h"
#include "framework/ScopedHandles.h"
#include "framework/Win32Error.h"

namespace {
std::wstring FullPath(const std::wstring& path) {
    wchar_t buffer[MAX_PATH * 4];
    DWORD length = GetFullPathNameW(path.c_str(), ARRAYSIZE(buffer), buffer, nullptr);
    return length == 0 || length >= ARRAYSIZE(buffer) ? path : std::wstring(buffer, length);
}

const wchar_t* FlagsText(const InstallerDataValue& value) {
    if (value.isPersistent) return L"private,persistent";
    return value.isPrivate ? L"private" : L"-";
}
}  // namespace

int RunDataCommand(const CheckArguments& arguments) {
    if (arguments.size() > 1) {
        PrintError(L"usage: wrenstall-check data [EXE]\n");
        return 2;
    }
    std::wstring programPath;
    if (arguments.empty()) {
        HRESULT hr = GetModulePath(nullptr, programPath);
        if (FAILED(hr)) {
            PrintFailure(L"finding this tool's own path", hr);
            return 1;
        }
    } else {
        programPath = FullPath(arguments[0]);
        if (GetFileAttributesW(programPath.c_str()) == INVALID_FILE_ATTRIBUTES) {
            PrintFailure(L"opening " + programPath, FailureFromLastError());
            return 1;
        }
    }

    BuildConfig config;
    ScopedModule module(LoadLibraryExW(programPath.c_str(), nullptr,
                                       LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    if (!module) {
        DWORD error = GetLastError();
        PrintFailure(error == ERROR_BAD_EXE_FORMAT ? programPath + L" is not a Windows program (PE file)"
                                                   : L"reading the resources of " + programPath,
                     error ? HResultFromWin32(static_cast<LONG>(error)) : E_FAIL);
        return 1;
    }
    LoadBuildConfig(config, module.Get());

    InstallerDataStore store;
    InitialInstallerData initial = LoadInitialInstallerData(store, programPath);
    ApplyBuildArguments(store, config);

    std::wstring text = std::wstring(L"source: ") + InstallerDataSourceName(initial.source) + L"\n";
    for (const auto& [key, value] : store.Entries()) {
        text += key + L"\t" + value.text + L"\t" + FlagsText(value) + L"\n";
    }
    PrintOut(text);
    return 0;
}
