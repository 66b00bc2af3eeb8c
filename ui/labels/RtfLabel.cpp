#include "ui/labels/RtfLabel.h"

#include <optional>
#include <string>

#include "framework/DiagnosticOutput.h"
#include "framework/MemoryEditStream.h"
#include "framework/WindowText.h"
#include "ui/labels/ParentBackground.h"
#include "ui/labels/RtfCharFormat.h"
#include "ui/labels/RtfText.h"
#include "ui/labels/TextHost.h"
#include "ui/labels/TextServicesLibrary.h"

CRtfLabel::CRtfLabel() = default;

CRtfLabel::~CRtfLabel() {
    Unsubclass();
    // Services first: they may still call the host while they shut down.
    m_pServices.Reset();
    if (m_pHost) m_pHost->DetachWindow();
    m_pHost.Reset();
    m_pCharFormat.reset();
}

bool CRtfLabel::Attach(HWND hwndStatic) {
    if (!Subclass(hwndStatic)) return false;
    m_pCharFormat = std::make_unique<CHARFORMATW>(MakeRtfLabelCharFormatForWindow(
        hwndStatic, reinterpret_cast<HFONT>(DefaultWindowProc(WM_GETFONT, 0, 0))));
    m_pHost = ComPtr<CTextHost>(new CTextHost());
    ComPtr<ITextServices> services;
    if (SUCCEEDED(m_pHost->Init(hwndStatic, m_pCharFormat.get())) &&
        SUCCEEDED(CreateTextServicesFor(m_pHost.Get(), services.Receive())) && services) {
        m_pServices = std::move(services);
        m_pServices->OnTxPropertyBitsChange(TXTBIT_CHARFORMATCHANGE, TXTBIT_CHARFORMATCHANGE);
    }
    std::wstring text = ReadWindowText(hwndStatic);
    SetText(text.c_str());
    return true;
}

void CRtfLabel::SetText(const wchar_t* text) {
    if (!m_pServices) return;
    std::wstring_view view = text != nullptr ? std::wstring_view(text) : std::wstring_view();
    if (!IsRtfText(view)) {
        m_pServices->TxSetText(std::wstring(view).c_str());
        return;
    }
    if (MeasureRtfGroupDepth(view) > kMaxRtfGroupDepth) {
        WriteDiagnostic(L"RTF label text not shown: its groups are nested deeper than the rich edit engine handles\n");
        m_pServices->TxSetText(L"");
        return;
    }
    std::optional<std::string> bytes = ConvertRtfText(view, ChooseRtfCodePage(view));
    if (!bytes) {
        m_pServices->TxSetText(L"");  // not representable in the header's code page: not shown
        return;
    }
    CMemoryEditStream stream(bytes->data(), bytes->size());
    LRESULT streamed = 0;
    HRESULT hr = m_pServices->TxSendMessage(EM_STREAMIN, SF_RTF, reinterpret_cast<LPARAM>(stream.Get()), &streamed);
    // Text the engine rejects is not shown, rather than half of it.
    if (FAILED(hr) || stream.GetError() != 0) m_pServices->TxSetText(L"");
}

void CRtfLabel::ApplyFont(HFONT font) {
    if (!m_pHost) return;
    *m_pCharFormat = MakeRtfLabelCharFormatForWindow(GetHwnd(), font);
    m_pHost->Init(GetHwnd(), m_pCharFormat.get());
    if (m_pServices) m_pServices->OnTxPropertyBitsChange(TXTBIT_CHARFORMATCHANGE, TXTBIT_CHARFORMATCHANGE);
}

void CRtfLabel::Paint(HDC dc, const RECT& client) {
    FillWithParentBackground(GetHwnd(), dc, client);
    if (!m_pServices) return;
    RECTL bounds = {client.left, client.top, client.right, client.bottom};
    m_pServices->TxDraw(DVASPECT_CONTENT, 0, nullptr, nullptr, dc, nullptr, &bounds, nullptr, nullptr, nullptr, 0,
                        TXTVIEW_INACTIVE);
}

void CRtfLabel::OnWindowDestroyed() {
    // The engine may hold timers or capture for the window; it goes now.
    m_pServices.Reset();
    if (m_pHost) m_pHost->DetachWindow();
}

LRESULT CRtfLabel::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SETTEXT:
        SetText(reinterpret_cast<const wchar_t*>(lParam));
        break;  // the static stores the text as usual
    case WM_SETFONT:
        ApplyFont(reinterpret_cast<HFONT>(wParam));
        break;
    case WM_ERASEBKGND:
        return TRUE;  // painting fills the background
    case WM_PAINT: {
        PAINTSTRUCT paint;
        if (HDC dc = BeginPaint(GetHwnd(), &paint)) {
            RECT client = {};
            GetClientRect(GetHwnd(), &client);
            Paint(dc, client);
            EndPaint(GetHwnd(), &paint);
        }
        return 0;
    }
    case WM_PRINTCLIENT: {
        RECT client = {};
        GetClientRect(GetHwnd(), &client);
        Paint(reinterpret_cast<HDC>(wParam), client);
        return 0;
    }
    case WM_SIZE:
        if (m_pServices) m_pServices->OnTxPropertyBitsChange(TXTBIT_CLIENTRECTCHANGE, TXTBIT_CLIENTRECTCHANGE);
        break;
    case WM_TIMER:
        if (m_pServices) {
            LRESULT result = 0;
            m_pServices->TxSendMessage(message, wParam, lParam, &result);
            return 0;
        }
        break;
    default:
        break;
    }
    return DefaultWindowProc(message, wParam, lParam);
}
