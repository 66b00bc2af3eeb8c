#pragma once
// CVerifiedFile: a file whose signature was checked and that nobody can
// change since. It is opened, through no link, denying others write and
// delete access before the check, the check reads it through that handle,
// and it stays so until the owner releases it, which it does only after the
// installer service or the new process has opened the file, so the file that
// runs is exactly the file that was checked. A file the check rejects is
// deleted. Not copyable; used on one thread.
#include <windows.h>

#include <string>

#include "framework/ScopedHandles.h"

class CVerifiedFile {
public:
    CVerifiedFile() = default;
    CVerifiedFile(const CVerifiedFile&) = delete;
    CVerifiedFile& operator=(const CVerifiedFile&) = delete;

    // Holds path against writers, then VerifySignature (against the default
    // signer) through the held handle. 0 when accepted and held; otherwise
    // the reason, and nothing is held. A file that another program has open
    // for writing, or that is reached through a link, is not accepted. With
    // deleteRejected (the caller's own download) a file whose signature is
    // rejected is deleted, so that nothing unverified is left for later.
    HRESULT HoldAndVerify(const std::wstring& path, bool deleteRejected = false);
    void Release() { m_file.Reset(); m_path.clear(); }
    // Takes over what other holds (other then holds nothing).
    void TakeFrom(CVerifiedFile& other) {
        m_file = std::move(other.m_file);
        m_path = std::move(other.m_path);
        other.Release();
    }
    bool IsHeld() const { return m_file.IsValid(); }
    // The held file (readable) and its path; valid while held.
    HANDLE Handle() const { return m_file.Get(); }
    const std::wstring& Path() const { return m_path; }

private:
    ScopedHandle m_file;
    std::wstring m_path;
};
