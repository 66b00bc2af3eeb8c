#pragma once
// CSubDialog: the base of every wizard page, a child dialog of the main
// window built from its template. Without per-page code it gives each page
// the texts of its controls (string table by control id, %1 the product name,
// %2 the default button's caption), rich labels for marked-up statics, the
// licence RTF in rich edit controls, fonts, text colours and images from the
// resources, one composed background bitmap used both to erase the page and
// as the aligned brush behind transparent statics, and the default Cancel.
// Created by class name by the main window; user-interface thread only.
#include <windows.h>

#include <memory>
#include <vector>

#include "framework/Dialog.h"
#include "ui/DialogTemplate.h"
#include "ui/GdiObjects.h"

class CRichLabel;
class CReadingPaneKeys;
class IPageHost;

class CSubDialog : public CDialog {
    DECLARE_DYNAMIC(CSubDialog)
public:
    // Parses the page's own template; a resource error when it is missing or unparsable.
    explicit CSubDialog(UINT templateId);
    ~CSubDialog() override;

    // Creates the page window as a child of parent. False when the window
    // could not be made, or when its init handler failed (it is then hidden).
    bool Create(HWND parent, IPageHost* host);

    // The outgoing page when another is activated; nothing by default.
    virtual void OnLeavePage();
    // Asked when the user closes the wizard from the title bar; true by default.
    virtual bool CanClose();

    // The control that takes the keyboard focus when the page is shown: its
    // default button when that can be pressed, else the first control Tab
    // reaches; null when the page has none (or is not visible).
    HWND InitialFocusControl() const;

    const DialogTemplateInfo& GetTemplate() const { return m_template; }
    bool InitFailed() const { return m_bInitFailed; }
    const std::vector<std::unique_ptr<CRichLabel>>& GetLabels() const { return m_labels; }
    HBITMAP GetBackgroundBitmap() const { return m_bgBitmap.Get(); }

protected:
    // Styles the children, hides the markers 1028 and 1039 and composes the
    // background. Pages call it first from their own.
    BOOL OnInitDialog() override;
    void OnOK() override;      // nothing: Enter never closes a page
    void OnCancel() override;  // confirm, then abort to the finished page
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void OnHandlerException(UINT message) override;

    // A text label that grew to show its whole text (a language that needs
    // more lines) pushes down the top of the control below it, which keeps
    // its bottom edge; a control that would lose more than half its height
    // stays and the overlap is logged.
    void MakeRoomBelowGrownLabels();
    // Widens every push button whose caption does not fit (a longer
    // language); a row of buttons keeps its right edge and its gaps.
    void FitButtonsToText();
    // A plain text static whose words need more lines than it has grows into
    // the room below it (up to the next control); what still does not fit is
    // logged. Run once the page's own init handler has set its texts.
    void FitTextStatics();
    // Redraws the background bitmap and pattern brush from the banner, the
    // header marker and the client size; nothing when none of them changed
    // since the last composition (creation asks more than once).
    void ComposeBackground();

    IPageHost* m_pHost = nullptr;

private:
    // Child styling (PageStyling.cpp).
    void StyleChildren();
    // The rich texts (the licence) are not needed for the page's first paint:
    // they are streamed in by a timer, whose message comes only once every
    // window of the thread has painted.
    void StreamDeferredRichTexts();
    static void CALLBACK OnDeferredRichTextTimer(HWND window, UINT message, UINT_PTR id, DWORD time);
    void StyleChild(HWND child, const std::wstring& defaultButtonCaption);
    void StyleImageStatic(HWND child, UINT id);
    // The image at its size for the screen's DPI, within the place of control id.
    HBITMAP ImageForScreen(HBITMAP image, UINT id) const;
    void StyleTextStatic(HWND child, UINT id, const std::wstring& text);
    void ApplyStyleFont(HWND child, UINT id);
    std::wstring ControlText(UINT stringId, const std::wstring& defaultButtonCaption) const;
    std::wstring DefaultButtonCaption() const;

    // Sizes to the texts (PageFitting.cpp): see the protected operations above.

    // Background and drawing (PageBackground.cpp).
    // What the composed background depends on, in client pixels.
    struct BackgroundLayout {
        SIZE client = {};
        HBITMAP banner = nullptr;
        RECT bannerRect = {};
        bool hasMarker = false;
        LONG markerTop = 0;
        bool operator==(const BackgroundLayout& other) const;
    };
    BackgroundLayout MeasureBackground();
    LRESULT OnEraseBackground(HDC dc);
    LRESULT OnStaticColour(HDC dc, HWND control);

    bool m_bInitFailed = false;
    DialogTemplateInfo m_template;
    ScopedBitmap m_bgBitmap;
    ScopedBrush m_bgBrush;
    BackgroundLayout m_bgLayout;  // of m_bgBitmap
    std::vector<ScopedFont> m_fonts;
    std::vector<std::unique_ptr<CRichLabel>> m_labels;
    std::vector<std::unique_ptr<CReadingPaneKeys>> m_readingPanes;
    struct DeferredRichText {
        HWND control;
        const void* rtf;  // resource memory: valid while the program runs
        size_t size;
    };
    std::vector<DeferredRichText> m_deferredRichTexts;
};
