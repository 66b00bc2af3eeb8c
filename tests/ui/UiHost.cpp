// A program that shows the wizard's building blocks for the window tests and
// screenshots, each run one of:
//   box STYLE LANGUAGE [READY DONE]  the cancel question (string 3015) through the
//                                    application's DoMessageBox; exit code = the answer
//   page LANGUAGE READY DONE         the test page (template 900) inside a main-window frame
//   tray MODE                        adds the tray icon and prints "added <hwnd> <added> <known>";
//                                    MODE "remove" removes it and prints "removed <removed> <known>";
//                                    "error" lets an out-of-memory error escape a handler: the
//                                    application ends the process with ExitProgram(1), whose
//                                    last cleanup prints "at exit <known>"
// (<known>: whether the shell still answers a modify of the icon)
// READY is a file written once the window is on screen; the program ends when DONE exists.
// LANGUAGE is a hexadecimal language id such as 0411.
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <memory>
#include <string>

#include "app/Program.h"
#include "app/UserLanguage.h"
#include "framework/Exceptions.h"
#include "framework/ProgramExit.h"
#include "framework/ResourceStrings.h"
#include "resources/resource.h"
#include "ui/PageHost.h"
#include "ui/SubDialog.h"
#include "ui/TrayIcon.h"

namespace {
const UINT kTestPage = 900;
const UINT kFailCommand = 0x7777;

// Ends the process on an out-of-memory error, as the application object does.
class CHostProgram : public CProgram {
public:
    LRESULT ProcessWndProcException(CException* e, const MSG*) override {
        bool outOfMemory = e && e->IsKindOf(RUNTIME_CLASS(CMemoryException));
        if (e) e->Delete();
        if (outOfMemory) ExitProgram(1);
        return 0;
    }
};

CHostProgram theHost;

std::wstring g_readyFile;
std::wstring g_doneFile;
bool g_readyWritten = false;

bool FileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// READY holds what is on screen, read back from the windows: "messagebox"
// (the question with Yes and No), "page" (the frame showing the page) or what else.
void WriteReady(const char* shows) {
    if (g_readyWritten || g_readyFile.empty()) return;
    HANDLE file = CreateFileW(g_readyFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(file, shows, static_cast<DWORD>(std::strlen(shows)), &written, nullptr);
        CloseHandle(file);
    }
    g_readyWritten = true;
}

BOOL CALLBACK FindVisibleBox(HWND window, LPARAM found) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    wchar_t className[16] = {};
    GetClassNameW(window, className, 16);
    if (process == GetCurrentProcessId() && IsWindowVisible(window) && std::wstring(className) == L"#32770") {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

// Runs inside the box's modal loop: reports readiness, closes the box once DONE exists.
void CALLBACK WatchBox(HWND, UINT, UINT_PTR, DWORD) {
    HWND box = nullptr;
    EnumWindows(FindVisibleBox, reinterpret_cast<LPARAM>(&box));
    if (!box) return;
    UpdateWindow(box);
    wchar_t text[512] = {};
    GetDlgItemTextW(box, 0xFFFF, text, 512);
    bool question = text[0] && GetDlgItem(box, IDYES) && GetDlgItem(box, IDNO);
    WriteReady(question ? "messagebox" : "another box");
    if (!g_doneFile.empty() && FileExists(g_doneFile)) PostMessageW(box, WM_CLOSE, 0, 0);
}

// As start-up does for the user's language: the string tables' language for the thread.
void UseLanguage(const wchar_t* hex) {
    LANGID language = ChooseTableLanguage(static_cast<LANGID>(std::wcstoul(hex, nullptr, 16)));
    SetThreadUILanguage(language);
    SetThreadLocale(MAKELCID(language, SORT_DEFAULT));
}

int ShowBox(UINT style) {
    if (!g_readyFile.empty()) SetTimer(nullptr, 0, 100, WatchBox);
    std::wstring question;
    LoadResourceString(3015, question);
    return theHost.DoMessageBox(question.c_str(), style, 0);
}

class CTestPage : public CSubDialog {
public:
    CTestPage() : CSubDialog(kTestPage) {}
};

class NoHost : public IPageHost {
public:
    int ConfirmCancel() override { return IDNO; }
    void ShowFinishedPage() override {}
    void CancelRun() override {}
};

int ShowPage() {
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartup(&token, &input, nullptr);
    CDialog frame(IDD_MAIN_WINDOW);
    NoHost host;
    if (!frame.CreateModeless(nullptr)) return 2;
    std::wstring title;
    title = FormatResourceMessage(100, {theHost.m_strFrameworkAppName.c_str()});
    SetWindowTextW(frame.GetSafeHwnd(), title.c_str());
    auto page = std::make_unique<CTestPage>();
    if (!page->Create(frame.GetSafeHwnd(), &host)) return 3;
    ShowWindow(page->GetSafeHwnd(), SW_SHOW);
    SetWindowPos(frame.GetSafeHwnd(), HWND_TOP, 40, 40, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
    SetTimer(nullptr, 0, 100, nullptr);
    MSG message;
    int ticks = 0;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_TIMER && !message.hwnd) {
            // The first ticks let the page paint completely before READY is written.
            if (++ticks == 3) {
                bool shown = IsWindowVisible(frame.GetSafeHwnd()) && IsWindowVisible(page->GetSafeHwnd());
                WriteReady(shown ? "page" : "no page");
            }
            if (FileExists(g_doneFile)) break;
            continue;
        }
        if (IsDialogMessageW(frame.GetSafeHwnd(), &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    page.reset();
    frame.DestroyWindow();
    Gdiplus::GdiplusShutdown(token);
    return 0;
}

class CTrayFrame : public CDialog {
public:
    CTrayFrame() : CDialog(IDD_EMPTY_BOX) {}

protected:
    bool OnCommand(UINT id, UINT code, HWND control) override {
        if (id == kFailCommand) ThrowMemoryException();
        return CDialog::OnCommand(id, code, control);
    }
};

bool IconStillKnown(HWND window) {
    NOTIFYICONDATAW probe = {};
    probe.cbSize = sizeof(probe);
    probe.hWnd = window;
    probe.uID = CTrayIcon::kIconId;
    probe.uFlags = NIF_TIP;
    lstrcpynW(probe.szTip, L"probe", ARRAYSIZE(probe.szTip));
    return Shell_NotifyIconW(NIM_MODIFY, &probe) != FALSE;
}

HWND g_trayOwner = nullptr;

// Registered before the icon is added, so it runs after the icon's own cleanup.
void ReportIconAtExit() {
    std::printf("at exit %d\n", IconStillKnown(g_trayOwner) ? 1 : 0);
    std::fflush(stdout);
}

int ShowTray(const std::wstring& mode) {
    CTrayFrame frame;
    if (!frame.CreateModeless(nullptr)) return 2;
    g_trayOwner = frame.GetSafeHwnd();
    AddExitCleanup(ReportIconAtExit);
    CTrayIcon icon;
    HICON appIcon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_APPLICATION_ICON));
    icon.Prepare(frame.GetSafeHwnd(), appIcon, L"Kelvora", L"Installing Software",
                 L"Continue working while Kelvora installs.");
    bool added = icon.Add();
    std::printf("added %p %d %d\n", static_cast<void*>(frame.GetSafeHwnd()), added ? 1 : 0,
                IconStillKnown(frame.GetSafeHwnd()) ? 1 : 0);
    std::fflush(stdout);
    if (mode == L"remove") {
        bool removed = icon.Delete();
        std::printf("removed %d %d\n", removed ? 1 : 0, IconStillKnown(frame.GetSafeHwnd()) ? 1 : 0);
        return 0;
    }
    SendMessageW(frame.GetSafeHwnd(), WM_COMMAND, kFailCommand, 0);
    return 0;  // not reached: the error ends the process
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 64;
    SetProcessDPIAware();  // as the program's manifest declares
    theHost.m_hInstance = GetModuleHandleW(nullptr);
    theHost.CWinApp::InitInstance();
    LoadLibraryW(L"RICHED20.DLL");
    std::wstring mode = argv[1];
    if (mode == L"box" && argc >= 4) {
        UseLanguage(argv[3]);
        if (argc >= 6) {
            g_readyFile = argv[4];
            g_doneFile = argv[5];
        }
        return ShowBox(static_cast<UINT>(std::wcstoul(argv[2], nullptr, 0)));
    }
    if (mode == L"page" && argc >= 5) {
        UseLanguage(argv[2]);
        g_readyFile = argv[3];
        g_doneFile = argv[4];
        return ShowPage();
    }
    if (mode == L"tray" && argc >= 3) return ShowTray(argv[2]);
    return 64;
}
