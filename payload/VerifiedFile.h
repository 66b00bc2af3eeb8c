#pragma once
// CVerifiedFile: a file whose signature was checked and that nobody can
// change since. It is opened denying others write and delete access before
// the check and stays so until the owner releases it, which it does only
// after the installer service or the new process has opened the file, so the
// file that runs is exactly the file that was checked. Not copyable; used on
// one thread.
#include <windows.h>

#include <string>

#include "framework/ScopedHandles.h"

class CVerifiedFile {
public:
    CVerifiedFile() = default;
    CVerifiedFile(const CVerifiedFile&) = delete;
    CVerifiedFile& operator=(const CVerifiedFile&) = delete;

    // Holds path against writers, then VerifySignature (against the default
    // signer). 0 when accepted and held; otherwise the reason, and nothing is
    // held. A file that another program has open for writing is not accepted.
    HRESULT HoldAndVerify(const std::wstring& path);
    void Release() { m_file.Reset(); }

private:
    ScopedHandle m_file;
};
