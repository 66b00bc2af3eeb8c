#pragma once
// CProgressPage (template 104): the page shown while the controller
// downloads, verifies and installs. When it appears it attaches itself to the
// controller's progress-page proxy and asks for the install step (WM_INSTALL_BEGIN);
// the controller then reports through posted messages: both bars and their
// texts (WM_PAGE_NEXT_TASK, WM_PAGE_STEP_PROGRESS), the temporary files the
// page deletes when it goes (WM_PAGE_REMEMBER_TEMP_FILE), its result once
// (WM_PAGE_RESULT: none, or an error object that is thrown again here) and
// whether Cancel may be used (WM_PAGE_SHOW_CANCEL). With the campaign codes
// "NOX00011" and "NOX00012" the wizard moves into the notification area while
// it installs (WM_PAGE_TRAY_CHECK, posted to itself). The numbers are in
// payload/WizardMessages.h.
// Thread rules: everything on the user-interface thread, except
// GetPageWindow, IsCancelled and SetCancelled, which the proxy calls under
// its lock from the controller thread. The page detaches from the proxy
// before its window goes, so the controller never posts to a dead page.
#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "engine/ProgressPage.h"
#include "ui/WizardPage.h"

class CException;

class CProgressPage : public CWizardPage, public IProgressPage {
    DECLARE_DYNCREATE(CProgressPage)
public:
    CProgressPage();
    ~CProgressPage() override;

    HWND GetPageWindow() const override { return m_hWnd; }
    bool IsCancelled() const override { return m_bCancelled; }
    void SetCancelled(bool cancelled) override { m_bCancelled = cancelled; }

    const std::vector<std::wstring>& GetTempFiles() const { return m_tempFiles; }

    // "SkipFinishedPage" counts as set only when it is exactly "true".
    static bool IsSkipFinishedPageSet(const wchar_t* value);

protected:
    BOOL OnInitDialog() override;
    // Cancel (button 2, Escape, the close box): the question, then the controller stops.
    void OnCancel() override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    void OnNextTask(WPARAM percent, LPARAM text);
    void OnStepProgress(WPARAM percent, LPARAM text);
    void OnRememberTempFile(LPARAM path);
    void OnResult(CException* error);
    void OnTrayCheck();
    void ShowMainWindow();
    void ShowStopping();
    // Leaves the proxy and takes what was posted but not yet handled: files
    // are kept for deletion, texts and error objects are freed.
    void LeaveController() noexcept;
    void DeleteTempFiles() noexcept;

    std::vector<std::wstring> m_tempFiles;
    HWND m_taskBar = nullptr;
    HWND m_stepBar = nullptr;
    std::atomic<bool> m_bCancelled{false};
    bool m_bShowingStop = false;  // the user's Yes: the page says it stops and keeps Cancel off
    bool m_bAttached = false;
    bool m_bResultReceived = false;
    // Expires with the page: a handler that ran a modal question checks it
    // before it touches the page again.
    std::shared_ptr<int> m_lifetime = std::make_shared<int>(0);
};
