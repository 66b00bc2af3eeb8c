#pragma once
// Hooks an object's window procedure into an existing window through the
// common controls' window subclassing (SetWindowSubclass).
//
// The hook is removed by Unsubclass, by the destructor, or when the window
// receives WM_NCDESTROY, whichever comes first; after that the object no longer
// sees messages and GetHwnd() is null. No exception leaves WindowProc: one that
// escapes is logged and the message gets the default handling.
// Thread rule: created, used and destroyed on the window's thread only.
#include <windows.h>

class CSubclassedWindow {
public:
    CSubclassedWindow() = default;
    CSubclassedWindow(const CSubclassedWindow&) = delete;
    CSubclassedWindow& operator=(const CSubclassedWindow&) = delete;
    virtual ~CSubclassedWindow();

    // False when hwnd is not a window, is already hooked by this object or the
    // hook cannot be installed.
    bool Subclass(HWND hwnd);
    void Unsubclass();
    HWND GetHwnd() const { return m_hwnd; }

protected:
    // Default: DefaultWindowProc.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // The window's procedure from before the hook (the next one in the chain).
    LRESULT DefaultWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // Called once the hook is gone because the window is being destroyed.
    virtual void OnWindowDestroyed() {}

private:
    static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR subclassId, DWORD_PTR refData);
    LRESULT GuardedWindowProc(UINT message, WPARAM wParam, LPARAM lParam);

    HWND m_hwnd = nullptr;
};
