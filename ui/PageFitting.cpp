// CSubDialog: controls sized to their texts in the language shown: push
// buttons widen to their captions, text statics and rich labels grow into the
// room below them, and text that still does not fit is logged.
#include <algorithm>
#include <utility>
#include <vector>

#include "framework/DiagnosticOutput.h"
#include "framework/WindowText.h"
#include "ui/SubDialog.h"

namespace {
bool HasVisibleStyle(HWND window) { return (GetWindowLongW(window, GWL_STYLE) & WS_VISIBLE) != 0; }

bool IsClass(HWND window, const wchar_t* className) {
    wchar_t name[16] = {};
    GetClassNameW(window, name, ARRAYSIZE(name));
    return CompareStringOrdinal(name, -1, className, -1, TRUE) == CSTR_EQUAL;
}

// The top of the first visible control below rect that it would run into,
// or the page's bottom.
int RoomBelow(HWND page, HWND control, const RECT& rect) {
    RECT client = {};
    GetClientRect(page, &client);
    int limit = client.bottom;
    for (HWND other = GetWindow(page, GW_CHILD); other; other = GetWindow(other, GW_HWNDNEXT)) {
        if (other == control || !HasVisibleStyle(other)) continue;
        RECT otherRect = ChildRectInParent(page, other);
        if (otherRect.left >= rect.right || otherRect.right <= rect.left || otherRect.top < rect.bottom) continue;
        limit = std::min(limit, static_cast<int>(otherRect.top));
    }
    return limit;
}
}  // namespace

void CSubDialog::FitTextStatics() {
    for (HWND child = GetWindow(m_hWnd, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        const LONG style = GetWindowLongW(child, GWL_STYLE);
        const LONG type = style & SS_TYPEMASK;
        if (!IsClass(child, L"Static") || !(style & WS_VISIBLE) || (type != SS_LEFT && type != SS_CENTER && type != SS_RIGHT)) {
            continue;
        }
        // A rich label keeps no text in the static: it fits itself.
        const std::wstring text = ReadWindowText(child);
        if (text.empty()) continue;
        RECT rect = ChildRectInParent(m_hWnd, child);
        RECT needed = {0, 0, rect.right - rect.left, 0};
        HDC dc = GetDC(child);
        if (!dc) continue;
        HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(child, WM_GETFONT, 0, 0)));
        UINT format = DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | ((style & SS_NOPREFIX) ? DT_NOPREFIX : 0);
        DrawTextW(dc, text.c_str(), -1, &needed, format);
        SelectObject(dc, old);
        ReleaseDC(child, dc);
        const int height = needed.bottom - needed.top;
        if (height <= rect.bottom - rect.top) continue;
        const int bottom = std::min(static_cast<int>(rect.top) + height, RoomBelow(m_hWnd, child, rect));
        if (bottom > rect.bottom) {
            SetWindowPos(child, nullptr, 0, 0, rect.right - rect.left, bottom - rect.top,
                         SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
        if (rect.top + height > bottom) {
            WriteDiagnosticFormat(L"Page %u: the text of control %d does not fit and shows only in part: %ls\n",
                                  GetTemplateId(), GetDlgCtrlID(child), text.c_str());
        }
    }
}

namespace {
bool IsPushButton(HWND window) {
    if (!IsClass(window, L"Button")) return false;
    LONG type = GetWindowLongW(window, GWL_STYLE) & BS_TYPEMASK;
    return type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON;
}

// The width the button's caption needs in the button's font, with the
// button's margins (4 dialog units on each side).
int NeededButtonWidth(HWND page, HWND button) {
    wchar_t caption[256] = {};
    GetWindowTextW(button, caption, ARRAYSIZE(caption));
    HDC dc = GetDC(button);
    if (!dc) return 0;
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(button, WM_GETFONT, 0, 0)));
    RECT text = {};
    DrawTextW(dc, caption, -1, &text, DT_CALCRECT | DT_SINGLELINE);
    SelectObject(dc, old);
    ReleaseDC(button, dc);
    RECT margins = {0, 0, 8, 0};
    MapDialogRect(page, &margins);
    return text.right - text.left + margins.right;
}
}  // namespace

void CSubDialog::FitButtonsToText() {
    std::vector<std::pair<HWND, RECT>> buttons;
    for (HWND child = GetWindow(m_hWnd, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (IsPushButton(child) && HasVisibleStyle(child)) buttons.emplace_back(child, ChildRectInParent(m_hWnd, child));
    }
    // Rows of buttons side by side, each from left to right.
    std::sort(buttons.begin(), buttons.end(), [](const auto& a, const auto& b) {
        return a.second.top != b.second.top ? a.second.top < b.second.top : a.second.left < b.second.left;
    });
    for (size_t first = 0; first < buttons.size();) {
        size_t end = first;
        while (end < buttons.size() && buttons[end].second.top == buttons[first].second.top) ++end;
        std::vector<int> widths;
        bool grows = false;
        for (size_t i = first; i < end; ++i) {
            const RECT& rect = buttons[i].second;
            int width = std::max(static_cast<int>(rect.right - rect.left), NeededButtonWidth(m_hWnd, buttons[i].first));
            grows |= width > rect.right - rect.left;
            widths.push_back(width);
        }
        // A wider caption widens its button; the row keeps its right edge and
        // its gaps, the buttons left of a wider one move left.
        if (grows) {
            int right = buttons[end - 1].second.right;
            for (size_t i = end; i-- > first;) {
                const RECT& rect = buttons[i].second;
                const int width = widths[i - first];
                SetWindowPos(buttons[i].first, nullptr, right - width, rect.top, width, rect.bottom - rect.top,
                             SWP_NOZORDER | SWP_NOACTIVATE);
                if (i > first) right = right - width - (rect.left - buttons[i - 1].second.right);
            }
        }
        first = end;
    }
}

void CSubDialog::MakeRoomBelowGrownLabels() {
    for (HWND label = GetWindow(m_hWnd, GW_CHILD); label; label = GetWindow(label, GW_HWNDNEXT)) {
        const DialogTemplateItem* item = m_template.FindItem(static_cast<UINT>(GetDlgCtrlID(label)));
        if (!item || !HasVisibleStyle(label)) continue;
        RECT planned = {item->x, item->y, item->x + item->cx, item->y + item->cy};
        MapDialogRect(m_hWnd, &planned);
        const RECT grown = ChildRectInParent(m_hWnd, label);
        if (grown.bottom <= planned.bottom) continue;
        RECT nearGap = {0, 0, 0, 4};  // what counts as right below: within 4 dialog units
        MapDialogRect(m_hWnd, &nearGap);
        for (HWND below = GetWindow(m_hWnd, GW_CHILD); below; below = GetWindow(below, GW_HWNDNEXT)) {
            if (below == label || !HasVisibleStyle(below)) continue;
            RECT rect = ChildRectInParent(m_hWnd, below);
            if (rect.left >= grown.right || rect.right <= grown.left) continue;
            if (rect.top < planned.bottom) continue;
            const bool scrolls = (GetWindowLongW(below, GWL_STYLE) & WS_VSCROLL) != 0;
            // A scrolling control (the licence) right below gives up its top:
            // it moves down by the label's growth (the gap between them
            // stays) and keeps its bottom, so the buttons' row is not touched.
            const int top = rect.top + (grown.bottom - planned.bottom);
            if (scrolls && rect.top < grown.bottom + nearGap.bottom && rect.bottom - top >= (rect.bottom - rect.top) / 2) {
                SetWindowPos(below, nullptr, rect.left, top, rect.right - rect.left, rect.bottom - top,
                             SWP_NOZORDER | SWP_NOACTIVATE);
                continue;
            }
            if (rect.top < grown.bottom) {
                WriteDiagnosticFormat(L"Page %u: label %d overlaps control %d below it\n", GetTemplateId(),
                                      GetDlgCtrlID(label), GetDlgCtrlID(below));
            }
        }
    }
}
