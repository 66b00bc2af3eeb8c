#include "ui/ProgressPage.h"

#include <commctrl.h>

#include "ui/WizardApplication.h"
#include "config/ServerEndpoints.h"
#include "engine/Installation.h"
#include "framework/DiagnosticOutput.h"
#include "framework/PostedText.h"
#include "framework/ResourceStrings.h"
#include "resources/resource.h"
#include "services/EventTracker.h"
#include "ui/CampaignCodes.h"
#include "ui/MainWindow.h"
#include "ui/PageHost.h"

IMPLEMENT_DYNCREATE(CProgressPage, CWizardPage)

namespace {
void SetBar(HWND bar, int percent) {
    if (percent < 0) percent = 0;
    if (percent > 100) percent = 100;
    SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(percent), 0);
}

void NotifyInstallerFinished() {
    IWizardApplication& program = WizardApplication();
    if (const wchar_t* url = InstallerFinishedNoticeUrl(program.Configuration(), program.InstallerData())) {
        EventTracker::SendUrlAsync(url);
    }
}
}  // namespace

CProgressPage::CProgressPage() : CWizardPage(IDD_PROGRESS) {}

CProgressPage::~CProgressPage() {
    LeaveController();
    DeleteTempFiles();
}

bool CProgressPage::IsSkipFinishedPageSet(const wchar_t* value) { return value && std::wstring(value) == L"true"; }

BOOL CProgressPage::OnInitDialog() {
    CWizardPage::OnInitDialog();
    m_taskBar = GetDlgItem(IDC_TASK_BAR);
    m_stepBar = GetDlgItem(IDC_STEP_BAR);
    if (CInstallation* installation = Controller()) {
        installation->m_proxy.SetPage(this);
        m_bAttached = true;
        installation->PostThreadMessage(WM_INSTALL_BEGIN, 0, 0);
    } else {
        // Nobody would ever report a result: the page ends in the error variant.
        WriteDiagnostic(L"The progress page has no installation controller to run\n");
        PostMessageW(m_hWnd, WM_PAGE_RESULT, 0, reinterpret_cast<LPARAM>(new COleException(E_UNEXPECTED)));
    }
    PostMessageW(m_hWnd, WM_PAGE_TRAY_CHECK, 0, 0);
    return TRUE;
}

void CProgressPage::OnCancel() {
    // Already stopping, or the installer is at a step it cannot leave.
    if (m_bCancelled || m_bResultReceived) return;
    HWND cancel = GetDlgItem(IDCANCEL);
    if (cancel && !IsWindowEnabled(cancel)) return;
    if (!m_pHost) return;
    std::weak_ptr<int> alive = m_lifetime;
    // The question is modal: the result may arrive and move the wizard on meanwhile.
    int answer = m_pHost->ConfirmCancel();
    if (alive.expired() || answer != IDYES) return;
    m_bCancelled = true;
    ShowStopping();
}

// From the Yes on: the page says it stops, and Cancel stays off whatever the
// controller still reports until its result moves the wizard on.
void CProgressPage::ShowStopping() {
    m_bShowingStop = true;
    std::wstring text;
    LoadResourceString(IDS_STOPPING, text);
    SetDlgItemTextW(m_hWnd, IDC_TASK_TEXT, text.c_str());
    SetDlgItemTextW(m_hWnd, IDC_STEP_TEXT, L"");
    HWND cancel = GetDlgItem(IDCANCEL);
    if (cancel && GetFocus() == cancel) SendMessageW(GetParent(m_hWnd), WM_NEXTDLGCTL, 0, FALSE);
    if (cancel) EnableWindow(cancel, FALSE);
}

void CProgressPage::OnNextTask(WPARAM percent, LPARAM text) {
    std::wstring taskText = TakePostedText(text);
    if (m_bShowingStop) return;
    SetBar(m_taskBar, static_cast<int>(percent));
    SetDlgItemTextW(m_hWnd, IDC_TASK_TEXT, taskText.c_str());
}

void CProgressPage::OnStepProgress(WPARAM percent, LPARAM text) {
    if (m_bShowingStop) {
        TakePostedText(text);
        return;
    }
    int position = static_cast<int>(percent);
    if (position >= 0) SetBar(m_stepBar, position);
    // No text: the current one stays.
    if (text) SetDlgItemTextW(m_hWnd, IDC_STEP_TEXT, TakePostedText(text).c_str());
}

void CProgressPage::OnRememberTempFile(LPARAM path) {
    std::wstring file = TakePostedText(path);
    if (!file.empty()) m_tempFiles.push_back(std::move(file));
}

void CProgressPage::ShowMainWindow() {
    if (HWND frame = GetParent(m_hWnd)) ShowWindow(frame, SW_SHOW);
}

void CProgressPage::OnResult(CException* error) {
    // The controller reports once; anything after that (a second finish) is dropped.
    if (m_bResultReceived) {
        if (error) error->Delete();
        return;
    }
    m_bResultReceived = true;
    IWizardApplication& program = WizardApplication();
    // Only a stop the user (or an error shown already) asked for counts: the
    // controller also marks the page cancelled when the payload run fails,
    // and that failure must be shown.
    const bool stoppedByUser = program.Run().StoppedBeforePointOfNoReturn();
    if (error) {
        if (!stoppedByUser) {
            ShowMainWindow();
            throw error;
        }
        // What the controller reports when it was told to stop is the stop itself.
        wchar_t message[256] = L"";
        if (!error->GetErrorMessage(message, ARRAYSIZE(message))) message[0] = L'\0';
        WriteDiagnosticFormat(L"Installation stopped by the user: %ls\n", message);
        error->Delete();
    }
    if (stoppedByUser) {
        ShowMainWindow();
        program.Run().Cancel();
        if (m_pHost) m_pHost->ShowFinishedPage();
        return;
    }
    const bool skipFinishedPage = IsSkipFinishedPageSet(program.Configuration().Get(L"SkipFinishedPage"));
    if (!IsWindowVisible(m_hWnd)) {
        // Hidden in the notification area: the wizard ends without its last page.
        NotifyInstallerFinished();
        WizardApplication().EndWizard(true, true);
    } else if (skipFinishedPage) {
        NotifyInstallerFinished();
        WizardApplication().EndWizard(true, false);
    } else if (CMainWindow* window = MainWindow()) {
        window->ShowNextPage();
    }
}

void CProgressPage::OnTrayCheck() {
    if (!IsTrayCampaign(WizardApplication().InstallerData().Get(L"track"))) return;
    CMainWindow* window = MainWindow();
    if (!window || !window->GetSafeHwnd()) return;
    // Without its icon the hidden wizard could never be brought back: it stays on screen.
    if (!window->GetTrayIcon().IsAdded() && !window->GetTrayIcon().Add()) {
        WriteDiagnostic(L"The notification-area icon could not be added; the wizard stays on screen\n");
        return;
    }
    ShowWindow(window->GetSafeHwnd(), SW_HIDE);
}

void CProgressPage::LeaveController() noexcept {
    if (m_bAttached) {
        m_bAttached = false;
        if (CInstallation* installation = Controller()) installation->m_proxy.DetachPage(this);
    }
    if (!m_hWnd) return;
    MSG message;
    while (PeekMessageW(&message, m_hWnd, WM_PAGE_NEXT_TASK, WM_PAGE_TRAY_CHECK, PM_REMOVE)) {
        switch (message.message) {
            case WM_PAGE_NEXT_TASK:
            case WM_PAGE_STEP_PROGRESS: TakePostedText(message.lParam); break;
            case WM_PAGE_REMEMBER_TEMP_FILE: OnRememberTempFile(message.lParam); break;
            case WM_PAGE_RESULT:
                if (message.lParam) reinterpret_cast<CException*>(message.lParam)->Delete();
                break;
            default: break;
        }
    }
}

void CProgressPage::DeleteTempFiles() noexcept {
    for (const std::wstring& file : m_tempFiles) {
        if (DeleteFileW(file.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND) continue;
        // Still in use (an offer's setup that runs from it): gone at the next restart.
        if (!MoveFileExW(file.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) {
            WriteDiagnosticFormat(L"The temporary file %ls could not be deleted\n", file.c_str());
        }
    }
    m_tempFiles.clear();
}

bool CProgressPage::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    result = 0;
    switch (message) {
        case WM_PAGE_NEXT_TASK: OnNextTask(wParam, lParam); return true;
        case WM_PAGE_STEP_PROGRESS: OnStepProgress(wParam, lParam); return true;
        case WM_PAGE_REMEMBER_TEMP_FILE: OnRememberTempFile(lParam); return true;
        case WM_PAGE_RESULT: OnResult(reinterpret_cast<CException*>(lParam)); return true;
        case WM_PAGE_SHOW_CANCEL: EnableWindow(GetDlgItem(IDCANCEL), wParam != 0 && !m_bShowingStop); return true;
        case WM_PAGE_TRAY_CHECK: OnTrayCheck(); return true;
        case WM_DESTROY: LeaveController(); return CWizardPage::OnMessage(message, wParam, lParam, result);
        default: return CWizardPage::OnMessage(message, wParam, lParam, result);
    }
}
