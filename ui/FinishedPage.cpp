#include "ui/FinishedPage.h"

#include <cstdio>

#include "app/Program.h"
#include "config/ServerEndpoints.h"
#include "framework/ResourceStrings.h"
#include "resources/resource.h"
#include "ui/ProductText.h"
#include "services/EventTracker.h"
#include "app/FinishWizard.h"
#include "ui/MessageBox.h"

IMPLEMENT_DYNCREATE(CFinishedPage, CWizardPage)

namespace {
const UINT_PTR kCountdownTimer = 1;
const UINT kCountdownPeriodMs = 1000;
const int kLongestCountdown = 120;

}  // namespace

CFinishedPage::CFinishedPage() : CWizardPage(IDD_FINISHED) {}

int CFinishedPage::CountdownSeconds(const wchar_t* autoLaunchWait) {
    if (!autoLaunchWait) return 0;
    int seconds = 0;
    if (std::swscanf(autoLaunchWait, L"%d", &seconds) != 1) return 0;
    return seconds >= 1 && seconds <= kLongestCountdown ? seconds : 0;
}

BOOL CFinishedPage::OnInitDialog() {
    CWizardPage::OnInitDialog();
    ShowTexts();
    CProgram& program = GetProgram();
    if (const wchar_t* s2s = InstallerFinishedNoticeUrl(program.m_buildConfig, program.m_installerData)) {
        EventTracker::SendUrlAsync(s2s);
    }
    CloseOpenPopup();
    return TRUE;
}

void CFinishedPage::ShowTexts() {
    CProgram& program = GetProgram();
    HWND launch = GetDlgItem(IDC_LAUNCH_CHECK);
    if (program.m_runState.IsAborted()) {
        bool error = program.m_runState.HasFailed();
        SetDlgItemTextW(m_hWnd, IDC_FINISHED_TITLE,
                        LoadProductText(error ? IDS_ERROR_TITLE : IDS_INTERRUPTED_TITLE).c_str());
        SetDlgItemTextW(m_hWnd, IDC_FINISHED_TEXT, LoadProductText(error ? IDS_ERROR_TEXT : IDS_INTERRUPTED_TEXT).c_str());
        ShowWindow(launch, SW_HIDE);
        return;
    }
    auto reboot = program.m_runFlags.find(L"RebootRequired");
    if (reboot != program.m_runFlags.end() && reboot->second != 0) {
        ShowWindow(launch, SW_HIDE);
        return;
    }
    ShowWindow(launch, SW_SHOW);
    CheckDlgButton(m_hWnd, IDC_LAUNCH_CHECK, BST_CHECKED);
    m_nCountdown = CountdownSeconds(program.m_installerData.Get(L"AutoLaunchWait"));
    if (m_nCountdown > 0) {
        wchar_t caption[128] = {};
        GetDlgItemTextW(m_hWnd, IDC_FINISH, caption, ARRAYSIZE(caption));
        m_strFinishCaption = caption;
        SetTimer(m_hWnd, kCountdownTimer, kCountdownPeriodMs, nullptr);
    }
}

void CFinishedPage::CloseOpenPopup() {
    HWND mainWindow = GetParent(m_hWnd);
    if (!mainWindow) return;
    HWND popup = GetWindow(mainWindow, GW_ENABLEDPOPUP);
    if (!popup) return;
    if (auto* box = dynamic_cast<CMessageBox*>(CDialog::FromHandle(popup))) {
        box->EndWithCloseResult();
    } else if (popup != mainWindow && IsWindowEnabled(mainWindow)) {
        CloseWindow(popup);
    }
}

void CFinishedPage::OnCountdownTick() {
    if (m_nCountdown <= 0) return;
    --m_nCountdown;
    if (m_nCountdown == 0) {
        KillTimer(m_hWnd, kCountdownTimer);
        OnFinish();
        return;
    }
    HWND finish = GetDlgItem(IDC_FINISH);
    if (!finish || m_strFinishCaption.empty()) return;
    wchar_t caption[160];
    std::swprintf(caption, ARRAYSIZE(caption), L"%ls(%d)", m_strFinishCaption.c_str(), m_nCountdown);
    SetWindowTextW(finish, caption);
}

void CFinishedPage::OnFinish() {
    // The finish operation pumps messages while it pauses: a second Finish
    // (a click, the countdown, the close box) during it does nothing.
    if (m_bFinishing) return;
    m_bFinishing = true;
    if (m_nCountdown > 0) {
        KillTimer(m_hWnd, kCountdownTimer);
        m_nCountdown = 0;
    }
    bool launch = IsDlgButtonChecked(m_hWnd, IDC_LAUNCH_CHECK) == BST_CHECKED;
    FinishWizard(launch, true);
}

void CFinishedPage::OnCancel() { OnFinish(); }

bool CFinishedPage::CanClose() {
    OnFinish();
    return false;
}

bool CFinishedPage::OnCommand(UINT id, UINT notifyCode, HWND control) {
    if (id == IDC_FINISH) {
        OnFinish();
        return true;
    }
    return CWizardPage::OnCommand(id, notifyCode, control);
}

bool CFinishedPage::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    if (message == WM_TIMER && wParam == kCountdownTimer) {
        OnCountdownTick();
        result = 0;
        return true;
    }
    return CWizardPage::OnMessage(message, wParam, lParam, result);
}
