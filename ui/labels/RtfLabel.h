#pragma once
// CRtfLabel: shows RTF text in a static control through the rich edit
// library's windowless text services, drawn transparently over the parent's
// background; no rich edit child window is created. A text that does not start
// with "{\rtf1" is shown as plain text.
//
// Owned by the page that attached it (see CRichLabel). User-interface thread only.
#include <richedit.h>
#include <textserv.h>

#include <memory>

#include "framework/ComPtr.h"
#include "framework/SubclassedWindow.h"
#include "ui/labels/RichLabel.h"

class CTextHost;

class CRtfLabel : public CRichLabel, private CSubclassedWindow {
public:
    CRtfLabel();
    ~CRtfLabel() override;

    // False when the window cannot be hooked. When the text services cannot be
    // created the label still attaches and shows nothing.
    bool Attach(HWND hwndStatic) override;

    // True when the text services run for this label.
    bool HasTextServices() const { return static_cast<bool>(m_pServices); }
    ITextServices* GetTextServices() const { return m_pServices.Get(); }

private:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnWindowDestroyed() override;

    void SetText(const wchar_t* text);
    void ApplyFont(HFONT font);
    void Paint(HDC dc, const RECT& client);

    std::unique_ptr<CHARFORMATW> m_pCharFormat;
    ComPtr<CTextHost> m_pHost;
    ComPtr<ITextServices> m_pServices;
};
