#pragma once
// CMemoryDC: an off-screen device context compatible with another one,
// deleted with the object. Whatever is selected into it must be selected
// out (ScopedSelection) before the object it selects is deleted.
#include <windows.h>

class CMemoryDC {
public:
    explicit CMemoryDC(HDC compatibleWith) : m_dc(CreateCompatibleDC(compatibleWith)) {}
    ~CMemoryDC() {
        if (m_dc) DeleteDC(m_dc);
    }
    CMemoryDC(const CMemoryDC&) = delete;
    CMemoryDC& operator=(const CMemoryDC&) = delete;

    HDC Get() const { return m_dc; }
    explicit operator bool() const { return m_dc != nullptr; }

private:
    HDC m_dc;
};
