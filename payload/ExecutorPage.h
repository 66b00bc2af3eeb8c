#pragma once
// What an executor needs of the progress page: its window, to post the step
// bar (WM_PAGE_STEP_PROGRESS: wParam percent or -1 to keep the bar, lParam a
// posted text or 0) and the Cancel button's visibility (WM_PAGE_SHOW_CANCEL:
// wParam 1 shows, 0 hides), and the cancelled flag, which the user-interface
// thread sets.
// Executors run on the controller thread; an implementation answers from any
// thread (the engine hands them its progress-page proxy, never the page).
#include <windows.h>

#include "payload/WizardMessages.h"

class IExecutorPage {
public:
    virtual HWND GetPageWindow() const = 0;
    virtual bool IsCancelled() const = 0;

protected:
    ~IExecutorPage() = default;
};

// Posts to the page's window; false, and nothing posted, when there is no
// page or window (a null window would post to the calling thread's queue).
inline bool PostToExecutorPage(const IExecutorPage* page, UINT message, WPARAM wParam, LPARAM lParam) {
    HWND window = page ? page->GetPageWindow() : nullptr;
    return window && PostMessageW(window, message, wParam, lParam);
}
