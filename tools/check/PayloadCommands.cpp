// Subcommands for payload files: verify, unpack, package, version.
#include <windows.h>

#include <cstdio>
#include <memory>
#include <new>

#include "CheckCommands.h"
#include "ConsoleOutput.h"
#include "OutputFile.h"
#include "framework/ExceptionCodes.h"
#include "framework/StdioFile.h"
#include "framework/Win32Error.h"
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

// Copies the decompressed bytes of input to output (replacing a file that is
// there: the person running the tool names it); errors become HRESULTs and
// leave no output behind.
HRESULT Unpack(const std::wstring& input, const std::wstring& output) {
    if (!DeleteFileW(output.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND) return FailureFromLastError();
    try {
        DecompressFile(input, output);
        return S_OK;
    } catch (CException* e) {
        HRESULT hr = HResultFromException(e);
        e->Delete();
        DeleteFileW(output.c_str());  // no partial output
        return hr;
    }
}

// False, with the failure printed, when path cannot be opened for reading.
bool CheckReadable(const std::wstring& path) {
    if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    PrintFailure(L"opening " + path, FailureFromLastError());
    return false;
}
}  // namespace

int RunVerifyCommand(const CheckArguments& arguments) {
    std::wstring signer;
    if (arguments.size() == 3 && arguments[1] == L"--signer") {
        signer = FullPath(arguments[2]);
    } else if (arguments.size() != 1) {
        return Usage(L"verify FILE [--signer EXE]");
    }
    const std::wstring path = FullPath(arguments[0]);
    HRESULT hr = VerifySignature(path, signer);
    if (hr != S_OK) {
        PrintFailure(L"verifying the signature of " + path + L" against " + (signer.empty() ? L"this tool's signer" : signer), hr);
    }
    PrintResult(hr);
    return hr == S_OK ? 0 : 1;
}

int RunUnpackCommand(const CheckArguments& arguments) {
    if (arguments.size() != 2) return Usage(L"unpack IN OUT");
    const std::wstring input = FullPath(arguments[0]);
    OutputFile output(FullPath(arguments[1]));
    HRESULT hr = Unpack(input, output.TemporaryPath());
    if (FAILED(hr)) {
        PrintFailure(L"unpacking " + input + L" into " + output.Path(), hr);
    } else if (FAILED(hr = output.Commit())) {
        PrintFailure(L"moving the unpacked bytes to " + output.Path(), hr);
    }
    PrintResult(hr);
    return SUCCEEDED(hr) ? 0 : 1;
}

int RunPackageCommand(const CheckArguments& arguments) {
    if (arguments.size() != 1) return Usage(L"package MSI");
    const std::wstring path = FullPath(arguments[0]);
    if (!CheckReadable(path)) return 1;
    if (UINT error = CheckPackageOpens(path)) {
        PrintFailure(L"opening " + path + L" as an installer package (MSI)", HResultFromWin32(static_cast<LONG>(error)));
        return 1;
    }
    std::wstring productCode;
    bool installed = IsProductInstalled(path, L"", productCode);
    if (productCode.empty()) {
        PrintProblem(path + L" has no ProductCode in its Property table: not an installable package");
        return 1;
    }
    PrintOut(L"ProductCode: " + productCode + L"\n");
    PrintOut(L"ProductVersion: " + ReadPackageProperty(path, L"ProductVersion") + L"\n");
    PrintOut(std::wstring(L"installed: ") + (installed ? L"yes" : L"no") + L"\n");
    return 0;
}

int RunVersionCommand(const CheckArguments& arguments) {
    if (arguments.size() != 1) return Usage(L"version FILE");
    const std::wstring path = FullPath(arguments[0]);
    if (!CheckReadable(path)) return 1;
    CFileVersionInfo info;
    if (!info.Create(path)) {
        DWORD ignored = 0;
        HRESULT hr = GetFileVersionInfoSizeW(path.c_str(), &ignored) == 0 ? FailureFromLastError() : E_FAIL;
        PrintFailure(L"reading the version resource of " + path, hr);
        return 1;
    }
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
    return 0;
}
