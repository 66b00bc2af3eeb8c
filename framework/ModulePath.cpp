#include "framework/ModulePath.h"

#include <new>
#include <vector>

#include "framework/Win32Error.h"

HRESULT GetModulePath(HMODULE module, std::wstring& path) {
    const DWORD capacity = 32767;
    std::vector<wchar_t> buffer;
    try {
        buffer.resize(capacity);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    DWORD length = GetModuleFileNameW(module, buffer.data(), capacity);
    if (length == 0) return FailureFromLastError();
    if (length >= capacity) return HResultFromWin32(ERROR_INSUFFICIENT_BUFFER);
    path.assign(buffer.data(), length);
    return S_OK;
}
