#include "ui/SubDialog.h"

#include <algorithm>
#include <utility>

#include "app/Program.h"
#include "framework/DiagnosticOutput.h"
#include "framework/Exceptions.h"
#include "framework/ResourceBytes.h"
#include "resources/resource.h"
#include "ui/PageHost.h"
#include "ui/ReadingPaneKeys.h"
#include "ui/labels/RichLabel.h"

IMPLEMENT_DYNAMIC(CSubDialog, CDialog)

CSubDialog::CSubDialog(UINT templateId) : CDialog(templateId) {
    LPCWSTR name = MAKEINTRESOURCEW(templateId);
    const void* bytes = LockResourceBytes(name, RT_DIALOG);
    if (!bytes || FAILED(ParseDialogTemplate(bytes, GetResourceByteCount(name, RT_DIALOG), m_template))) {
        ThrowResourceException();
    }
}

CSubDialog::~CSubDialog() {
    // The window goes first, while the labels hooked into it and the fonts it uses still exist.
    DestroyWindow();
}

bool CSubDialog::Create(HWND parent, IPageHost* host) {
    m_pHost = host;
    m_bInitFailed = false;
    if (!CreateModeless(parent)) return false;
    if (m_bInitFailed) {
        ShowWindow(m_hWnd, SW_HIDE);
        return false;
    }
    ComposeBackground();
    return true;
}

void CSubDialog::OnLeavePage() {}

HWND CSubDialog::InitialFocusControl() const {
    if (!m_hWnd) return nullptr;
    DWORD answer = static_cast<DWORD>(SendMessageW(m_hWnd, DM_GETDEFID, 0, 0));
    if (HIWORD(answer) == DC_HASDEFID) {
        HWND button = GetDlgItem(LOWORD(answer));
        if (button && IsWindowEnabled(button) && IsWindowVisible(button)) return button;
    }
    return GetNextDlgTabItem(m_hWnd, nullptr, FALSE);
}

bool CSubDialog::CanClose() { return true; }

BOOL CSubDialog::OnInitDialog() {
    CDialog::OnInitDialog();
    StyleChildren();
    for (int marker : {IDC_HEADER_MARKER, IDC_BANNER}) {
        if (HWND control = GetDlgItem(marker)) ShowWindow(control, SW_HIDE);
    }
    MakeRoomBelowGrownLabels();
    FitButtonsToText();
    ComposeBackground();
    return TRUE;
}

namespace {
RECT RectInParent(HWND parent, HWND child) {
    RECT rect = {};
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

bool HasVisibleStyle(HWND window) { return (GetWindowLongW(window, GWL_STYLE) & WS_VISIBLE) != 0; }
}  // namespace

namespace {
bool IsPushButton(HWND window) {
    wchar_t name[16] = {};
    GetClassNameW(window, name, ARRAYSIZE(name));
    if (CompareStringOrdinal(name, -1, L"Button", -1, TRUE) != CSTR_EQUAL) return false;
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
        if (IsPushButton(child) && HasVisibleStyle(child)) buttons.emplace_back(child, RectInParent(m_hWnd, child));
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
        const RECT grown = RectInParent(m_hWnd, label);
        if (grown.bottom <= planned.bottom) continue;
        RECT nearGap = {0, 0, 0, 4};  // what counts as right below: within 4 dialog units
        MapDialogRect(m_hWnd, &nearGap);
        for (HWND below = GetWindow(m_hWnd, GW_CHILD); below; below = GetWindow(below, GW_HWNDNEXT)) {
            if (below == label || !HasVisibleStyle(below)) continue;
            RECT rect = RectInParent(m_hWnd, below);
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

void CSubDialog::OnOK() {}

void CSubDialog::OnCancel() {
    if (!m_pHost || m_pHost->ConfirmCancel() != IDYES) return;
    if (auto* program = dynamic_cast<CProgram*>(GetApplication())) program->m_bAborted = true;
    m_pHost->ShowFinishedPage();
}

void CSubDialog::OnHandlerException(UINT message) {
    if (message == WM_INITDIALOG) m_bInitFailed = true;
}

bool CSubDialog::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
        case WM_ERASEBKGND:
            result = OnEraseBackground(reinterpret_cast<HDC>(wParam));
            return true;
        case WM_CTLCOLORSTATIC:
            result = OnStaticColour(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
            return true;
        case WM_SIZE:
            ComposeBackground();
            return false;
        default:
            return CDialog::OnMessage(message, wParam, lParam, result);
    }
}
