#include <objbase.h>

#include <cstdio>

#include "framework/FileHandleStream.h"
#include "framework/ProtectedFolder.h"
#include "framework/Win32Error.h"
#include "http/DownloadToStream.h"

namespace {
const int kNameAttempts = 16;

// prefix, eight random hexadecimal digits, ".tmp".
std::wstring RandomFileName(const wchar_t* prefix) {
    GUID guid = {};
    CoCreateGuid(&guid);
    wchar_t name[64];
    std::swprintf(name, 64, L"%.16ls%08lX.tmp", prefix ? prefix : L"", static_cast<unsigned long>(guid.Data1));
    return name;
}
}  // namespace

HRESULT CreateTempFileStream(const wchar_t* prefix, IStream** stream, std::wstring& path) {
    if (!stream) return E_POINTER;
    *stream = nullptr;
    try {
        // The process's protected working folder, not the user's temporary
        // folder: there, another program of the user could plant a link at
        // the name or change the file after it was checked.
        std::wstring folder;
        HRESULT hr = GetWorkFolder(folder);
        if (FAILED(hr)) return hr;
        for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
            std::wstring name = folder + L"\\" + RandomFileName(prefix);
            ScopedHandle file;
            // Others may read, never write or delete, while the download fills it.
            hr = CreateExclusiveFile(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, file);
            if (hr == HRESULT_FROM_WIN32(ERROR_FILE_EXISTS)) continue;
            if (FAILED(hr)) return hr;
            path = name;
            // A download stops while its volume still has room for the installer.
            hr = CreateFileHandleStream(file, stream, name);
            if (FAILED(hr)) {
                FILE_DISPOSITION_INFO disposition = {TRUE};
                SetFileInformationByHandle(file.Get(), FileDispositionInfo, &disposition, sizeof(disposition));
            }
            return hr;
        }
        return hr;
    } catch (...) {
        if (*stream) {
            (*stream)->Release();
            *stream = nullptr;
        }
        return E_OUTOFMEMORY;
    }
}
