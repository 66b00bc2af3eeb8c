#include "payload/VerifiedFile.h"

#include <cstdio>

#include "framework/DiagnosticOutput.h"
#include "framework/Win32Error.h"
#include "payload/SignatureVerification.h"

HRESULT CVerifiedFile::HoldAndVerify(const std::wstring& path) {
    Release();
    // Others may read (the trust check and the installer open the file by
    // path) but neither write, delete nor rename it while it is held.
    ScopedHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        HRESULT hr = FailureFromLastError();
        wchar_t line[96];
        std::swprintf(line, 96, L"Signature check: cannot hold the file against writers (0x%08lX): ",
                      static_cast<unsigned long>(hr));
        WriteDiagnostic((line + path + L"\n").c_str());
        return hr;
    }
    HRESULT hr = VerifySignature(path);
    if (FAILED(hr)) return hr;
    m_file = std::move(file);
    return S_OK;
}
