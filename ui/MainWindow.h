#pragma once
// CMainWindow: the wizard frame (template 100). It owns no controls: it shows
// one page at a time as a child dialog, created by class name from the page
// order, answers Next, Back, Cancel and Close, jumps to the finished page on
// cancel or error, carries the system-menu about item and the
// notification-area icon, and throws again on this thread the errors the
// controller hands over. The application object runs it modally; when it
// ends, the program ends. User-interface thread only.
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/ProgressPage.h"
#include "framework/Dialog.h"
#include "ui/PageHost.h"
#include "ui/PageSequence.h"
#include "ui/TrayIcon.h"

#include "ui/SubDialog.h"

// Its window messages (WM_MAIN_START to WM_MAIN_INSTALLER_DATA_READY) are
// in payload/WizardMessages.h.

// The system-menu command of the about box (string 16).
const UINT kAboutCommand = 16;

class CException;

class CMainWindow : public CDialog, public IPageHost {
    DECLARE_DYNAMIC(CMainWindow)
public:
    CMainWindow();
    ~CMainWindow() override;

    // The main window that shows the page with this host, or null.
    static CMainWindow* FromHost(IPageHost* host);

    // Next: the next page of the page order (posts WM_MAIN_SHOW_PAGE). Leaving the
    // first page extends the order with the offers and the rest.
    void ShowNextPage();
    // Back (control 1000 of every page): posts WM_MAIN_SHOW_PREVIOUS.
    void ShowPreviousPage();
    // Jumps to the finished page (cancel, error, abort).
    void ShowFinishedPage() override;
    // Asks string 3015 with Yes/No; on Yes the controller is told to stop
    // (the run state stops, the proxy is cancelled, WM_INSTALL_FINISH). Returns the button (IDYES = 6).
    // A second call while the question is open answers IDNO at once.
    int ConfirmCancel() override;
    void CancelRun() override;
    // Creates the page of that class and activates it, without touching the
    // page order or the history. Errors: invalid argument (unknown class or
    // not a page), out of memory, a silent user error when its window fails.
    void ShowPageByName(const std::wstring& name);

    // The page on screen, or null.
    CSubDialog* GetPage() const { return m_pPage.get(); }
    CTrayIcon& GetTrayIcon() { return m_trayIcon; }
    const CPageSequence& GetSequence() const { return m_sequence; }

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;      // nothing: the frame has no buttons
    void OnCancel() override;  // Escape on the frame: the current page's Cancel
    // Commands of the page's controls that the dialog manager sends to the frame go to the page.
    bool OnCommand(UINT id, UINT notifyCode, HWND control) override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    void OnStart();
    void OnInstallerDataReady();
    void ShowFirstPage();
    void OnShowPage(LPARAM name);
    void OnShowPrevious();
    void ActivatePage(std::unique_ptr<CSubDialog> page);
    // Deletes the retired pages whose handlers have all returned (on
    // WM_MAIN_DELETE_PAGE and its timer); true when one is still busy.
    bool DeleteIdleRetiredPages();
    bool OnSystemCommand(WPARAM command);
    void OnClose();
    // A failure the controller reported while no page listens (raised on this thread).
    void OnControllerError(CException* error);
    void BuildPageOrder();
    void ExtendPageOrder();
    void StayOnTop();
    // Gives the keyboard focus to preferred when it is a usable control of the
    // page on screen, else to the page's own first choice.
    void FocusPage(HWND preferred);
    void OnActivate(WPARAM state);

    CPageSequence m_sequence;  // m_pageOrder, m_history, m_nCurrent, m_bEulaSkipped
    std::unique_ptr<CSubDialog> m_pPage;
    // Pages left behind, hidden, until their WM_MAIN_DELETE_PAGE (or the window's end) deletes them;
    // a page whose handler still runs (its cancel question is open) is kept until it returns.
    std::vector<std::unique_ptr<CSubDialog>> m_retiredPages;
    CTrayIcon m_trayIcon;
    HICON m_hIcon = nullptr;
    // The page's control that had the focus when the frame was last
    // deactivated (or that takes it when the frame is activated next).
    HWND m_hFocusToRestore = nullptr;
    bool m_bConfirmingCancel = false;
    // The person has answered Yes once: a later Cancel (a key typed ahead,
    // the close box) does not ask again.
    bool m_bCancelConfirmed = false;
    bool m_bNextPending = false;  // a Next (WM_MAIN_SHOW_PAGE without a name) is on its way
};
