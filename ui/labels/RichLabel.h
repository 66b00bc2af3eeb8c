#pragma once
// A rich text label attached to an existing static control of a page.
//
// The page creates a label with new, calls Attach with the static's window and
// keeps the label only when Attach succeeded; it deletes the label with the
// page. A label unhooks itself from the window when it is destroyed or when the
// window is destroyed, whichever comes first. User-interface thread only.
#include <windows.h>

class CRichLabel {
public:
    CRichLabel() = default;
    CRichLabel(const CRichLabel&) = delete;
    CRichLabel& operator=(const CRichLabel&) = delete;
    virtual ~CRichLabel();

    // Hooks the label into hwndStatic and shows the window's current text.
    // False when the window cannot be hooked; the window is then left as it was.
    virtual bool Attach(HWND hwndStatic) = 0;
};
