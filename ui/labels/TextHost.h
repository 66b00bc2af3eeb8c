#pragma once
// CTextHost: the host that the rich edit library's windowless text services
// talk to (ITextHost), serving one window: drawing context, client area,
// invalidation, timers, capture and cursor go to that window; scroll bars and
// the caret do nothing; the background is transparent; the text is read-only,
// rich, multi-line and word-wrapped.
//
// Reference counted (starts at 1, deleted at 0, the count is interlocked);
// every other operation runs on the window's user-interface thread.
#include <windows.h>
#include <richedit.h>
#include <textserv.h>

// {C5BDD8D0-D26E-11CE-A89E-00AA006CADC5}
extern const IID kIidTextHost;

class CTextHost final : public ITextHost {
public:
    // Property bits the host always has: rich text, multi-line, read-only,
    // show accelerator, hide selection, word wrap, disable drag (0x142F).
    static constexpr DWORD kFixedPropertyBits = TXTBIT_RICHTEXT | TXTBIT_MULTILINE | TXTBIT_READONLY |
                                                TXTBIT_SHOWACCELERATOR | TXTBIT_HIDESELECTION | TXTBIT_WORDWRAP |
                                                TXTBIT_DISABLEDRAG;

    CTextHost();
    CTextHost(const CTextHost&) = delete;
    CTextHost& operator=(const CTextHost&) = delete;

    // Remembers the window and copies the character format (as many bytes as
    // its size field says, up to a CHARFORMAT2W). E_INVALIDARG when either is
    // missing or the size is 0.
    HRESULT Init(HWND hwnd, const CHARFORMATW* charFormat);
    // Forgets the window (it is being destroyed); later calls do nothing.
    void DetachWindow() { m_hwnd = nullptr; }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // ITextHost
    HDC TxGetDC() override;
    INT TxReleaseDC(HDC hdc) override;
    WINBOOL TxShowScrollBar(INT bar, WINBOOL show) override;
    WINBOOL TxEnableScrollBar(INT flags, INT arrows) override;
    WINBOOL TxSetScrollRange(INT bar, LONG minPos, INT maxPos, WINBOOL redraw) override;
    WINBOOL TxSetScrollPos(INT bar, INT pos, WINBOOL redraw) override;
    void TxInvalidateRect(LPCRECT rect, WINBOOL mode) override;
    void TxViewChange(WINBOOL update) override;
    WINBOOL TxCreateCaret(HBITMAP bitmap, INT width, INT height) override;
    WINBOOL TxShowCaret(WINBOOL show) override;
    WINBOOL TxSetCaretPos(INT x, INT y) override;
    WINBOOL TxSetTimer(UINT id, UINT timeout) override;
    void TxKillTimer(UINT id) override;
    void TxScrollWindowEx(INT dx, INT dy, LPCRECT scroll, LPCRECT clip, HRGN update, LPRECT updateRect,
                          UINT flags) override;
    void TxSetCapture(WINBOOL capture) override;
    void TxSetFocus() override;
    void TxSetCursor(HCURSOR cursor, WINBOOL text) override;
    WINBOOL TxScreenToClient(LPPOINT point) override;
    WINBOOL TxClientToScreen(LPPOINT point) override;
    HRESULT TxActivate(LONG* oldState) override;
    HRESULT TxDeactivate(LONG newState) override;
    HRESULT TxGetClientRect(LPRECT rect) override;
    HRESULT TxGetViewInset(LPRECT rect) override;
    HRESULT TxGetCharFormat(const CHARFORMATW** charFormat) override;
    HRESULT TxGetParaFormat(const PARAFORMAT** paraFormat) override;
    COLORREF TxGetSysColor(int index) override;
    HRESULT TxGetBackStyle(TXTBACKSTYLE* style) override;
    HRESULT TxGetMaxLength(DWORD* length) override;
    HRESULT TxGetScrollBars(DWORD* scrollBars) override;
    HRESULT TxGetPasswordChar(TCHAR* character) override;
    HRESULT TxGetAcceleratorPos(LONG* position) override;
    HRESULT TxGetExtent(LPSIZEL extent) override;
    HRESULT OnTxCharFormatChange(const CHARFORMATW* charFormat) override;
    HRESULT OnTxParaFormatChange(const PARAFORMAT* paraFormat) override;
    HRESULT TxGetPropertyBits(DWORD mask, DWORD* bits) override;
    HRESULT TxNotify(DWORD notification, void* data) override;
    HIMC TxImmGetContext() override;
    void TxImmReleaseContext(HIMC context) override;
    HRESULT TxGetSelectionBarWidth(LONG* width) override;

private:
    ~CTextHost() = default;

    HWND m_hwnd = nullptr;
    LONG m_nReferences = 1;
    CHARFORMAT2W m_charFormat = {};
    PARAFORMAT2 m_paraFormat = {};
    bool m_bCharFormatChanged = false;
    bool m_bParaFormatChanged = false;
};
