#include "framework/Dialog.h"

#include "framework/HandlerExceptions.h"
#include "framework/ResourceBytes.h"
#include "framework/WinApp.h"

IMPLEMENT_DYNAMIC(CDialog, CObject)

namespace {
bool IsKeyOrClick(UINT message) {
    switch (message) {
        case WM_KEYDOWN: case WM_KEYUP: case WM_CHAR: case WM_SYSKEYDOWN: case WM_SYSKEYUP: case WM_SYSCHAR:
        case WM_LBUTTONDOWN: case WM_LBUTTONUP: case WM_LBUTTONDBLCLK: case WM_RBUTTONDOWN: case WM_RBUTTONUP:
        case WM_RBUTTONDBLCLK: case WM_MBUTTONDOWN: case WM_MBUTTONUP: case WM_MBUTTONDBLCLK:
        case WM_NCLBUTTONDOWN: case WM_NCLBUTTONUP: case WM_NCLBUTTONDBLCLK: case WM_NCRBUTTONDOWN:
        case WM_NCRBUTTONUP: case WM_NCRBUTTONDBLCLK:
            return true;
        default:
            return false;
    }
}

// Messages whose dialog-procedure answer is the result itself rather than
// TRUE with the result in DWLP_MSGRESULT.
bool ReturnsResultDirectly(UINT message) {
    switch (message) {
        case WM_CTLCOLORMSGBOX: case WM_CTLCOLOREDIT: case WM_CTLCOLORLISTBOX: case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG: case WM_CTLCOLORSCROLLBAR: case WM_CTLCOLORSTATIC: case WM_COMPAREITEM:
        case WM_VKEYTOITEM: case WM_CHARTOITEM: case WM_QUERYDRAGICON: case WM_INITDIALOG:
            return true;
        default:
            return false;
    }
}
}  // namespace

CDialog::CDialog(UINT templateId) : m_nTemplateId(templateId) {}

CDialog::~CDialog() { DestroyWindow(); }

const DLGTEMPLATE* CDialog::LoadTemplate() {
    return static_cast<const DLGTEMPLATE*>(LockResourceBytes(MAKEINTRESOURCEW(m_nTemplateId), RT_DIALOG));
}

HWND CDialog::CreateFromTemplate(HWND parent) {
    if (m_hWnd) return m_hWnd;
    const DLGTEMPLATE* dialogTemplate = LoadTemplate();
    if (!dialogTemplate) return nullptr;
    HINSTANCE instance = GetModuleHandleW(nullptr);
    CreateDialogIndirectParamW(instance, dialogTemplate, parent, DialogProcedure, reinterpret_cast<LPARAM>(this));
    return m_hWnd;
}

bool CDialog::CreateModeless(HWND parent) {
    m_bModal = false;
    return CreateFromTemplate(parent) != nullptr;
}

INT_PTR CDialog::DoModal(HWND owner) {
    m_bModal = true;
    m_bEndModal = false;
    m_nModalResult = -1;
    bool ownerWasEnabled = owner && IsWindowEnabled(owner);
    // Before the window is made: a template with WS_VISIBLE shows it at
    // once, and whoever sees it may answer it at once.
    IgnoreEarlierInput();
    if (!CreateFromTemplate(owner)) {
        m_bModal = false;
        return -1;
    }
    if (ownerWasEnabled) EnableWindow(owner, FALSE);
    if (!m_bEndModal) ShowWindow(m_hWnd, SW_SHOW);
    CWinApp* app = GetApplication();
    while (!m_bEndModal && m_hWnd) {
        MSG message;
        BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0) {
            // WM_QUIT belongs to the outermost loop: leave it in the queue for it.
            PostQuitMessage(static_cast<int>(message.wParam));
            break;
        }
        if (got == -1) break;
        // Input from before the dialog (or its latest page) appeared; the
        // times wrap, so the comparison is of their signed difference.
        if (m_bInputSinceSet && IsKeyOrClick(message.message) &&
            static_cast<LONG>(message.time - m_nInputSince) < 0) {
            continue;
        }
        if (!message.hwnd && app && app->PreTranslateThreadMessage(message)) continue;
        if (PreTranslateMessage(message)) continue;
        if (m_hWnd && IsDialogMessageW(m_hWnd, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    // The owner comes back before the box goes, so activation returns to it.
    if (ownerWasEnabled) EnableWindow(owner, TRUE);
    if (m_hWnd) SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0,
                             SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    DestroyWindow();
    m_bModal = false;
    return m_nModalResult;
}

void CDialog::EndDialog(INT_PTR result) {
    if (!m_bModal) {
        if (m_hWnd) ShowWindow(m_hWnd, SW_HIDE);
        return;
    }
    m_nModalResult = result;
    m_bEndModal = true;
    if (m_hWnd) PostMessageW(m_hWnd, WM_NULL, 0, 0);  // wakes the modal loop
}

void CDialog::IgnoreEarlierInput() {
    m_nInputSince = GetTickCount();
    m_bInputSinceSet = true;
}

void CDialog::DestroyWindow() {
    if (m_hWnd) ::DestroyWindow(m_hWnd);
    m_hWnd = nullptr;
}

CDialog* CDialog::FromHandle(HWND window) {
    if (!window || !IsWindow(window)) return nullptr;
    if (reinterpret_cast<DLGPROC>(GetWindowLongPtrW(window, DWLP_DLGPROC)) != DialogProcedure) return nullptr;
    return reinterpret_cast<CDialog*>(GetWindowLongPtrW(window, DWLP_USER));
}

BOOL CDialog::OnInitDialog() { return TRUE; }
void CDialog::OnOK() { EndDialog(IDOK); }
void CDialog::OnCancel() { EndDialog(IDCANCEL); }

bool CDialog::OnCommand(UINT id, UINT, HWND) {
    switch (id) {
        case IDOK: OnOK(); return true;
        case IDCANCEL: OnCancel(); return true;
        default: return false;
    }
}

bool CDialog::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
        case WM_INITDIALOG:
            result = OnInitDialog();
            return true;
        case WM_COMMAND:
            result = 0;
            return OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
        default:
            return false;
    }
}

bool CDialog::PreTranslateMessage(MSG&) { return false; }

void CDialog::OnHandlerException(UINT) {}

INT_PTR CDialog::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    struct Running {
        int& count;
        explicit Running(int& c) : count(c) { ++count; }
        ~Running() { --count; }
    } running(m_nHandlersRunning);
    LRESULT result = 0;
    bool handled = false;
    CException* escaped = CatchHandlerException([&] { handled = OnMessage(message, wParam, lParam, result); });
    if (escaped) {
        OnHandlerException(message);
        MSG current = {m_hWnd, message, wParam, lParam, static_cast<DWORD>(GetMessageTime()), {}};
        result = HandleWndProcException(escaped, &current);
        handled = true;
    }
    if (!handled) return FALSE;
    if (ReturnsResultDirectly(message)) return static_cast<INT_PTR>(result);
    if (m_hWnd) SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, result);
    return TRUE;
}

INT_PTR CALLBACK CDialog::DialogProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    CDialog* self = nullptr;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<CDialog*>(lParam);
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        self->m_hWnd = window;
    } else {
        self = reinterpret_cast<CDialog*>(GetWindowLongPtrW(window, DWLP_USER));
    }
    if (!self) return FALSE;
    INT_PTR answer = self->Dispatch(message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, DWLP_USER, 0);
        if (self->m_hWnd == window) self->m_hWnd = nullptr;
        if (self->m_bModal) self->m_bEndModal = true;
    }
    return answer;
}
