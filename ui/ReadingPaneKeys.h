#pragma once
// CReadingPaneKeys: hooks a page's read-only rich edit (the licence) so that
// it stays a place to read inside the wizard's dialog navigation:
// - the dialog manager never selects its whole text when the focus arrives
//   (by Tab, or when the wizard is activated again), which would also scroll
//   it to its end: the reader keeps the place;
// - Tab, Shift+Tab, Enter and Escape stay the dialog's keys (the next
//   control, the default button, Cancel); a multi-line rich edit would
//   otherwise take every key for itself.
// Arrows, Page Up/Down, Ctrl+A and Ctrl+C still work inside the text.
// User-interface thread only; the page owns the hook.
#include <windows.h>

#include "framework/SubclassedWindow.h"

class CReadingPaneKeys : public CSubclassedWindow {
public:
    // The dialog code the pane answers for key (WM_GETDLGCODE's wParam),
    // given the control's own answer.
    static LRESULT AdjustDialogCode(LRESULT controlCode, WPARAM key, const MSG* keyMessage);

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
};
