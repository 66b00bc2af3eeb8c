#pragma once
// CMessageBox: the program's own message box. A white content area with an
// optional system icon, the message in Tahoma 12 pt dark blue and an
// optional detail text; a light-grey strip with the buttons of the style's
// set laid out from the right; accelerators from the button captions (the
// key alone or with Alt), F1 for help and Escape only for sets with a
// Cancel-like exit. Built at run time on the empty template 30734. One modal
// run per object; user-interface thread only.
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "framework/Dialog.h"
#include "ui/GdiObjects.h"
#include "ui/MessageBoxLayout.h"

class CMessageBox : public CDialog {
    DECLARE_DYNAMIC(CMessageBox)
public:
    CMessageBox(HWND owner, std::wstring title, std::wstring mainText, std::wstring detailText, UINT style,
                UINT helpId);
    ~CMessageBox() override;

    // Shows the box modally; the id of the button pressed, the close result,
    // or -1 when the box could not be made.
    INT_PTR Show();
    // Ends an open box as closing it would (the finished page uses it).
    void EndWithCloseResult() { EndDialog(m_nCloseResult); }
    UINT GetCloseResult() const { return m_nCloseResult; }

protected:
    BOOL OnInitDialog() override;
    bool OnCommand(UINT id, UINT notifyCode, HWND control) override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    bool PreTranslateMessage(MSG& message) override;

private:
    MessageBoxMetrics MeasureContent(HICON icon);
    HWND CreateChild(const wchar_t* className, const std::wstring& text, DWORD style, const RECT& area, UINT id,
                     HFONT font);
    void BuildAccelerators();
    void PlaceWindow(const MessageBoxLayout& layout);
    void PaintBackground(HDC dc);

    HWND m_hOwner;
    std::wstring m_strTitle;
    std::wstring m_strMainText;
    std::wstring m_strDetailText;
    UINT m_nStyle;
    UINT m_nHelpId;
    UINT m_nCloseResult;
    MessageBoxButtonSet m_buttons;
    HWND m_pMainTextStatic = nullptr;
    ScopedBrush m_whiteBrush;
    ScopedBrush m_stripBrush;
    ScopedPen m_borderPen;
    ScopedFont m_mainFont;
    RECT m_contentRect = {};
    RECT m_stripRect = {};
    HACCEL m_hAccel = nullptr;
    std::vector<HWND> m_controls;  // children of the box: destroyed with it
};
