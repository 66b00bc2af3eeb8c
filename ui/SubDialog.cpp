#include "ui/SubDialog.h"

#include "ui/WizardApplication.h"
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
    // The page's own init handler has set its texts by now.
    FitTextStatics();
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

void CSubDialog::OnOK() {}

void CSubDialog::OnCancel() {
    if (!m_pHost || m_pHost->ConfirmCancel() != IDYES) return;
    m_pHost->CancelRun();
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
