#include "ui/labels/SuperLabel.h"

#include <shellapi.h>
#include <windowsx.h>

#include <climits>
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

namespace {
bool AllWordsShown(const std::vector<SuperLabelPiece>& pieces) {
    for (const SuperLabelPiece& piece : pieces) {
        if (piece.rect.IsEmpty() && piece.visibleLength > 0) return false;
    }
    return true;
}

// How far down the label may grow, in its parent's coordinates: up to the
// first control below it that it would cover, or, for a scrolling control
// (the licence), which the page pushes down, half of that control's height.
int GrowthLimit(HWND label) {
    HWND parent = GetParent(label);
    RECT own = {};
    GetWindowRect(label, &own);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&own), 2);
    RECT client = {};
    GetClientRect(parent, &client);
    int limit = client.bottom;
    for (HWND sibling = GetWindow(parent, GW_CHILD); sibling; sibling = GetWindow(sibling, GW_HWNDNEXT)) {
        LONG style = GetWindowLongW(sibling, GWL_STYLE);
        if (sibling == label || !(style & WS_VISIBLE)) continue;
        RECT rect = {};
        GetWindowRect(sibling, &rect);
        MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
        if (rect.left >= own.right || rect.right <= own.left || rect.top < own.bottom) continue;
        int reach = (style & WS_VSCROLL) ? own.bottom + (rect.bottom - rect.top) / 2 : rect.top;
        if (reach < limit) limit = reach;
    }
    return limit - own.top;
}

int LowestBottom(const std::vector<SuperLabelPiece>& pieces) {
    int bottom = 0;
    for (const SuperLabelPiece& piece : pieces) {
        if (!piece.rect.IsEmpty() && piece.rect.bottom > bottom) bottom = piece.rect.bottom;
    }
    return bottom;
}
}  // namespace

// Text that needs more lines than the label has grows the label downwards
// (the page makes room below it); text is never dropped without a trace.
void CSuperLabel::LayOut() {
    HWND hwnd = GetHwnd();
    if (hwnd == nullptr) return;
    UpdateFontSet();
    RECT client = {};
    GetClientRect(hwnd, &client);
    int neededHeight = 0;
    if (HDC dc = GetDC(hwnd)) {
        {
            CGdiSuperLabelMeasure measure(dc, m_fontSet);
            LayOutSuperLabelPieces(m_pieces, m_runs, client.right, client.bottom, measure.GetLineHeight(), measure);
            if (!AllWordsShown(m_pieces) && client.right > 0) {
                std::vector<SuperLabelPiece> unbounded = m_pieces;
                LayOutSuperLabelPieces(unbounded, m_runs, client.right, INT_MAX / 2, measure.GetLineHeight(), measure);
                neededHeight = LowestBottom(unbounded);
            }
        }
        ReleaseDC(hwnd, dc);
    }
    if (neededHeight > client.bottom && GetParent(hwnd)) {
        const int limit = GrowthLimit(hwnd);
        if (neededHeight > limit) neededHeight = limit;
    }
    if (neededHeight > client.bottom) {
        RECT window = {};
        GetWindowRect(hwnd, &window);
        // The resize lays the text out again, all of it shown.
        SetWindowPos(hwnd, nullptr, 0, 0, window.right - window.left,
                     window.bottom - window.top + neededHeight - client.bottom,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        return;
    }
    if (!AllWordsShown(m_pieces)) {
        WriteDiagnosticFormat(L"Label %d: its text does not fit and shows only in part: %ls\n", GetDlgCtrlID(hwnd),
                              m_plainText.c_str());
    }
    RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

void CSuperLabel::Paint(HDC dc) {
    HWND hwnd = GetHwnd();
    RECT client = {};
    GetClientRect(hwnd, &client);
    SetBkMode(dc, TRANSPARENT);
    FillWithParentBackground(hwnd, dc, client);
    // The page's background behind the text (a picture of plain areas): where
    // the first piece stands, or the label's corner; the dialog colour when
    // neither is in the painted area.
    COLORREF background = CLR_INVALID;
    for (const SuperLabelPiece& piece : m_pieces) {
        if (piece.rect.IsEmpty()) continue;
        background = GetPixel(dc, piece.rect.left, piece.rect.top);
        break;
    }
    if (background == CLR_INVALID) background = GetPixel(dc, 0, 0);
    if (background == CLR_INVALID) background = GetSysColor(COLOR_BTNFACE);
    DrawSuperLabelPieces(dc, m_pieces, m_runs, m_fontSet, background);
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
