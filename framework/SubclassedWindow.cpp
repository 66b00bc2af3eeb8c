#include "framework/SubclassedWindow.h"

#include <commctrl.h>

#include <cwchar>
#include <exception>

#include "framework/DiagnosticOutput.h"
#include "framework/Exceptions.h"

namespace {

// One hook per object: the object's address is the subclass id.
UINT_PTR SubclassIdOf(CSubclassedWindow* window) { return reinterpret_cast<UINT_PTR>(window); }

void ReportEscapedException(HWND hwnd, UINT message, const wchar_t* what) {
    wchar_t line[160];
    swprintf(line, 160, L"Window procedure of window %p: %ls escaped while handling message 0x%04X\n",
             static_cast<void*>(hwnd), what, message);
    WriteDiagnostic(line);
}

}  // namespace

CSubclassedWindow::~CSubclassedWindow() { Unsubclass(); }

bool CSubclassedWindow::Subclass(HWND hwnd) {
    if (m_hwnd != nullptr || !IsWindow(hwnd)) return false;
    if (!SetWindowSubclass(hwnd, &CSubclassedWindow::SubclassProc, SubclassIdOf(this),
                           reinterpret_cast<DWORD_PTR>(this)))
        return false;
    m_hwnd = hwnd;
    return true;
}

void CSubclassedWindow::Unsubclass() {
    if (m_hwnd == nullptr) return;
    RemoveWindowSubclass(m_hwnd, &CSubclassedWindow::SubclassProc, SubclassIdOf(this));
    m_hwnd = nullptr;
}

LRESULT CSubclassedWindow::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    return DefaultWindowProc(message, wParam, lParam);
}

LRESULT CSubclassedWindow::DefaultWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    return DefSubclassProc(m_hwnd, message, wParam, lParam);
}

LRESULT CSubclassedWindow::GuardedWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        return WindowProc(message, wParam, lParam);
    } catch (CException* e) {
        wchar_t text[128] = L"an error";
        e->GetErrorMessage(text, 128);
        e->Delete();
        ReportEscapedException(m_hwnd, message, text);
    } catch (const std::exception&) {
        ReportEscapedException(m_hwnd, message, L"a C++ exception");
    } catch (...) {
        ReportEscapedException(m_hwnd, message, L"an unknown exception");
    }
    return DefSubclassProc(m_hwnd, message, wParam, lParam);
}

LRESULT CALLBACK CSubclassedWindow::SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                                 UINT_PTR, DWORD_PTR refData) {
    auto* window = reinterpret_cast<CSubclassedWindow*>(refData);
    if (message != WM_NCDESTROY) return window->GuardedWindowProc(message, wParam, lParam);
    // The last message the window sees: unhook first so that nothing reaches
    // the object after the window is gone, then let the object forget it.
    LRESULT result = window->GuardedWindowProc(message, wParam, lParam);
    window->Unsubclass();
    try {
        window->OnWindowDestroyed();
    } catch (...) {
        ReportEscapedException(hwnd, message, L"an exception from the destruction handler");
    }
    return result;
}
