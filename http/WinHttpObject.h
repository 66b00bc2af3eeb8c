#pragma once
// The base of the HTTP client's component objects: an interlocked reference
// count and a lock. Objects are used on the thread that created them; the
// lock guards against a stray second caller.
#include <windows.h>

namespace WinHTTP {

class CWinHttpObject {
public:
    CWinHttpObject(const CWinHttpObject&) = delete;
    CWinHttpObject& operator=(const CWinHttpObject&) = delete;

    // False when the lock could not be made; such an object must not be used.
    bool IsInitialized() const { return m_bLockReady; }

protected:
    CWinHttpObject() { m_bLockReady = InitializeCriticalSectionAndSpinCount(&m_lock, 0) != FALSE; }
    virtual ~CWinHttpObject() {
        if (m_bLockReady) DeleteCriticalSection(&m_lock);
    }

    ULONG AddReference() { return static_cast<ULONG>(InterlockedIncrement(&m_nReferences)); }
    ULONG ReleaseReference() {
        LONG remaining = InterlockedDecrement(&m_nReferences);
        if (remaining == 0) delete this;
        return static_cast<ULONG>(remaining);
    }

    class Lock {
    public:
        explicit Lock(CWinHttpObject& object) : m_section(&object.m_lock) { EnterCriticalSection(m_section); }
        ~Lock() { LeaveCriticalSection(m_section); }
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

    private:
        CRITICAL_SECTION* m_section;
    };

private:
    LONG m_nReferences = 1;
    CRITICAL_SECTION m_lock;
    bool m_bLockReady = false;
};

}  // namespace WinHTTP
