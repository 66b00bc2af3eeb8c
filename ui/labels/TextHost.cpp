#include "ui/labels/TextHost.h"

#include <cstring>

const IID kIidTextHost = {0xC5BDD8D0, 0xD26E, 0x11CE, {0xA8, 0x9E, 0x00, 0xAA, 0x00, 0x6C, 0xAD, 0xC5}};

namespace {

// Copies a format record whose first field is its size, never more than the
// destination holds, and sets the copy's size to what was copied. False when
// the record is missing or says it has no size.
template <typename Record>
bool CopySizedRecord(Record& destination, const void* source) {
    if (source == nullptr) return false;
    UINT size = 0;
    std::memcpy(&size, source, sizeof(size));
    if (size == 0) return false;
    if (size > sizeof(Record)) size = sizeof(Record);
    destination = Record{};
    std::memcpy(&destination, source, size);
    destination.cbSize = size;
    return true;
}

}  // namespace

CTextHost::CTextHost() {
    // Until the engine sets one, a paragraph format with nothing set: the
    // engine keeps its own defaults.
    m_paraFormat.cbSize = sizeof(PARAFORMAT);
}

HRESULT CTextHost::Init(HWND hwnd, const CHARFORMATW* charFormat) {
    if (hwnd == nullptr || charFormat == nullptr || charFormat->cbSize == 0) return E_INVALIDARG;
    m_hwnd = hwnd;
    CopySizedRecord(m_charFormat, charFormat);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CTextHost::QueryInterface(REFIID iid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, kIidTextHost)) {
        *object = static_cast<ITextHost*>(this);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE CTextHost::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&m_nReferences)); }

ULONG STDMETHODCALLTYPE CTextHost::Release() {
    LONG count = InterlockedDecrement(&m_nReferences);
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
}

HDC CTextHost::TxGetDC() { return m_hwnd != nullptr ? GetDC(m_hwnd) : nullptr; }

INT CTextHost::TxReleaseDC(HDC hdc) {
    if (m_hwnd == nullptr) return static_cast<INT>(E_POINTER);
    return ReleaseDC(m_hwnd, hdc);
}

WINBOOL CTextHost::TxShowScrollBar(INT, WINBOOL) { return FALSE; }
WINBOOL CTextHost::TxEnableScrollBar(INT, INT) { return FALSE; }
WINBOOL CTextHost::TxSetScrollRange(INT, LONG, INT, WINBOOL) { return TRUE; }
WINBOOL CTextHost::TxSetScrollPos(INT, INT, WINBOOL) { return TRUE; }

void CTextHost::TxInvalidateRect(LPCRECT rect, WINBOOL mode) {
    if (m_hwnd != nullptr) InvalidateRect(m_hwnd, rect, mode);
}

void CTextHost::TxViewChange(WINBOOL) {
    if (m_hwnd != nullptr) InvalidateRect(m_hwnd, nullptr, TRUE);
}

WINBOOL CTextHost::TxCreateCaret(HBITMAP, INT, INT) { return FALSE; }
WINBOOL CTextHost::TxShowCaret(WINBOOL) { return FALSE; }
WINBOOL CTextHost::TxSetCaretPos(INT, INT) { return FALSE; }

WINBOOL CTextHost::TxSetTimer(UINT id, UINT timeout) {
    return m_hwnd != nullptr && SetTimer(m_hwnd, id, timeout, nullptr) != 0;
}

void CTextHost::TxKillTimer(UINT id) {
    if (m_hwnd != nullptr) KillTimer(m_hwnd, id);
}

void CTextHost::TxScrollWindowEx(INT, INT, LPCRECT, LPCRECT, HRGN, LPRECT, UINT) {}

void CTextHost::TxSetCapture(WINBOOL capture) {
    if (m_hwnd == nullptr) return;
    if (capture)
        SetCapture(m_hwnd);
    else if (GetCapture() == m_hwnd)
        ReleaseCapture();
}

void CTextHost::TxSetFocus() {
    if (m_hwnd != nullptr) SetFocus(m_hwnd);
}

void CTextHost::TxSetCursor(HCURSOR cursor, WINBOOL) { SetCursor(cursor); }

WINBOOL CTextHost::TxScreenToClient(LPPOINT point) { return m_hwnd != nullptr && ScreenToClient(m_hwnd, point); }
WINBOOL CTextHost::TxClientToScreen(LPPOINT point) { return m_hwnd != nullptr && ClientToScreen(m_hwnd, point); }

HRESULT CTextHost::TxActivate(LONG*) { return S_OK; }
HRESULT CTextHost::TxDeactivate(LONG) { return S_OK; }

HRESULT CTextHost::TxGetClientRect(LPRECT rect) {
    if (rect == nullptr) return E_POINTER;
    if (m_hwnd == nullptr || !GetClientRect(m_hwnd, rect)) {
        SetRectEmpty(rect);
        return E_FAIL;
    }
    return S_OK;
}

HRESULT CTextHost::TxGetViewInset(LPRECT rect) {
    if (rect == nullptr) return E_POINTER;
    SetRectEmpty(rect);
    return S_OK;
}

HRESULT CTextHost::TxGetCharFormat(const CHARFORMATW** charFormat) {
    if (charFormat == nullptr) return E_POINTER;
    *charFormat = reinterpret_cast<const CHARFORMATW*>(&m_charFormat);
    m_bCharFormatChanged = false;
    return S_OK;
}

HRESULT CTextHost::TxGetParaFormat(const PARAFORMAT** paraFormat) {
    if (paraFormat == nullptr) return E_POINTER;
    *paraFormat = reinterpret_cast<const PARAFORMAT*>(&m_paraFormat);
    m_bParaFormatChanged = false;
    return S_OK;
}

COLORREF CTextHost::TxGetSysColor(int index) { return GetSysColor(index); }

HRESULT CTextHost::TxGetBackStyle(TXTBACKSTYLE* style) {
    if (style == nullptr) return E_POINTER;
    *style = TXTBACK_TRANSPARENT;
    return S_OK;
}

HRESULT CTextHost::TxGetMaxLength(DWORD* length) {
    if (length == nullptr) return E_POINTER;
    *length = 0x7FFFFFFF;
    return S_OK;
}

HRESULT CTextHost::TxGetScrollBars(DWORD* scrollBars) {
    if (scrollBars == nullptr) return E_POINTER;
    *scrollBars = 0;
    return S_OK;
}

HRESULT CTextHost::TxGetPasswordChar(TCHAR* character) {
    if (character == nullptr) return E_POINTER;
    *character = L'\x25CF';
    return S_OK;
}

HRESULT CTextHost::TxGetAcceleratorPos(LONG* position) {
    if (position == nullptr) return E_POINTER;
    *position = -1;
    return S_OK;
}

HRESULT CTextHost::TxGetExtent(LPSIZEL) { return E_NOTIMPL; }

HRESULT CTextHost::OnTxCharFormatChange(const CHARFORMATW* charFormat) {
    if (!CopySizedRecord(m_charFormat, charFormat)) return E_INVALIDARG;
    m_bCharFormatChanged = true;
    return S_OK;
}

HRESULT CTextHost::OnTxParaFormatChange(const PARAFORMAT* paraFormat) {
    if (!CopySizedRecord(m_paraFormat, paraFormat)) return E_INVALIDARG;
    m_bParaFormatChanged = true;
    return S_OK;
}

HRESULT CTextHost::TxGetPropertyBits(DWORD mask, DWORD* bits) {
    if (bits == nullptr) return E_POINTER;
    DWORD value = kFixedPropertyBits;
    if (m_bCharFormatChanged) value |= TXTBIT_CHARFORMATCHANGE;
    if (m_bParaFormatChanged) value |= TXTBIT_PARAFORMATCHANGE;
    *bits = value & mask;
    return S_OK;
}

HRESULT CTextHost::TxNotify(DWORD, void*) { return S_OK; }
HIMC CTextHost::TxImmGetContext() { return nullptr; }
void CTextHost::TxImmReleaseContext(HIMC) {}

HRESULT CTextHost::TxGetSelectionBarWidth(LONG* width) {
    if (width == nullptr) return E_POINTER;
    *width = 0;
    return S_OK;
}
