#pragma once
// The base of the HTTP client's component objects: an interlocked reference
// count and a lock. Objects are used on the thread that created them; the
// lock guards against a stray second caller.
#include <windows.h>

#include "framework/CriticalSection.h"

namespace WinHTTP {

class CWinHttpObject {
public:
    CWinHttpObject(const CWinHttpObject&) = delete;
    CWinHttpObject& operator=(const CWinHttpObject&) = delete;

protected:
    CWinHttpObject() = default;
    virtual ~CWinHttpObject() = default;

    ULONG AddReference() { return static_cast<ULONG>(InterlockedIncrement(&m_nReferences)); }
    ULONG ReleaseReference() {
        LONG remaining = InterlockedDecrement(&m_nReferences);
        if (remaining == 0) delete this;
        return static_cast<ULONG>(remaining);
    }

    class Lock : public ScopedLock {
    public:
        explicit Lock(CWinHttpObject& object) : ScopedLock(object.m_lock) {}
    };

private:
    LONG m_nReferences = 1;
    CriticalSection m_lock;  // cannot fail to initialise since Vista
};

}  // namespace WinHTTP
