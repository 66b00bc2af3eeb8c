#pragma once
// InstallerDataLock: keeps readers of the installer data store out while the
// controller replaces its contents with the server's answer. Readers on the
// user-interface thread hold a Read for as long as they use texts from the
// store; the server update holds a Write only while it changes the store
// (not while it waits for the server). Any thread; not recursive.
#include <windows.h>

#include <atomic>

class InstallerDataLock {
public:
    InstallerDataLock() = default;
    InstallerDataLock(const InstallerDataLock&) = delete;
    InstallerDataLock& operator=(const InstallerDataLock&) = delete;

    class Read {
    public:
        explicit Read(InstallerDataLock& lock) : m_lock(lock) { AcquireSRWLockShared(&m_lock.m_lock); }
        ~Read() { ReleaseSRWLockShared(&m_lock.m_lock); }
        Read(const Read&) = delete;
        Read& operator=(const Read&) = delete;

    private:
        InstallerDataLock& m_lock;
    };

    class Write {
    public:
        explicit Write(InstallerDataLock& lock) : m_lock(lock) {
            ++m_lock.m_nWaitingWriters;
            AcquireSRWLockExclusive(&m_lock.m_lock);
            --m_lock.m_nWaitingWriters;
        }
        ~Write() { ReleaseSRWLockExclusive(&m_lock.m_lock); }
        Write(const Write&) = delete;
        Write& operator=(const Write&) = delete;

    private:
        InstallerDataLock& m_lock;
    };

    // Writers waiting for the readers to leave (for diagnostics and tests).
    int WaitingWriters() const { return m_nWaitingWriters; }

private:
    SRWLOCK m_lock = SRWLOCK_INIT;
    std::atomic<int> m_nWaitingWriters{0};
};
