// wrenstall-check data [EXE]: the installer data that EXE (default: this tool)
// loads at start-up from its data file, the debug value or its trailer, with
// EXE's build arguments merged in. Like the wizard, it consumes the debug value.
// Prints the source, a source that was present but could not be read (its
// HRESULT and message), what became of the debug value, whether the wizard
// would ask the server next, the markers, the bare arguments and the entries.
#include <windows.h>

#include <cstdio>
#include <new>
#include <string>

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

std::wstring SystemMessage(HRESULT hr) {
    LPWSTR text = nullptr;
    DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, static_cast<DWORD>(hr), 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    if (length == 0 || !text) return L"(no message)";
    std::wstring message(text, length);
    LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' ')) {
        message.pop_back();
    }
    return message;
}

std::wstring HResultText(HRESULT hr) {
    wchar_t code[16];
    std::swprintf(code, ARRAYSIZE(code), L"0x%08X", static_cast<unsigned>(hr));
    return code + (L" " + SystemMessage(hr));
}

std::wstring LoadReport(const InitialInstallerData& initial) {
    std::wstring text;
    if (initial.failedSource != InstallerDataSource::None) {
        text += std::wstring(L"not loaded: ") + InstallerDataSourceName(initial.failedSource) + L" " +
                HResultText(initial.failure) + L"\n";
    }
    if (initial.debugLookedFor && initial.debug.found) {
        text += SUCCEEDED(initial.debug.removal)
                    ? L"debug value: removed\n"
                    : L"debug value: not removed: " + HResultText(initial.debug.removal) + L"\n";
    }
    text += initial.ready ? L"server: not asked\n" : L"server: asked next\n";
    return text;
}

// Values this long are shown cut, with their length, so that a huge value
// does not need copies of itself to be printed.
const size_t kShownValueChars = 4096;

std::wstring ShownValue(const std::wstring& value) {
    if (value.size() <= kShownValueChars) return value;
    return value.substr(0, kShownValueChars) + L"... (" + std::to_wstring(value.size()) + L" characters)";
}

std::wstring StoreReport(const InstallerDataStore& store) {
    std::wstring text;
    if (store.DoNotErase()) text += L"marker: +DO_NOT_ERASE+\n";
    if (store.DoNotSave()) text += L"marker: +DO_NOT_SAVE+\n";
    for (const InstallerDataItem& item : store.Items()) {
        if (item.kind == InstallerDataItem::BareArgument) text += L"argument: " + item.text + L"\n";
    }
    for (const auto& [key, value] : store.Entries()) {
        text += ShownValue(key) + L"\t" + ShownValue(value.text) + L"\t" + FlagsText(value) + L"\n";
    }
    return text;
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
            PrintResult(hr);
            return 1;
        }
    } else {
        programPath = FullPath(arguments[0]);
        if (GetFileAttributesW(programPath.c_str()) == INVALID_FILE_ATTRIBUTES) {
            HRESULT hr = FailureFromLastError();
            PrintError(L"wrenstall-check: cannot open " + programPath + L"\n");
            PrintResult(hr);
            return 1;
        }
    }

    BuildConfig config;
    ScopedModule module(LoadLibraryExW(programPath.c_str(), nullptr,
                                       LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    if (module) LoadBuildConfig(config, module.Get());

    InstallerDataStore store;
    InitialInstallerData initial = LoadInitialInstallerData(store, programPath);
    ApplyBuildArguments(store, config);

    try {
        PrintOut(std::wstring(L"source: ") + InstallerDataSourceName(initial.source) + L"\n" + LoadReport(initial) +
                 StoreReport(store));
    } catch (const std::bad_alloc&) {
        PrintError(L"wrenstall-check: out of memory while printing the installer data\n");
        return 1;
    }
    return initial.failedSource == InstallerDataSource::None ? 0 : 1;
}
