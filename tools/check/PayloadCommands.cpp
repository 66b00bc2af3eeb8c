// Subcommands for payload files: verify, unpack, package, version.
#include <windows.h>

#include <cstdio>
#include <memory>
#include <new>

#include "CheckCommands.h"
#include "ConsoleOutput.h"
#include "framework/ExceptionCodes.h"
#include "framework/StdioFile.h"
#include "payload/BzFile.h"
#include "payload/MsiPackageQueries.h"
#include "payload/SignatureVerification.h"
#include "services/FileVersionInfo.h"

namespace {
std::wstring FullPath(const std::wstring& path) {
    wchar_t buffer[MAX_PATH * 4];
    DWORD length = GetFullPathNameW(path.c_str(), ARRAYSIZE(buffer), buffer, nullptr);
    return length == 0 || length >= ARRAYSIZE(buffer) ? path : std::wstring(buffer, length);
}

int Usage(const wchar_t* text) {
    PrintError(std::wstring(L"usage: wrenstall-check ") + text + L"\n");
    return 2;
}

// Copies the decompressed bytes of input to output; errors become HRESULTs.
HRESULT Unpack(const std::wstring& input, const std::wstring& output) {
    try {
        DecompressFile(input, output);
        return S_OK;
    } catch (CException* e) {
        HRESULT hr = HResultFromException(e);
        e->Delete();
        return hr;
    }
}
}  // namespace

int RunVerifyCommand(const CheckArguments& arguments) {
    std::wstring signer;
    if (arguments.size() == 3 && arguments[1] == L"--signer") {
        signer = FullPath(arguments[2]);
    } else if (arguments.size() != 1) {
        return Usage(L"verify FILE [--signer EXE]");
    }
    HRESULT hr = VerifySignature(FullPath(arguments[0]), signer);
    PrintResult(hr);
    return hr == S_OK ? 0 : 1;
}

int RunUnpackCommand(const CheckArguments& arguments) {
    if (arguments.size() != 2) return Usage(L"unpack IN OUT");
    HRESULT hr = Unpack(FullPath(arguments[0]), FullPath(arguments[1]));
    PrintResult(hr);
    return SUCCEEDED(hr) ? 0 : 1;
}

int RunPackageCommand(const CheckArguments& arguments) {
    if (arguments.size() != 1) return Usage(L"package MSI");
    std::wstring path = FullPath(arguments[0]);
    std::wstring productCode;
    bool installed = IsProductInstalled(path, productCode);
    PrintOut(L"ProductCode: " + productCode + L"\n");
    PrintOut(L"ProductVersion: " + ReadPackageProperty(path, L"ProductVersion") + L"\n");
    PrintOut(std::wstring(L"installed: ") + (installed ? L"yes" : L"no") + L"\n");
    return productCode.empty() ? 1 : 0;
}

int RunVersionCommand(const CheckArguments& arguments) {
    if (arguments.size() != 1) return Usage(L"version FILE");
    CFileVersionInfo info;
    std::wstring path = FullPath(arguments[0]);
    bool loaded = info.Create(path);
    for (int i = 0; i < CFileVersionInfo::StringCount; ++i) {
        auto index = static_cast<CFileVersionInfo::StringIndex>(i);
        PrintOut(std::wstring(CFileVersionInfo::StringName(index)) + L": " + info.GetString(index) + L"\n");
    }
    PackedVersion version = GetFileVersion(path);
    wchar_t line[96];
    std::swprintf(line, 96, L"fixed file version: %hu.%hu.%hu.%hu\n", static_cast<unsigned short>(version >> 48),
                  static_cast<unsigned short>(version >> 32), static_cast<unsigned short>(version >> 16),
                  static_cast<unsigned short>(version));
    PrintOut(line);
    return loaded ? 0 : 1;
}
