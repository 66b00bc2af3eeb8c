#include "payload/VerifiedFile.h"

#include <cstdio>

#include "framework/DiagnosticOutput.h"
#include "framework/ProtectedFolder.h"
#include "framework/Win32Error.h"
#include "payload/SignatureVerification.h"

HRESULT CVerifiedFile::HoldAndVerify(const std::wstring& path, bool deleteRejected) {
    Release();
    // Others may read (the installer opens the file by path) but neither
    // write, delete nor rename it while it is held.
    ScopedHandle file;
    HRESULT hr = OpenFileHeldForReading(path, file);
    if (FAILED(hr)) {
        wchar_t line[112];
        std::swprintf(line, 112, L"Signature check: cannot hold the file against writers (0x%08lX): ",
                      static_cast<unsigned long>(hr));
        WriteDiagnostic((line + path + L"\n").c_str());
        return hr;
    }
    hr = VerifySignature(path, L"", file.Get());
    if (FAILED(hr)) {
        if (!deleteRejected) return hr;
        // Nothing unverified is left behind for anyone to run later. The
        // held handle has no delete access (the installer service opens the
        // file without delete sharing), so the name is deleted once let go;
        // it lies in a folder that only administrators can change.
        file.Reset();
        if (DeleteFileW(path.c_str())) {
            WriteDiagnostic((L"Signature check: the rejected file is deleted: " + path + L"\n").c_str());
        }
        return hr;
    }
    m_file = std::move(file);
    m_path = path;
    return S_OK;
}
