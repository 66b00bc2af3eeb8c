#include "ui/labels/TextServicesLibrary.h"

#include <cwchar>

#include "framework/ComPtr.h"
#include "framework/DiagnosticOutput.h"

const IID kIidTextServices = {0x8D33F740, 0xCF58, 0x11CE, {0xA8, 0x9D, 0x00, 0xAA, 0x00, 0x6C, 0xAD, 0xC5}};

namespace {

PCreateTextServices g_createTextServices = nullptr;
bool g_bLoadTried = false;

void ReportLoadFailure(const wchar_t* what) {
    wchar_t line[160];
    swprintf(line, 160, L"Rich text labels unavailable: %ls failed with 0x%08X for riched20.dll\n", what,
             static_cast<unsigned>(HRESULT_FROM_WIN32(GetLastError())));
    WriteDiagnostic(line);
}

}  // namespace

bool LoadTextServicesLibrary() {
    if (g_bLoadTried) return g_createTextServices != nullptr;
    g_bLoadTried = true;
    HMODULE library = LoadLibraryExW(L"riched20.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (library == nullptr && GetLastError() == ERROR_INVALID_PARAMETER)
        library = LoadLibraryW(L"riched20.dll");  // systems without the search flags
    if (library == nullptr) {
        ReportLoadFailure(L"LoadLibrary");
        return false;
    }
    g_createTextServices = reinterpret_cast<PCreateTextServices>(
        reinterpret_cast<void*>(GetProcAddress(library, "CreateTextServices")));
    if (g_createTextServices == nullptr) ReportLoadFailure(L"GetProcAddress(CreateTextServices)");
    return g_createTextServices != nullptr;
}

HRESULT CreateTextServicesFor(ITextHost* host, ITextServices** services) {
    if (services == nullptr) return E_POINTER;
    *services = nullptr;
    if (host == nullptr) return E_INVALIDARG;
    if (!LoadTextServicesLibrary()) return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
    ComPtr<IUnknown> unknown;
    HRESULT hr = g_createTextServices(nullptr, host, unknown.Receive());
    if (FAILED(hr)) return hr;
    if (!unknown) return E_UNEXPECTED;
    return unknown->QueryInterface(kIidTextServices, reinterpret_cast<void**>(services));
}
