#pragma once
// Every message number of the program, by receiver, with what its wParam and
// lParam carry. Payloads travel in owners (framework/PostedText.h,
// framework/PostedError.h): the sender frees a payload whose post fails, the
// receiver takes it with the matching Take function, and a receiver that goes
// away with payloads still queued frees them (FreeQueuedPayloads).
// The catalogue lives at the lowest layer that posts (the executors report
// to the progress page and the application); every layer above includes it.
#include <windows.h>

// Thread messages to the installation controller (engine/Installation.h),
// handled strictly in the order they were posted; wParam = lParam = 0.
enum : UINT {
    WM_INSTALL_FETCH_DATA = WM_USER,            // fetch the server's installer data, then start tracking
    WM_INSTALL_DOWNLOAD_PAYLOAD = WM_USER + 1,  // download the payload (once)
    WM_INSTALL_DOWNLOAD_NOX = WM_USER + 2,      // download the Nox offer, then WM_INSTALL_EXTRACT_NOX
    WM_INSTALL_DOWNLOAD_GEARFRESH = WM_USER + 3,
    WM_INSTALL_EXTRACT_NOX = WM_USER + 4,
    WM_INSTALL_EXTRACT_GEARFRESH = WM_USER + 5,
    WM_INSTALL_BEGIN = WM_USER + 6,   // the progress page is attached: queue WM_INSTALL_RUN
    WM_INSTALL_RUN = WM_USER + 7,     // run the payload, the install scan and the offers
    WM_INSTALL_FINISH = WM_USER + 8,  // "Done!", the final result, the thread ends
};

// Window messages to the progress page (ui/ProgressPage.h). The page is a
// dialog: WM_USER to WM_USER + 2 are the dialog manager's DM_GETDEFID,
// DM_SETDEFID and DM_REPOSITION, which the system sends it when Enter or
// Escape is pressed, so the page's numbers start above the main window's.
const UINT kProgressPageMessageBase = WM_APP + 0x100;
enum : UINT {
    WM_PAGE_NEXT_TASK = kProgressPageMessageBase,           // wParam percent / lParam posted text
    WM_PAGE_STEP_PROGRESS = kProgressPageMessageBase + 1,   // wParam percent or -1 (keep the bar) / posted text or 0
    WM_PAGE_REMEMBER_TEMP_FILE = kProgressPageMessageBase + 2,  // 0 / posted path
    WM_PAGE_RESULT = kProgressPageMessageBase + 3,          // 0 / posted error or 0: the controller's result
    WM_PAGE_SHOW_CANCEL = kProgressPageMessageBase + 4,     // 1 shows, 0 hides Cancel / 0
    WM_PAGE_TRAY_CHECK = kProgressPageMessageBase + 5,      // 0 / 0, to itself: the notification-area mode check
};
const UINT kProgressPageLastMessage = WM_PAGE_TRAY_CHECK;

// Window messages to the main window (ui/MainWindow.h).
enum : UINT {
    WM_MAIN_START = WM_APP,                  // 0 / 0: system menu, caption, first page
    WM_MAIN_DELETE_PAGE = WM_APP + 1,        // 0 / CSubDialog* of the window's own retired list: delete the retired pages that are idle
    WM_MAIN_SHOW_PAGE = WM_APP + 2,          // 0 / posted page name or 0 (the next one)
    WM_MAIN_SHOW_PREVIOUS = WM_APP + 3,      // 0 / 0: go back one page
    WM_MAIN_RESULT = WM_APP + 5,             // 0 / posted error or 0: the controller's error before a page exists
    WM_MAIN_TRAY_NOTIFY = WM_APP + 6,        // icon id / mouse message: the notification-area icon
    WM_MAIN_INSTALLER_DATA_READY = WM_APP + 7,  // 0 / 0: build the page order, show the first page
};
const UINT kMainWindowFirstMessage = WM_MAIN_START;
const UINT kMainWindowLastMessage = WM_MAIN_INSTALLER_DATA_READY;

// To the application on the main thread: posted to its report window, which
// every message loop dispatches (a modal box's too); a thread message only
// when the application has no such window.
enum : UINT {
    WM_APP_REBOOT_REQUIRED = WM_APP + 1,  // 0 / 0: the installer needs a restart ("RebootRequired")
};
