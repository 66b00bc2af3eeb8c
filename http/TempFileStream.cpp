#include <shlwapi.h>

#include "framework/Win32Error.h"
#include "http/DownloadToStream.h"

HRESULT CreateTempFileStream(const wchar_t* prefix, IStream** stream, std::wstring& path) {
    if (!stream) return E_POINTER;
    *stream = nullptr;
    wchar_t folder[261];
    DWORD length = GetTempPathW(ARRAYSIZE(folder), folder);
    if (length == 0 || length >= ARRAYSIZE(folder)) return FailureFromLastError();
    wchar_t name[261];
    if (GetTempFileNameW(folder, prefix ? prefix : L"", 0, name) == 0) return FailureFromLastError();
    HRESULT hr = SHCreateStreamOnFileEx(name, STGM_CREATE | STGM_WRITE | STGM_SHARE_DENY_NONE, FILE_ATTRIBUTE_NORMAL,
                                        TRUE, nullptr, stream);
    if (FAILED(hr)) {
        DeleteFileW(name);  // GetTempFileNameW created it; nobody else will
        return hr;
    }
    try {
        path = name;
    } catch (...) {
        (*stream)->Release();
        *stream = nullptr;
        DeleteFileW(name);
        return E_OUTOFMEMORY;
    }
    return S_OK;
}
