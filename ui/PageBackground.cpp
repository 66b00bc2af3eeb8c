// CSubDialog: the composed background (banner, white header area, etched
// lines) and the drawing of the page and its transparent statics.
#include "resources/resource.h"
#include "ui/MemoryDC.h"
#include "ui/ResourceStyles.h"
#include "ui/ScreenDpi.h"
#include "ui/SubDialog.h"

namespace {
void FillWithSystemColour(HDC dc, const RECT& area, int colourIndex) {
    FillRect(dc, &area, GetSysColorBrush(colourIndex));
}

void DrawEtchedLine(HDC dc, int width, int y) {
    RECT shadow = {0, y, width, y + 1};
    RECT highlight = {0, y + 1, width, y + 2};
    FillWithSystemColour(dc, shadow, COLOR_BTNSHADOW);
    FillWithSystemColour(dc, highlight, COLOR_BTNHIGHLIGHT);
}
}  // namespace

bool CSubDialog::BackgroundLayout::operator==(const BackgroundLayout& other) const {
    return client.cx == other.client.cx && client.cy == other.client.cy && banner == other.banner &&
           EqualRect(&bannerRect, &other.bannerRect) && hasMarker == other.hasMarker && markerTop == other.markerTop;
}

// The banner is taken from its static (which is hidden), its size in pixels
// follows the page's dialog units; the white area ends at the marker's top.
CSubDialog::BackgroundLayout CSubDialog::MeasureBackground() {
    BackgroundLayout layout;
    RECT client;
    GetClientRect(m_hWnd, &client);
    layout.client = {client.right, client.bottom};
    if (HWND bannerStatic = GetDlgItem(IDC_BANNER)) {
        layout.banner = reinterpret_cast<HBITMAP>(SendMessageW(bannerStatic, STM_GETIMAGE, IMAGE_BITMAP, 0));
        ShowWindow(bannerStatic, SW_HIDE);
    }
    BITMAP bannerInfo;
    if (layout.banner && GetObjectW(layout.banner, sizeof(bannerInfo), &bannerInfo)) {
        layout.bannerRect = {0, 0, bannerInfo.bmWidth * 4 / 6, bannerInfo.bmHeight * 8 / 13};
        MapDialogRect(m_hWnd, &layout.bannerRect);
    }
    if (HWND marker = GetDlgItem(IDC_HEADER_MARKER)) {
        RECT markerRect;
        GetWindowRect(marker, &markerRect);
        MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&markerRect), 2);
        layout.hasMarker = true;
        layout.markerTop = markerRect.top;
    }
    return layout;
}

void CSubDialog::ComposeBackground() {
    if (!m_hWnd) return;
    const BackgroundLayout layout = MeasureBackground();
    if (layout.client.cx <= 0 || layout.client.cy <= 0) return;
    if (m_bgBrush && m_bgBitmap && layout == m_bgLayout) return;
    const RECT client = {0, 0, layout.client.cx, layout.client.cy};
    ScopedWindowDC windowDc(m_hWnd);
    CMemoryDC memoryDc(windowDc.Get());
    ScopedBitmap composed(CreateCompatibleBitmap(windowDc.Get(), client.right, client.bottom));
    if (!memoryDc || !composed) return;
    {
        ScopedSelection selection(memoryDc.Get(), composed.Get());
        HDC dc = memoryDc.Get();
        FillWithSystemColour(dc, client, COLOR_BTNFACE);
        const int whiteBottom = layout.hasMarker ? layout.markerTop : layout.bannerRect.bottom;
        RECT white = {0, 0, client.right, whiteBottom};
        FillWithSystemColour(dc, white, COLOR_WINDOW);
        if (layout.banner) DrawBitmapSmoothly(dc, layout.banner, layout.bannerRect);
        DrawEtchedLine(dc, client.right, layout.bannerRect.bottom);
        if (layout.hasMarker) DrawEtchedLine(dc, client.right, layout.markerTop);
    }
    ScopedBrush brush(CreatePatternBrush(composed.Get()));
    if (!brush) return;
    m_bgBrush = std::move(brush);
    m_bgBitmap = std::move(composed);
    m_bgLayout = layout;
}

LRESULT CSubDialog::OnEraseBackground(HDC dc) {
    if (!m_bgBrush) ComposeBackground();
    RECT client;
    GetClientRect(m_hWnd, &client);
    BITMAP info;
    if (m_bgBitmap && GetObjectW(m_bgBitmap.Get(), sizeof(info), &info)) {
        CMemoryDC source(dc);
        ScopedSelection selection(source.Get(), m_bgBitmap.Get());
        BitBlt(dc, 0, 0, info.bmWidth, info.bmHeight, source.Get(), 0, 0, SRCCOPY);
    } else {
        FillWithSystemColour(dc, client, COLOR_BTNFACE);
    }
    return TRUE;
}

LRESULT CSubDialog::OnStaticColour(HDC dc, HWND control) {
    if (!m_bgBrush) ComposeBackground();
    RECT position;
    GetWindowRect(control, &position);
    MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&position), 2);
    SetBrushOrgEx(dc, -position.left, -position.top, nullptr);
    COLORREF colour;
    if (LoadTextColour(static_cast<UINT>(GetDlgCtrlID(control)), colour)) SetTextColor(dc, colour);
    SetBkMode(dc, TRANSPARENT);
    return reinterpret_cast<LRESULT>(m_bgBrush.Get());
}
