// wrenstall-check data [EXE]: the installer data that EXE (default: this tool)
// loads at start-up from its data file, the debug value or its trailer, with
// EXE's build arguments merged in. Like the wizard, it consumes the debug value.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "CheckCommands.h"
#include "ConsoleOutput.h"
#include "config/BuildConfig.h"
#include "config/InstallerDataSources.h"
#include "config/InstallerDataStore.h"
#include "framework/ModulePath.h"
#include "framework/ScopedHandles.h"
#include "framework/Win32Error.h"
#include "tools/tag/InstallerDataTag.h"
#include "tools/tag/PeCertificateTable.h"

namespace {
std::wstring FullPath(const std::wstring& path) {
    wchar_t buffer[MAX_PATH * 4];
    DWORD length = GetFullPathNameW(path.c_str(), ARRAYSIZE(buffer), buffer, nullptr);
    return length == 0 || length >= ARRAYSIZE(buffer) ? path : std::wstring(buffer, length);
}

// "appended" or "strict": where the trailer lies in the certificate table;
// "unknown" when the file cannot be read or its table not be made sense of.
std::wstring TrailerLayoutText(const std::wstring& programPath) {
    ScopedHandle file(CreateFileW(programPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size;
    if (!file || !GetFileSizeEx(file.Get(), &size) || size.QuadPart >= 0x80000000LL) return L"unknown";
    std::vector<uint8_t> image;
    try {
        image.resize(static_cast<size_t>(size.QuadPart));
    } catch (...) {
        return L"unknown";
    }
    DWORD read = 0;
    if (!ReadFile(file.Get(), image.data(), static_cast<DWORD>(image.size()), &read, nullptr) ||
        read != image.size()) {
        return L"unknown";
    }
    InstallerDataLayout layout;
    std::string error;
    if (!FindInstallerDataLayout(image, layout, error)) return L"unknown";
    const char* name = InstallerDataLayoutName(layout);
    return std::wstring(name, name + std::char_traits<char>::length(name));
}

// "MZ" and a "PE\0\0" signature where the DOS header points.
bool StartsLikeAWindowsProgram(const std::wstring& programPath) {
    ScopedHandle file(CreateFileW(programPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    uint8_t header[64];
    DWORD read = 0;
    if (!file || !ReadFile(file.Get(), header, sizeof(header), &read, nullptr) || read != sizeof(header)) return false;
    if (header[0] != 'M' || header[1] != 'Z') return false;
    LARGE_INTEGER offset;
    offset.QuadPart = ReadLittleEndian32(header + 0x3C);
    uint8_t signature[4];
    return SetFilePointerEx(file.Get(), offset, nullptr, FILE_BEGIN) &&
           ReadFile(file.Get(), signature, sizeof(signature), &read, nullptr) && read == sizeof(signature) &&
           signature[0] == 'P' && signature[1] == 'E' && signature[2] == 0 && signature[3] == 0;
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
        HRESULT hr = error ? HResultFromWin32(static_cast<LONG>(error)) : E_FAIL;
        if (!StartsLikeAWindowsProgram(programPath)) {
            PrintFailure(programPath + L" is not a Windows program (PE file)", hr);
            return 1;
        }
        // A PE file this 32-bit tool cannot map (a 64-bit image, say): its
        // trailer still reads; only the build configuration is not known.
        PrintFailure(L"reading the resources of " + programPath + L" (the build configuration is left out)", hr);
    } else {
        LoadBuildConfig(config, module.Get());
    }

    InstallerDataStore store;
    InitialInstallerData initial = LoadInitialInstallerData(store, programPath);
    ApplyBuildArguments(store, config);

    std::wstring text = std::wstring(L"source: ") + InstallerDataSourceName(initial.source) + L"\n";
    if (initial.source == InstallerDataSource::Trailer) text += L"layout: " + TrailerLayoutText(programPath) + L"\n";
    for (const auto& [key, value] : store.Entries()) {
        text += key + L"\t" + value.text + L"\t" + FlagsText(value) + L"\n";
    }
    PrintOut(text);
    return 0;
}
