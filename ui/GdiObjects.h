#pragma once
// Non-copyable owners for GDI objects and device contexts, and a selection
// that is undone when it goes out of scope. Thread of the objects' user.
#include <windows.h>

#include "framework/ScopedHandles.h"

template <typename T>
struct GdiObjectTraits {
    static T Invalid() { return nullptr; }
    static bool IsValid(T h) { return h != nullptr; }
    static void Close(T h) { DeleteObject(h); }
};

using ScopedFont = ScopedResource<HFONT, GdiObjectTraits<HFONT>>;
using ScopedBrush = ScopedResource<HBRUSH, GdiObjectTraits<HBRUSH>>;
using ScopedBitmap = ScopedResource<HBITMAP, GdiObjectTraits<HBITMAP>>;
using ScopedPen = ScopedResource<HPEN, GdiObjectTraits<HPEN>>;

// The client-area device context of a window (GetDC / ReleaseDC).
class ScopedWindowDC {
public:
    explicit ScopedWindowDC(HWND window) : m_window(window), m_dc(GetDC(window)) {}
    ~ScopedWindowDC() {
        if (m_dc) ReleaseDC(m_window, m_dc);
    }
    ScopedWindowDC(const ScopedWindowDC&) = delete;
    ScopedWindowDC& operator=(const ScopedWindowDC&) = delete;
    HDC Get() const { return m_dc; }

private:
    HWND m_window;
    HDC m_dc;
};

// Selects an object into a device context and selects the previous one back at the end.
class ScopedSelection {
public:
    ScopedSelection(HDC dc, HGDIOBJ object) : m_dc(dc), m_previous(object ? SelectObject(dc, object) : nullptr) {}
    ~ScopedSelection() {
        if (m_previous) SelectObject(m_dc, m_previous);
    }
    ScopedSelection(const ScopedSelection&) = delete;
    ScopedSelection& operator=(const ScopedSelection&) = delete;

private:
    HDC m_dc;
    HGDIOBJ m_previous;
};
