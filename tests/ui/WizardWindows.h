#pragma once
// The wizard's windows as WizardDriver sees them from outside: the process it
// started, its frame, page and boxes, and the ways a person reaches them
// (posted clicks, keys posted to a control, real key presses). Used by the
// scripted scenarios and by the chaos walk.
#include <windows.h>

#include <functional>
#include <initializer_list>
#include <string>

const DWORD kStepTimeoutMs = 60000;
const UINT kAboutCommand = 16;
// Control ids of the pages.
const int kFinish = 12, kBack = 1000, kAgree = 1002, kTitle = 1003, kLicenseText = 1006, kStepBar = 1007,
          kStepText = 1008, kTaskBar = 1010, kFinishedTitle = 1011, kFinishedText = 1012, kLaunch = 1013,
          kAccept = 1026, kDecline = 1016, kNoxLogo = 1073, kHeaderMarker = 1028, kBoxText = 0xFFFF;

std::wstring Text(HWND window);
std::wstring ItemText(HWND dialog, int id);
// Polls CONDITION every 50 ms until it holds or TIMEOUTMS have passed.
bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs = kStepTimeoutMs);

struct Wizard {
    PROCESS_INFORMATION process = {};

    bool Running() const { return WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT; }

    struct Search {
        DWORD processId;
        std::function<bool(HWND)> match;
        HWND found;
        bool hiddenToo = false;
    };
    static BOOL CALLBACK Visit(HWND window, LPARAM param) {
        auto* search = reinterpret_cast<Search*>(param);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        wchar_t className[32] = {};
        GetClassNameW(window, className, 32);
        if (owner == search->processId && (search->hiddenToo || IsWindowVisible(window)) &&
            std::wstring(className) == L"#32770" &&
            search->match(window)) {
            search->found = window;
            return FALSE;
        }
        return TRUE;
    }
    HWND FindTopLevel(const std::function<bool(HWND)>& match, bool hiddenToo = false) const {
        Search search = {process.dwProcessId, match, nullptr, hiddenToo};
        EnumWindows(Visit, reinterpret_cast<LPARAM>(&search));
        return search.found;
    }
    // The frame: the application window of the process.
    HWND Main() const { return FindTopLevel(IsFrame); }
    // The frame even while it hides in the notification area.
    HWND Frame() const { return FindTopLevel(IsFrame, true); }
    static bool IsFrame(HWND window) { return (GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_APPWINDOW) != 0; }
    // A box of the program: a top-level dialog with the platform box's text static.
    HWND Box() const { return FindTopLevel([](HWND w) { return GetDlgItem(w, kBoxText) != nullptr; }); }
    HWND About() const { return FindTopLevel([](HWND w) { return GetDlgItem(w, 1022) != nullptr; }); }

    HWND Page() const { return PageOf(Main()); }

    // The visible page (a child dialog) of the frame.
    static HWND PageOf(HWND main) {
        if (!main) return nullptr;
        for (HWND child = GetWindow(main, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            wchar_t className[32] = {};
            GetClassNameW(child, className, 32);
            if (IsWindowVisible(child) && std::wstring(className) == L"#32770") return child;
        }
        return nullptr;
    }
};

// The page's name from the controls it has: welcome, license, nox-offer,
// gearfresh-offer, progress, finished, initialization; "none" without a page.
std::wstring PageName(HWND page);
// Sends MESSAGE to WINDOW and waits (bounded) for its handler to return:
// false when it did not return in time (say, it opened a modal box).
bool SendAndWait(HWND window, UINT message, WPARAM wParam, LPARAM lParam, DWORD timeoutMs = 10000);
// Posted, so that a box the command opens cannot block the driver.
void Click(HWND dialog, int id);
// The Escape key as the keyboard sends it to a control of the page (Back, or on
// the offer pages, which have none, Accept).
void PressEscape(HWND page);
// Real key presses (SendInput): they reach whatever window has the focus. One
// key, or a chord held in order (Shift+Tab, Alt+F) and released in reverse.
void PressKeys(std::initializer_list<WORD> keys);
// Starts PROGRAM (quoted, no arguments) as a user would from a shortcut.
bool StartProgram(const std::wstring& program, PROCESS_INFORMATION& process);
