#include "ui/labels/SuperLabel.h"

#include <shellapi.h>
#include <windowsx.h>

#include <cwchar>

#include "framework/DiagnosticOutput.h"
#include "framework/WindowText.h"
#include "ui/labels/ParentBackground.h"
#include "ui/labels/SuperLabelDrawing.h"
#include "ui/labels/SuperLabelLayout.h"
#include "ui/labels/SuperLabelMarkup.h"
#include "ui/labels/SuperLabelPieces.h"

CSuperLabel::~CSuperLabel() { Unsubclass(); }

bool CSuperLabel::Attach(HWND hwndStatic) {
    if (!Subclass(hwndStatic)) return false;
    UpdateFontSet();
    SetText(ReadWindowText(hwndStatic).c_str());
    return true;
}

const SuperLabelRun* CSuperLabel::GetHotRun() const {
    return m_hotRun < m_runs.size() ? &m_runs[m_hotRun] : nullptr;
}

void CSuperLabel::OpenLink(const std::wstring& target) {
    HWND owner = GetAncestor(GetHwnd(), GA_ROOT);
    auto result = reinterpret_cast<INT_PTR>(ShellExecuteW(owner, L"open", target.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    if (result <= 32) {
        wchar_t line[96];
        swprintf(line, 96, L"Opening a link failed: ShellExecute returned %d for ", static_cast<int>(result));
        WriteDiagnostic((std::wstring(line) + target + L"\n").c_str());
    }
}

void CSuperLabel::SetText(const wchar_t* text) {
    SuperLabelMarkup markup = ParseSuperLabelMarkup(text != nullptr ? std::wstring_view(text) : std::wstring_view());
    m_plainText = std::move(markup.plainText);
    m_runs = std::move(markup.runs);
    m_hotRun = kNoSuperLabelRun;
    m_pieces = SplitSuperLabelPieces(m_runs);
    m_longestPiece = FindLongestSuperLabelPiece(m_pieces);
    LayOut();
}

void CSuperLabel::UpdateFontSet() {
    m_fontSet.Update(reinterpret_cast<HFONT>(DefaultWindowProc(WM_GETFONT, 0, 0)));
}

void CSuperLabel::LayOut() {
    HWND hwnd = GetHwnd();
    if (hwnd == nullptr) return;
    UpdateFontSet();
    RECT client = {};
    GetClientRect(hwnd, &client);
    if (HDC dc = GetDC(hwnd)) {
        {
            CGdiSuperLabelMeasure measure(dc, m_fontSet);
            LayOutSuperLabelPieces(m_pieces, m_runs, client.right, client.bottom, measure.GetLineHeight(), measure);
        }
        ReleaseDC(hwnd, dc);
    }
    RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

void CSuperLabel::Paint(HDC dc) {
    HWND hwnd = GetHwnd();
    RECT client = {};
    GetClientRect(hwnd, &client);
    SetBkMode(dc, TRANSPARENT);
    FillWithParentBackground(hwnd, dc, client);
    DrawSuperLabelPieces(dc, m_pieces, m_runs, m_fontSet);
}

void CSuperLabel::OnMouseMove(int x, int y) {
    if (!m_bTracking) {
        TRACKMOUSEEVENT track = {sizeof(track), TME_LEAVE, GetHwnd(), 0};
        m_bTracking = TrackMouseEvent(&track) != FALSE;
    }
    m_hotRun = FindSuperLabelLinkAt(m_pieces, m_runs, x, y);
    SetCursor(LoadCursorW(nullptr, m_hotRun != kNoSuperLabelRun ? IDC_HAND : IDC_ARROW));
}

void CSuperLabel::OnMouseLeave() {
    m_bTracking = false;
    m_hotRun = kNoSuperLabelRun;
    SetCursor(LoadCursorW(nullptr, IDC_ARROW));
}

void CSuperLabel::OnLeftButtonUp() {
    if (const SuperLabelRun* run = GetHotRun()) OpenLink(run->target);
}

void CSuperLabel::OnWindowDestroyed() {
    m_hotRun = kNoSuperLabelRun;
    m_bTracking = false;
}

LRESULT CSuperLabel::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SETTEXT:
        // The static keeps no copy: the label draws the text itself.
        SetText(reinterpret_cast<const wchar_t*>(lParam));
        return TRUE;
    case WM_SETFONT: {
        LRESULT result = DefaultWindowProc(message, wParam, lParam);
        LayOut();
        return result;
    }
    case WM_SIZE: {
        LRESULT result = DefaultWindowProc(message, wParam, lParam);
        LayOut();
        return result;
    }
    case WM_ERASEBKGND:
        SelectClipRgn(reinterpret_cast<HDC>(wParam), nullptr);
        return DefaultWindowProc(message, wParam, lParam);
    case WM_PAINT: {
        PAINTSTRUCT paint;
        if (HDC dc = BeginPaint(GetHwnd(), &paint)) {
            Paint(dc);
            EndPaint(GetHwnd(), &paint);
        }
        return 0;
    }
    case WM_PRINTCLIENT:
        Paint(reinterpret_cast<HDC>(wParam));
        return 0;
    case WM_NCHITTEST:
        // A static without SS_NOTIFY lets the mouse through to its parent;
        // the label needs the mouse for its links.
        return HTCLIENT;
    case WM_SETCURSOR:
        if (LOWORD(lParam) == HTCLIENT) {
            SetCursor(LoadCursorW(nullptr, m_hotRun != kNoSuperLabelRun ? IDC_HAND : IDC_ARROW));
            return TRUE;
        }
        break;
    case WM_MOUSEMOVE:
        OnMouseMove(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        return 0;
    case WM_MOUSELEAVE:
        OnMouseLeave();
        return 0;
    case WM_LBUTTONUP:
        OnLeftButtonUp();
        break;
    default:
        break;
    }
    return DefaultWindowProc(message, wParam, lParam);
}
