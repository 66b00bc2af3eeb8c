#include "ui/MainWindow.h"

#include <new>

#include "framework/WinApp.h"
#include "ui/CampaignCodes.h"
#include "ui/WizardApplication.h"
#include "engine/Installation.h"
#include "framework/DiagnosticOutput.h"
#include "framework/ErrorTypes.h"
#include "framework/Exceptions.h"
#include "framework/PostedError.h"
#include "framework/PostedText.h"
#include "framework/ProgramExit.h"
#include "framework/ResourceStrings.h"
#include "resources/resource.h"
#include "ui/ProductText.h"
#include "services/SystemProbes.h"
#include "ui/SubDialog.h"

IMPLEMENT_DYNAMIC(CMainWindow, CDialog)

namespace {
const UINT kBalloonClick = 0x405;  // NIN_BALLOONUSERCLICK
// Retired pages still inside a handler are tried again at this pace.
const UINT_PTR kRetiredPagesTimer = 1;
const UINT kRetiredPagesRetryMs = 100;
// Back on a first page: ERROR_NO_MORE_ITEMS.
const HRESULT kNoPreviousPage = HRESULT_FROM_WIN32(259);

std::wstring AppName() { return WizardApplication().ProductName(); }

// A broken installer: the message in an error box, then the end of the process.
[[noreturn]] void ReportBrokenInstaller(UINT messageId) {
    CToolkitException error(messageId);
    WriteDiagnostic((L"The installer is broken: " + error.m_strMessage + L"\n").c_str());
    error.ReportError(MB_OK | MB_ICONERROR);
    ExitProgram(1);
}

[[noreturn]] void ThrowFirstPageTooLate() { throw new CToolkitException(IDS_FIRST_PAGE_TOO_LATE); }

OfferInputs CollectOfferInputs() {
    IWizardApplication& program = WizardApplication();
    auto enabled = [&](const wchar_t* key) {
        const wchar_t* value = program.InstallerData().Get(key);
        return value && std::wstring(value) == L"enabled";
    };
    OfferInputs inputs;
    const wchar_t* maxOffers = program.InstallerData().Get(L"MaxOffers");
    inputs.maxOffers = maxOffers ? maxOffers : L"";
    inputs.noxSwitchedOn = enabled(L"NoxOffer");
    inputs.gearfreshSwitchedOn = enabled(L"GearfreshOffer");
    inputs.noxUrlKnown = program.Configuration().Get(L"NoxUrl") != nullptr;
    inputs.gearfreshUrlKnown = program.Configuration().Get(L"GearfreshEnUrl") != nullptr;
    inputs.noxInstallable = [] {
        std::wstring reason;
        return IsNoxInstallable(reason);
    };
    inputs.gearfreshInstallable = [] {
        std::wstring reason;
        return IsGearfreshInstallable(reason);
    };
    return inputs;
}
}  // namespace

CMainWindow::CMainWindow() : CDialog(IDD_MAIN_WINDOW) {
    m_hIcon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_APPLICATION_ICON));
}

CMainWindow::~CMainWindow() {
    // Pages are children: they go before the frame.
    m_pPage.reset();
    m_retiredPages.clear();
    DestroyWindow();
}

CMainWindow* CMainWindow::FromHost(IPageHost* host) { return dynamic_cast<CMainWindow*>(host); }

BOOL CMainWindow::OnInitDialog() {
    CDialog::OnInitDialog();
    SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
    std::wstring balloonTitle;
    LoadResourceString(IDS_TRAY_TITLE, balloonTitle);
    m_trayIcon.Prepare(m_hWnd, m_hIcon, AppName(), balloonTitle, LoadProductText(IDS_TRAY_TEXT));

    if (!CampaignKeepsMinimizeBox(WizardApplication().InstallerData().Get(L"track"))) {
        SetWindowLongPtrW(m_hWnd, GWL_STYLE, GetWindowLongPtrW(m_hWnd, GWL_STYLE) & ~WS_MINIMIZEBOX);
    }
    WizardApplication().SetMainWindow(m_hWnd);
    PostMessageW(m_hWnd, WM_MAIN_START, 0, 0);
    return TRUE;
}

void CMainWindow::OnStart() {
    if (HMENU menu = GetSystemMenu(m_hWnd, FALSE)) {
        std::wstring about = LoadProductText(IDS_ABOUT_ITEM);
        if (!about.empty()) {
            AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
            AppendMenuW(menu, MF_STRING, kAboutCommand, about.c_str());
        }
    }
    std::wstring caption = LoadProductText(IDS_WIZARD_CAPTION);
    if (!caption.empty()) SetWindowTextW(m_hWnd, caption.c_str());

    if (WizardApplication().IsInstallerDataReady()) {
        ShowFirstPage();
    } else {
        ShowPageByName(L"CInitializationPage");
    }
    StayOnTop();
}

void CMainWindow::StayOnTop() {
    const UINT keep = SWP_NOMOVE | SWP_NOSIZE;
    if (GetForegroundWindow() != m_hWnd) {
        SetFocus(m_hWnd);
        SetWindowPos(m_hWnd, HWND_TOPMOST, 0, 0, 0, 0, keep);
        SetWindowPos(m_hWnd, HWND_NOTOPMOST, 0, 0, 0, 0, keep);
    }
    SetWindowPos(m_hWnd, HWND_TOPMOST, 0, 0, 0, 0, keep);
}

void CMainWindow::OnInstallerDataReady() {
    // The wizard may have moved on (an error, or a close) while the data was fetched.
    if (WizardApplication().Run().IsAborted()) return;
    ShowFirstPage();
}

void CMainWindow::ShowFirstPage() {
    BuildPageOrder();
    if (!m_sequence.m_history.empty()) ThrowFirstPageTooLate();
    ShowNextPage();
}

void CMainWindow::BuildPageOrder() {
    IWizardApplication& program = WizardApplication();
    bool updateSkipsEula =
        program.InstallerData().Get(L"WS_UPDATE") != nullptr && program.InstallerData().Get(L"WS_SKIP_EULA") != nullptr;
    switch (m_sequence.BuildPageOrder(program.Configuration().Get(L"PageOrder"), updateSkipsEula)) {
        case CPageSequence::BuildResult::NoPageOrder:
            ReportBrokenInstaller(IDS_NO_PAGE_ORDER);
        case CPageSequence::BuildResult::EulaSkipped:
            if (CInstallation* installation = program.Controller()) {
                installation->PostThreadMessage(WM_INSTALL_DOWNLOAD_PAYLOAD, 0, 0);
            }
            if (EventTracker* tracker = program.Tracker()) tracker->TrackEvent(L"InstallerAccepted", false);
            break;
        case CPageSequence::BuildResult::FirstPage:
            break;
    }
}

void CMainWindow::ExtendPageOrder() {
    if (!m_sequence.ExtendPageOrder(WizardApplication().Configuration().Get(L"PageOrder"), CollectOfferInputs())) {
        ReportBrokenInstaller(IDS_NO_PAGE_ORDER);
    }
}

void CMainWindow::ShowNextPage() {
    if (m_sequence.m_pageOrder.size() == 1 && m_sequence.m_nCurrent == 0) ExtendPageOrder();
    if (m_sequence.m_pageOrder.empty()) ReportBrokenInstaller(IDS_NO_PAGES);
    // One Next at a time: a second click before the page changed would skip a page.
    if (m_bNextPending || !m_sequence.HasNextPage()) return;
    m_bNextPending = true;
    PostMessageW(m_hWnd, WM_MAIN_SHOW_PAGE, 0, 0);
}

void CMainWindow::ShowPreviousPage() { PostMessageW(m_hWnd, WM_MAIN_SHOW_PREVIOUS, 0, 0); }

void CMainWindow::ShowFinishedPage() {
    if (m_sequence.m_pageOrder.empty()) {
        // Still on the initialization page: the finished page is the whole order.
        m_sequence.m_pageOrder.push_back(kFinishedPageClass);
    }
    std::wstring page;
    if (!m_sequence.JumpToFinishedPage(page)) return;
    PostTextMessage(m_hWnd, WM_MAIN_SHOW_PAGE, 0, page);
}

void CMainWindow::OnShowPage(LPARAM name) {
    if (name) {
        std::wstring page = TakePostedText(name);
        ShowPageByName(page);
        m_sequence.RecordShown(page);
        return;
    }
    m_bNextPending = false;
    if (!m_sequence.HasNextPage()) return;
    const std::wstring& next = m_sequence.m_pageOrder[static_cast<size_t>(m_sequence.m_nCurrent + 1)];
    ShowPageByName(next);
    m_sequence.NextPage();
}

void CMainWindow::OnShowPrevious() {
    std::wstring page;
    if (!m_sequence.PreviousPage(page)) throw new COleException(kNoPreviousPage);
    ShowPageByName(page);
}

int CMainWindow::ConfirmCancel() {
    // The question is already open (a second Cancel, or a close behind it).
    if (m_bConfirmingCancel) return IDNO;
    if (m_bCancelConfirmed) return IDYES;
    m_bConfirmingCancel = true;
    std::wstring question;
    LoadResourceString(IDS_CANCEL_QUESTION, question);
    int answer = MessageBoxThroughApplication(question.c_str(), MB_YESNO, 0);
    m_bConfirmingCancel = false;
    if (answer != IDYES) return answer;
    m_bCancelConfirmed = true;
    WizardApplication().Run().RequestStop();
    if (CInstallation* installation = WizardApplication().Controller()) {
        installation->Cancel();
        installation->PostThreadMessage(WM_INSTALL_FINISH, 0, 0);
    }
    return answer;
}

void CMainWindow::CancelRun() { WizardApplication().Run().Cancel(); }

void CMainWindow::ShowPageByName(const std::wstring& name) {
    CObject* object = nullptr;
    switch (CreateObjectByName(name.c_str(), RUNTIME_CLASS(CSubDialog), object)) {
        case CreateByNameResult::Created: break;
        case CreateByNameResult::CreationFailed: ThrowMemoryException();
        case CreateByNameResult::UnknownClass:
        case CreateByNameResult::WrongKind:
            WriteDiagnostic((L"No page class \"" + name + L"\"\n").c_str());
            ThrowInvalidArgException();
    }
    ActivatePage(std::unique_ptr<CSubDialog>(static_cast<CSubDialog*>(object)));
}

void CMainWindow::ActivatePage(std::unique_ptr<CSubDialog> page) {
    std::unique_ptr<CSubDialog> old = std::move(m_pPage);
    if (old) old->OnLeavePage();
    bool shown = page->GetSafeHwnd() || page->Create(m_hWnd, this);
    if (shown) {
        // A key or click made before this page shows was meant for the one before.
        IgnoreEarlierInput();
        ShowWindow(page->GetSafeHwnd(), SW_SHOW);
        // The page's own style: the frame itself may be hidden in the notification area.
        shown = (GetWindowLongPtrW(page->GetSafeHwnd(), GWL_STYLE) & WS_VISIBLE) != 0;
    }
    if (!shown) {
        // No message of its own: the page that failed is gone, and so is the one left.
        WriteDiagnostic(L"A page window could not be created or shown\n");
        bool finishedPageFailed = page->IsKindOf(CRuntimeClass::FromName(kFinishedPageClass));
        page.reset();
        old.reset();
        if (finishedPageFailed) {
            // Nowhere left to go: the wizard ends.
            WizardApplication().Run().Cancel();
            EndDialog(IDCANCEL);
            return;
        }
        throw new COleException(E_FAIL);
    }
    m_pPage = std::move(page);
    m_hFocusToRestore = nullptr;
    if (old) {
        if (HWND oldWindow = old->GetSafeHwnd()) ShowWindow(oldWindow, SW_HIDE);
        CSubDialog* retired = old.get();
        m_retiredPages.push_back(std::move(old));
        PostMessageW(m_hWnd, WM_MAIN_DELETE_PAGE, 0, reinterpret_cast<LPARAM>(retired));
    }
    // The keyboard goes on with the new page. A frame that is not active (a
    // question over it, another program in front) gets it when activated.
    if (GetActiveWindow() == m_hWnd) {
        FocusPage(nullptr);
    } else {
        m_hFocusToRestore = m_pPage->InitialFocusControl();
    }
}

void CMainWindow::FocusPage(HWND preferred) {
    HWND page = m_pPage ? m_pPage->GetSafeHwnd() : nullptr;
    if (!page || !IsWindowVisible(page)) return;
    HWND target = preferred;
    if (!target || !IsChild(page, target) || !IsWindowVisible(target) || !IsWindowEnabled(target)) {
        target = m_pPage->InitialFocusControl();
    }
    // Through the dialog manager, which marks the default button as it does for Tab.
    if (target) SendMessageW(m_hWnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(target), TRUE);
}

// The dialog manager's own focus saving would, with no saved control, focus
// the first control Tab reaches and select all its text: the licence would
// jump to its end. The frame keeps the place itself.
void CMainWindow::OnActivate(WPARAM state) {
    if (LOWORD(state) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus && IsChild(m_hWnd, focus)) m_hFocusToRestore = focus;
        return;
    }
    if (HIWORD(state) != 0 || IsIconic(m_hWnd)) return;
    FocusPage(m_hFocusToRestore);
}


bool CMainWindow::OnSystemCommand(WPARAM command) {
    switch (command & 0xFFF0) {
        case kAboutCommand: {
            WizardApplication().ShowAboutBox(m_hWnd);
            return true;
        }
        case SC_MINIMIZE:
            if (!m_trayIcon.IsAdded()) return false;
            ShowWindow(m_hWnd, SW_HIDE);
            return true;
        case SC_CLOSE:
            if (m_pPage && !m_pPage->CanClose()) return true;
            return false;
        default:
            return false;
    }
}

void CMainWindow::OnControllerError(CException* error) {
    const RunPhase phase = WizardApplication().Run().Phase();
    if (phase == RunPhase::StoppingByUser || phase == RunPhase::Cancelled) {
        // The person has cancelled: what the controller reports now (most
        // often the cancelled download's own code) is the stop itself, not
        // an error to put in front of them over the interrupted page.
        wchar_t message[256] = L"";
        if (!error->GetErrorMessage(message, ARRAYSIZE(message))) message[0] = L'\0';
        WriteDiagnosticFormat(L"Installation stopped by the user: %ls\n", message);
        error->Delete();
        return;
    }
    throw error;
}

void CMainWindow::OnClose() {
    const int last = static_cast<int>(m_sequence.m_pageOrder.size()) - 1;
    // No order yet (the initialization page): the page's own Cancel asks.
    if (last >= 0 && m_sequence.m_nCurrent == last && m_sequence.m_nCurrent != 0) {
        // The order may have jumped to its last page (a cancel, an error)
        // while that page is still on its way in the queue: a close then
        // waits for it, so that the person sees how the run ended.
        const bool lastPageShown = m_pPage && m_pPage->GetRuntimeClass()->m_lpszClassName ==
                                                  m_sequence.m_pageOrder[static_cast<size_t>(last)];
        if (lastPageShown) EndDialog(IDCANCEL);
        return;
    }
    if (m_pPage && m_pPage->GetSafeHwnd()) {
        SendMessageW(m_pPage->GetSafeHwnd(), WM_COMMAND, IDCANCEL, 0);
    } else {
        EndDialog(IDCANCEL);
    }
}

void CMainWindow::OnOK() {
    // Enter reaches the frame (the pages are part of its dialog navigation):
    // it presses the page's default button when that is enabled.
    if (!m_pPage || !m_pPage->GetSafeHwnd()) return;
    LRESULT defaultId = SendMessageW(m_pPage->GetSafeHwnd(), DM_GETDEFID, 0, 0);
    if (HIWORD(defaultId) != DC_HASDEFID) return;
    HWND button = m_pPage->GetDlgItem(LOWORD(defaultId));
    if (!button || !IsWindowEnabled(button) || !IsWindowVisible(button)) return;
    SendMessageW(m_pPage->GetSafeHwnd(), WM_COMMAND, MAKEWPARAM(LOWORD(defaultId), BN_CLICKED),
                 reinterpret_cast<LPARAM>(button));
}

void CMainWindow::OnCancel() {
    // Escape reaches the frame: the current page's Cancel (with its question).
    if (m_pPage && m_pPage->GetSafeHwnd()) SendMessageW(m_pPage->GetSafeHwnd(), WM_COMMAND, IDCANCEL, 0);
}

bool CMainWindow::OnCommand(UINT id, UINT notifyCode, HWND control) {
    HWND page = m_pPage ? m_pPage->GetSafeHwnd() : nullptr;
    if (page && control && GetParent(control) == page && id != IDOK && id != IDCANCEL) {
        SendMessageW(page, WM_COMMAND, MAKEWPARAM(id, notifyCode), reinterpret_cast<LPARAM>(control));
        return true;
    }
    return CDialog::OnCommand(id, notifyCode, control);
}

// A page replaced while its handler waits in a box (the data arrived during
// the cancel question) stays until that handler returns; its timer tries again.
bool CMainWindow::DeleteIdleRetiredPages() {
    bool busy = false;
    for (auto it = m_retiredPages.begin(); it != m_retiredPages.end();) {
        if ((*it)->IsHandlingMessage()) {
            busy = true;
            ++it;
            continue;
        }
        (*it)->DestroyWindow();
        it = m_retiredPages.erase(it);
    }
    return busy;
}

bool CMainWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    result = 0;
    switch (message) {
        case WM_TIMER:
            if (wParam != kRetiredPagesTimer) return false;
            if (!DeleteIdleRetiredPages()) KillTimer(m_hWnd, kRetiredPagesTimer);
            return true;
        case WM_MAIN_START: OnStart(); return true;
        case WM_MAIN_DELETE_PAGE:
            if (DeleteIdleRetiredPages()) SetTimer(m_hWnd, kRetiredPagesTimer, kRetiredPagesRetryMs, nullptr);
            return true;
        case WM_MAIN_SHOW_PAGE: OnShowPage(lParam); return true;
        case WM_MAIN_SHOW_PREVIOUS: OnShowPrevious(); return true;
        case WM_MAIN_RESULT:
            if (lParam) OnControllerError(reinterpret_cast<CException*>(lParam));
            return true;
        case WM_MAIN_TRAY_NOTIFY:
            if (wParam == CTrayIcon::kIconId && (lParam == WM_LBUTTONDOWN || lParam == kBalloonClick)) {
                ShowWindow(m_hWnd, SW_SHOW);
                result = 1;
            }
            return true;
        case WM_MAIN_INSTALLER_DATA_READY: OnInstallerDataReady(); return true;
        case WM_ACTIVATE: OnActivate(wParam); return true;
        case WM_SETFOCUS: FocusPage(m_hFocusToRestore); return true;
        case WM_SYSCOMMAND: return OnSystemCommand(wParam);
        case WM_CLOSE: OnClose(); return true;
        case WM_DESTROY:
            m_trayIcon.Delete();
            WizardApplication().SetMainWindow(nullptr);
            // Page names and errors still on their way to the window go with it.
            FreeQueuedPayloads(m_hWnd, {{WM_MAIN_SHOW_PAGE, PostedPayload::Text}, {WM_MAIN_RESULT, PostedPayload::Error}});
            return false;
        default: return CDialog::OnMessage(message, wParam, lParam, result);
    }
}
