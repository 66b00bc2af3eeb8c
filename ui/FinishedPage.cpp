#include "ui/FinishedPage.h"

#include <cstdio>

#include "ui/WizardApplication.h"
#include "config/ServerEndpoints.h"
#include "framework/ResourceStrings.h"
#include "resources/resource.h"
#include "ui/ProductText.h"
#include "services/EventTracker.h"
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
    // The finished page may come while the controller's server update is
    // still under way (an error or a close on the initialization page).
    IWizardApplication& program = WizardApplication();
    InstallerDataLock::Read reading(program.InstallerDataGuard());
    ShowTexts();
    if (const wchar_t* s2s = InstallerFinishedNoticeUrl(program.Configuration(), program.InstallerData())) {
        EventTracker::SendUrlAsync(s2s);
    }
    CloseOpenPopup();
    return TRUE;
}

void CFinishedPage::ShowTexts() {
    IWizardApplication& program = WizardApplication();
    HWND launch = GetDlgItem(IDC_LAUNCH_CHECK);
    if (program.Run().IsAborted()) {
        bool error = program.Run().HasFailed();
        SetDlgItemTextW(m_hWnd, IDC_FINISHED_TITLE,
                        LoadProductText(error ? IDS_ERROR_TITLE : IDS_INTERRUPTED_TITLE).c_str());
        SetDlgItemTextW(m_hWnd, IDC_FINISHED_TEXT, LoadProductText(error ? IDS_ERROR_TEXT : IDS_INTERRUPTED_TEXT).c_str());
        ShowWindow(launch, SW_HIDE);
        return;
    }
    auto reboot = program.RunFlags().find(L"RebootRequired");
    if (reboot != program.RunFlags().end() && reboot->second != 0) {
        ShowWindow(launch, SW_HIDE);
        return;
    }
    ShowWindow(launch, SW_SHOW);
    CheckDlgButton(m_hWnd, IDC_LAUNCH_CHECK, BST_CHECKED);
    m_nCountdown = CountdownSeconds(program.InstallerData().Get(L"AutoLaunchWait"));
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
    WizardApplication().EndWizard(launch, true);
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
