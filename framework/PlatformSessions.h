#pragma once
// Owners of the per-process and per-thread platform start-ups: each ends what
// it started, and only when the start succeeded. Not copyable; used by the
// thread that started them.
#include <windows.h>
#include <objbase.h>

class ScopedWinsock {
public:
    ScopedWinsock() = default;
    ~ScopedWinsock();
    ScopedWinsock(const ScopedWinsock&) = delete;
    ScopedWinsock& operator=(const ScopedWinsock&) = delete;
    // Windows Sockets 2.2; the WSA error code, or 0.
    int Start();

private:
    bool m_bStarted = false;
};

class ScopedOle {
public:
    ScopedOle() = default;
    ~ScopedOle();
    ScopedOle(const ScopedOle&) = delete;
    ScopedOle& operator=(const ScopedOle&) = delete;
    HRESULT Initialize();

private:
    bool m_bInitialized = false;
};

class ScopedComApartment {
public:
    ScopedComApartment() = default;
    ~ScopedComApartment();
    ScopedComApartment(const ScopedComApartment&) = delete;
    ScopedComApartment& operator=(const ScopedComApartment&) = delete;
    // S_FALSE (already initialised on this thread) also counts as started.
    HRESULT Initialize(DWORD model = COINIT_APARTMENTTHREADED);
    // Ends it early (on the same thread); the destructor then does nothing.
    void Uninitialize();

private:
    bool m_bInitialized = false;
};

class ScopedGdiplus {
public:
    ScopedGdiplus() = default;
    ~ScopedGdiplus();
    ScopedGdiplus(const ScopedGdiplus&) = delete;
    ScopedGdiplus& operator=(const ScopedGdiplus&) = delete;
    // GDI+ version 1 with its background thread; the Gdiplus::Status as int (0 is Ok).
    int Start();
    void Shutdown();

private:
    ULONG_PTR m_token = 0;
};
