// Drives the real wizard from outside, as a person would, with FindWindow,
// GetDlgItem, posted commands, keyboard messages and real key presses:
//   config SOURCE TARGET KEY=VALUE...   copies the wizard with that build configuration
//   launch PROGRAM RUNS                 starts PROGRAM RUNS times and prints the milliseconds
//                                       from the start until its first page is painted (a
//                                       visible button 1002 and no pending paint); the median last
//   idle-answers PROGRAM SAMPLES        starts PROGRAM and prints how long its first window,
//                                       idle, takes to answer a sent message
//   chaos WIZARD SEED ACTIONS           starts WIZARD and plays ACTIONS random actions chosen
//                                       from SEED, then walks it to its end (tests/ui/ChaosWalk.h)
//   run SCENARIO WIZARD [SHOTS PREFIX]  starts WIZARD and plays SCENARIO; prints one
//                                       "ok:"/"FAIL:" line per check and "exit N" with the
//                                       wizard's exit code; SHOTS: a folder for pictures of
//                                       every page shown, named PREFIX-page.bmp, each with a
//                                       line "picture PREFIX-page: WHAT" (what the window
//                                       showed when it was taken, read back from the window)
// The exit code is the number of failed checks.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "ChaosWalk.h"
#include "TestSupport.h"
#include "WizardWindows.h"

namespace {
const DWORD kInstallTimeoutMs = 240000;

int g_failures = 0;
std::wstring g_program;  // the program a scenario runs
std::wstring g_shots;
std::wstring g_prefix;

std::string Utf8(const std::wstring& text) { return ToUtf8(text); }

void Check(bool condition, const std::string& what, const std::wstring& detail = L"") {
    if (!condition) ++g_failures;
    std::printf("%s: %s%s%s\n", condition ? "ok" : "FAIL", what.c_str(), detail.empty() ? "" : " -- ",
                Utf8(detail).c_str());
    std::fflush(stdout);
}






// What a window of the wizard shows, read back from it: the frame's page, the
// about box, the cancel question or another box of the program.
std::wstring Shows(HWND window) {
    if (!window || !IsWindowVisible(window)) return L"nothing";
    if (GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_APPWINDOW) return PageName(Wizard::PageOf(window));
    if (GetDlgItem(window, 1022)) return L"about";
    if (GetDlgItem(window, kBoxText)) return GetDlgItem(window, IDYES) ? L"cancel-question" : L"error-box";
    return L"unknown";
}

// The window's pixels from the screen into a 24-bit bitmap file, when the
// window shows `shows` before and after the pixels are taken (a page that
// moved on in the meantime gives no picture). Prints "picture NAME: WHAT".
void Shoot(HWND window, const std::wstring& name, const std::wstring& shows) {
    if (g_shots.empty() || !window) return;
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    Sleep(400);
    const std::wstring before = Shows(window);
    RECT rect;
    GetWindowRect(window, &rect);
    int width = rect.right - rect.left, height = rect.bottom - rect.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    SelectObject(memory, old);
    const std::wstring after = Shows(window);
    const std::wstring shown = before == after ? before : before + L" then " + after;
    std::printf("picture %s-%s: %s\n", Utf8(g_prefix).c_str(), Utf8(name).c_str(), Utf8(shown).c_str());
    std::fflush(stdout);
    DWORD rowBytes = static_cast<DWORD>((width * 3 + 3) & ~3);
    DWORD imageBytes = rowBytes * static_cast<DWORD>(height);
    BITMAPFILEHEADER header = {0x4D42, static_cast<DWORD>(sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER)) + imageBytes,
                               0, 0, sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER)};
    std::wstring path = g_shots + L"\\" + g_prefix + L"-" + name + L".bmp";
    HANDLE file = shown == shows ? CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr)
                                 : INVALID_HANDLE_VALUE;
    if (shown != shows) DeleteFileW(path.c_str());
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written;
        WriteFile(file, &header, sizeof(header), &written, nullptr);
        WriteFile(file, &info.bmiHeader, sizeof(info.bmiHeader), &written, nullptr);
        WriteFile(file, bits, imageBytes, &written, nullptr);
        CloseHandle(file);
    }
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
}


// Waits until the thread of WINDOW is back in a message loop: a message sent
// from another thread is handled only between handlers, so whatever the
// handler that was running did (say, show another page) is done then.
bool Settled(HWND window) { return SendAndWait(window, WM_NULL, 0, 0, kStepTimeoutMs); }

// Waits until the thread of the frame MAIN has handled every message posted
// to it so far, what the handler running now posts (say, the next page)
// included: a push button of the page, pressed and released by posted
// messages, shows each state once the messages before it are handled (posted
// messages of a thread are handled in order). False when the page's button
// went away meanwhile.
bool Flushed(HWND main) {
    if (!Settled(main)) return false;
    HWND button = nullptr;
    for (HWND child = GetWindow(Wizard::PageOf(main), GW_CHILD); child && !button; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t className[32] = {};
        GetClassNameW(child, className, 32);
        LONG type = GetWindowLongW(child, GWL_STYLE) & BS_TYPEMASK;
        if (IsWindowVisible(child) && _wcsicmp(className, L"Button") == 0 && type <= BS_DEFPUSHBUTTON) button = child;
    }
    if (!button) return false;
    auto pressed = [button](bool expected) {
        return WaitFor([&] {
            DWORD_PTR state = 0;
            return SendMessageTimeoutW(button, BM_GETSTATE, 0, 0, SMTO_NORMAL, kStepTimeoutMs, &state) &&
                   ((state & BST_PUSHED) != 0) == expected;
        }, 10000);
    };
    PostMessageW(button, BM_SETSTATE, TRUE, 0);
    bool seen = pressed(true);
    PostMessageW(button, BM_SETSTATE, FALSE, 0);
    return seen && pressed(false);
}



bool WaitForPage(Wizard& wizard, const std::wstring& name, DWORD timeoutMs = kStepTimeoutMs) {
    bool shown = WaitFor([&] { return PageName(wizard.Page()) == name; }, timeoutMs);
    Check(shown, "page " + Utf8(name) + " shown", L"on screen: " + PageName(wizard.Page()));
    if (shown) {
        Sleep(300);
        Shoot(wizard.Main(), name, name);
    }
    return shown;
}

HWND WaitForBox(Wizard& wizard, const std::string& what) {
    HWND box = nullptr;
    WaitFor([&] { return (box = wizard.Box()) != nullptr; });
    Check(box != nullptr, what + ": the program's box appears");
    return box;
}

// Answers the cancel question; checks its caption and text first.
void AnswerCancelQuestion(Wizard& wizard, int answer) {
    HWND box = WaitForBox(wizard, "cancel question");
    if (!box) return;
    Check(Text(box) == L"Kelvora", "the question's caption is the product name", Text(box));
    Check(ItemText(box, kBoxText) == L"Do you want to cancel the setup wizard?", "the question's text",
          ItemText(box, kBoxText));
    Shoot(box, answer == IDYES ? L"cancel-question" : L"cancel-question-no", L"cancel-question");
    Click(box, answer);
    WaitFor([&] { return wizard.Box() == nullptr; });
}

void ExpectFinishedTexts(HWND page, const std::wstring& title, const std::wstring& text, bool launchShown) {
    Check(ItemText(page, kFinishedTitle) == title, "finished title", ItemText(page, kFinishedTitle));
    if (!text.empty()) Check(ItemText(page, kFinishedText) == text, "finished text", ItemText(page, kFinishedText));
    Check((IsWindowVisible(GetDlgItem(page, kLaunch)) != FALSE) == launchShown,
          launchShown ? "launch check box shown" : "launch check box hidden");
}

const wchar_t kInterruptedTitle[] = L"Kelvora Setup Wizard was interrupted";
const wchar_t kInterruptedText[] =
    L"Kelvora setup was interrupted. Your system has not been modified. To install Kelvora at a later time, please "
    L"run the installation again. Click the Finish button to exit the Setup Wizard.";
const wchar_t kErrorTitle[] = L"Kelvora Setup Wizard ended prematurely";
const wchar_t kErrorText[] =
    L"Kelvora Setup Wizard ended prematurely because of an error. Your system has not been modified. To install "
    L"Kelvora at a later time, run Setup Wizard again. Click the Finish button to exit the Setup Wizard.";

DWORD WaitForEnd(Wizard& wizard, DWORD timeoutMs = kStepTimeoutMs) {
    bool ended = WaitForSingleObject(wizard.process.hProcess, timeoutMs) == WAIT_OBJECT_0;
    Check(ended, "the wizard ends", ended ? L"" : L"on screen: page " + PageName(wizard.Page()) + L", box \"" +
                                                     ItemText(wizard.Box(), kBoxText) + L"\"");
    if (!ended) TerminateProcess(wizard.process.hProcess, 99);
    DWORD code = 0;
    GetExitCodeProcess(wizard.process.hProcess, &code);
    std::printf("exit %lu\n", static_cast<unsigned long>(code));
    return code;
}

void Finish(Wizard& wizard) {
    HWND page = wizard.Page();
    Click(page, kFinish);
    WaitForEnd(wizard);
}

// The welcome page as the first page: title, licence, Back disabled.
bool PassWelcome(Wizard& wizard) {
    if (!WaitForPage(wizard, L"welcome")) return false;
    HWND page = wizard.Page();
    Check(ItemText(page, kTitle) == L"Welcome to the\r\nKelvora Setup Wizard", "welcome title", ItemText(page, kTitle));
    LRESULT licenceLength = SendMessageW(GetDlgItem(page, kLicenseText), WM_GETTEXTLENGTH, 0, 0);
    Check(licenceLength > 200, "the licence agreement is shown", std::to_wstring(licenceLength) + L" characters");
    Check(!IsWindowEnabled(GetDlgItem(page, kBack)), "Back is disabled on the first page");
    Check(Text(wizard.Main()) == L"Kelvora Setup", "the frame's caption", Text(wizard.Main()));
    Check((GetWindowLongW(wizard.Main(), GWL_EXSTYLE) & WS_EX_TOPMOST) != 0, "the wizard stays on top");
    return true;
}

// Default order: welcome, progress, finished; the product really installs.
void ScenarioInstall(Wizard& wizard) {
    if (!PassWelcome(wizard)) return;
    Click(wizard.Page(), kAgree);
    WaitForPage(wizard, L"progress");
    if (!WaitForPage(wizard, L"finished", kInstallTimeoutMs)) return;
    HWND page = wizard.Page();
    ExpectFinishedTexts(page, L"Completed the Kelvora Setup Wizard", L"Click the Finish button to exit the Setup Wizard.",
                        true);
    Check(IsDlgButtonChecked(page, kLaunch) == BST_CHECKED, "launch is checked");
    Finish(wizard);
}

// Welcome, licence, Back, Cancel answered No then Yes (by the Escape key).
void ScenarioLicenseBack(Wizard& wizard) {
    if (!PassWelcome(wizard)) return;
    Click(wizard.Page(), kAgree);
    if (!WaitForPage(wizard, L"license")) return;
    HWND page = wizard.Page();
    Check(ItemText(page, kTitle) == L"End-User License Agreement", "licence title", ItemText(page, kTitle));
    Check(IsWindowEnabled(GetDlgItem(page, kBack)) != FALSE, "Back is enabled on the licence page");
    Click(page, kBack);
    if (!WaitForPage(wizard, L"welcome")) return;
    Check(IsWindowEnabled(GetDlgItem(wizard.Page(), kBack)) != FALSE, "Back is enabled on a welcome page shown again");
    Click(wizard.Page(), 2);
    AnswerCancelQuestion(wizard, IDNO);
    bool flushed = Flushed(wizard.Main());
    Check(flushed && PageName(wizard.Page()) == L"welcome", "No keeps the page",
          PageName(wizard.Page()) + (flushed ? L"" : L" (the page went away meanwhile)"));
    PressEscape(wizard.Page());
    AnswerCancelQuestion(wizard, IDYES);
    if (!WaitForPage(wizard, L"finished")) return;
    ExpectFinishedTexts(wizard.Page(), kInterruptedTitle, kInterruptedText, false);
    Finish(wizard);
}

// The title bar's close box: the question, then the finished page; the close
// box on the finished page finishes the wizard.
void ScenarioCloseBox(Wizard& wizard) {
    if (!PassWelcome(wizard)) return;
    PostMessageW(wizard.Main(), WM_SYSCOMMAND, SC_CLOSE, 0);
    HWND box = WaitForBox(wizard, "close box");
    // A second close while the question is open changes nothing (its handler
    // returns at once, without a second question).
    bool handled = SendAndWait(wizard.Main(), WM_CLOSE, 0, 0);
    Check(handled && box && IsWindow(box) && wizard.Box() == box, "a second close leaves the question open");
    AnswerCancelQuestion(wizard, IDYES);
    if (!WaitForPage(wizard, L"finished")) return;
    ExpectFinishedTexts(wizard.Page(), kInterruptedTitle, kInterruptedText, false);
    PostMessageW(wizard.Main(), WM_SYSCOMMAND, SC_CLOSE, 0);
    WaitForEnd(wizard);
}

// "AutoLaunchWait" 3: Finish(2), Finish(1), then the wizard finishes by itself.
void ScenarioCountdown(Wizard& wizard) {
    if (!PassWelcome(wizard)) return;
    Click(wizard.Page(), kAgree);
    if (!WaitForPage(wizard, L"finished")) return;
    HWND finish = GetDlgItem(wizard.Page(), kFinish);
    Check(WaitFor([&] { return Text(finish) == L"&Finish(2)"; }, 5000), "the countdown shows Finish(2)", Text(finish));
    Check(WaitFor([&] { return Text(finish) == L"&Finish(1)"; }, 5000), "then Finish(1)", Text(finish));
    WaitForEnd(wizard, 15000);
}

// The about box's frame: a title, centred on the wizard. (Its icon cannot be
// asked from another process under Wine: the pictures show it.)
void CheckAboutFrame(Wizard& wizard, HWND about) {
    Check(Text(about) == L"About Kelvora Setup Wizard", "the about box's title", Text(about));
    RECT box = {}, frame = {};
    GetWindowRect(about, &box);
    GetWindowRect(wizard.Main(), &frame);
    const LONG dx = (box.left + box.right) / 2 - (frame.left + frame.right) / 2;
    const LONG dy = (box.top + box.bottom) / 2 - (frame.top + frame.bottom) / 2;
    Check(dx >= -1 && dx <= 1 && dy >= -1 && dy <= 1, "the about box is centred on the wizard",
          std::to_wstring(dx) + L", " + std::to_wstring(dy));
}

// The system menu's about item.
void ScenarioAbout(Wizard& wizard) {
    if (!PassWelcome(wizard)) return;
    PostMessageW(wizard.Main(), WM_SYSCOMMAND, kAboutCommand, 0);
    HWND about = nullptr;
    Check(WaitFor([&] { return (about = wizard.About()) != nullptr; }), "the about box appears");
    if (!about) return;
    Sleep(300);
    Shoot(about, L"about", L"about");
    Check(ItemText(about, 1022).rfind(L"Kelvora Setup Wizard", 0) == 0, "product line", ItemText(about, 1022));
    Check(ItemText(about, 1024).rfind(L"Powered by Wrenstall version ", 0) == 0, "framework line",
          ItemText(about, 1024));
    Check(ItemText(about, 1034).rfind(L"Built on ", 0) == 0 && ItemText(about, 1034).size() > 12, "build time line",
          ItemText(about, 1034));
    Check(ItemText(about, 8) == L"&Close", "close button", ItemText(about, 8));
    CheckAboutFrame(wizard, about);
    Click(about, 8);
    Check(WaitFor([&] { return wizard.About() == nullptr; }), "Close ends the about box");
    Check(PageName(wizard.Page()) == L"welcome", "the wizard is still on its page");
    PostMessageW(wizard.Main(), WM_SYSCOMMAND, SC_CLOSE, 0);
    AnswerCancelQuestion(wizard, IDYES);
    if (WaitForPage(wizard, L"finished")) Finish(wizard);
}

// No local installer data: the initialization page until the server's data arrives.
void ScenarioInitialization(Wizard& wizard) {
    if (!WaitForPage(wizard, L"initialization")) return;
    Check(ItemText(wizard.Page(), kStepText) == L"Initializing...", "initialization text",
          ItemText(wizard.Page(), kStepText));
    if (!PassWelcome(wizard)) return;
    PostMessageW(wizard.Main(), WM_SYSCOMMAND, SC_CLOSE, 0);
    AnswerCancelQuestion(wizard, IDYES);
    if (WaitForPage(wizard, L"finished")) Finish(wizard);
}

// The program's own box with the error's message, then the finished page's
// error variant.
void ExpectErrorBoxThenErrorVariant(Wizard& wizard) {
    HWND box = WaitForBox(wizard, "error");
    if (box) {
        Check(Text(box) == L"Kelvora", "the error box's caption is the product name", Text(box));
        Check(!ItemText(box, kBoxText).empty(), "the error box has a message", ItemText(box, kBoxText));
        std::printf("error message: %s\n", Utf8(ItemText(box, kBoxText)).c_str());
        Shoot(box, L"error-box", L"error-box");
        Click(box, IDOK);
    }
    if (!WaitForPage(wizard, L"finished")) return;
    ExpectFinishedTexts(wizard.Page(), kErrorTitle, kErrorText, false);
    Finish(wizard);
}

// An error on the controller's side while the welcome page shows (a download that fails).
void ScenarioError(Wizard& wizard) {
    WaitForPage(wizard, L"welcome");
    ExpectErrorBoxThenErrorVariant(wizard);
}

// An error once the installation begins (a payload the signature rule refuses).
void ScenarioErrorAfterAgree(Wizard& wizard) {
    if (!PassWelcome(wizard)) return;
    Click(wizard.Page(), kAgree);
    ExpectErrorBoxThenErrorVariant(wizard);
}

// Pictures of the welcome page, the about box, the licence page, the cancel
// question and the interrupted finished page.
void ScenarioPictures(Wizard& wizard) {
    if (!WaitForPage(wizard, L"welcome")) return;
    PostMessageW(wizard.Main(), WM_SYSCOMMAND, kAboutCommand, 0);
    HWND about = nullptr;
    if (WaitFor([&] { return (about = wizard.About()) != nullptr; })) {
        Sleep(300);
        Shoot(about, L"about", L"about");
        Click(about, 8);
        WaitFor([&] { return wizard.About() == nullptr; });
    }
    Click(wizard.Page(), kAgree);
    if (!WaitForPage(wizard, L"license")) return;
    Click(wizard.Page(), 2);
    HWND box = WaitForBox(wizard, "cancel question");
    if (box) {
        Sleep(300);
        Shoot(box, L"cancel-question", L"cancel-question");
        Click(box, IDYES);
    }
    if (!WaitForPage(wizard, L"finished")) return;
    Finish(wizard);
}

// The frame's minimise box after the campaign code, and the notification-area
// icon's click restoring a hidden frame (message 0x8006).
void ScenarioFrameRules(Wizard& wizard, bool minimiseBoxExpected) {
    if (!WaitForPage(wizard, L"welcome")) return;
    HWND main = wizard.Main();
    bool hasMinimiseBox = (GetWindowLongW(main, GWL_STYLE) & WS_MINIMIZEBOX) != 0;
    Check(hasMinimiseBox == minimiseBoxExpected, minimiseBoxExpected ? "minimise box kept" : "minimise box removed");
    ShowWindow(main, SW_HIDE);
    Check(WaitFor([&] { return !IsWindowVisible(main); }, 5000), "the frame is hidden");
    Check(SendAndWait(main, 0x8006, 4096, WM_RBUTTONDOWN) && !IsWindowVisible(main),
          "a right click on the icon does not restore");
    PostMessageW(main, 0x8006, 4096, WM_LBUTTONDOWN);
    Check(WaitFor([&] { return IsWindowVisible(main) != FALSE; }, 5000), "a click on the icon restores the frame");
    PostMessageW(main, WM_SYSCOMMAND, SC_CLOSE, 0);
    AnswerCancelQuestion(wizard, IDYES);
    if (WaitForPage(wizard, L"finished")) Finish(wizard);
}

// --- The progress page, the offer pages and the notification-area mode ---
const int kTaskText = 1009, kCancel = 2, kNext = 1001, kBonusCaption = 1093, kNoxHeader = 1038, kNoxLeadIn = 1086,
          kGearfreshHeader = 1089, kGearfreshLeadIn = 1090, kGearfreshLogo = 1074, kNoxLegal = 1088;
const UINT kTrayCallback = 0x8006, kTrayIconId = 4096;

int BarPosition(HWND page, int id) { return static_cast<int>(SendMessageW(GetDlgItem(page, id), PBM_GETPOS, 0, 0)); }
bool Enabled(HWND page, int id) { return IsWindowEnabled(GetDlgItem(page, id)) != FALSE; }

// The child rectangle in its page's client coordinates.
RECT ItemRect(HWND page, int id) {
    RECT rect = {};
    GetWindowRect(GetDlgItem(page, id), &rect);
    MapWindowPoints(nullptr, page, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

// Texts, buttons and the logo right after the lead-in on an offer page.
void CheckOfferPage(HWND page, bool nox) {
    const int header = nox ? kNoxHeader : kGearfreshHeader, leadIn = nox ? kNoxLeadIn : kGearfreshLeadIn,
              logo = nox ? kNoxLogo : kGearfreshLogo;
    const std::wstring product = nox ? L"Velmora Cleaner Plus" : L"Gearfresh";
    if (g_prefix.empty()) {
        Check(ItemText(page, header) == L"Tarnwell Utilities recommends the installation of " + product,
              "offer header", ItemText(page, header));
        Check(ItemText(page, kBonusCaption) == L"Bonus Offer", "bonus caption", ItemText(page, kBonusCaption));
        Check(ItemText(page, kAccept) == L"Accept && Inst&all", "accept caption", ItemText(page, kAccept));
        Check(ItemText(page, kDecline) == L"&Decline", "decline caption", ItemText(page, kDecline));
    }
    RECT leadInRect = ItemRect(page, leadIn), logoRect = ItemRect(page, logo);
    Check(logoRect.left == leadInRect.right + 5, "the logo starts 5 pixels after the lead-in text",
          std::to_wstring(leadInRect.right) + L" / " + std::to_wstring(logoRect.left));
    Check(logoRect.right - logoRect.left == (nox ? 98 : 219), "the logo keeps its size",
          std::to_wstring(logoRect.right - logoRect.left));
    Check(Enabled(page, kAccept) && Enabled(page, kDecline), "accept and decline are enabled");
    Check(GetDlgItem(page, kCancel) == nullptr && GetDlgItem(page, kBack) == nullptr, "no Back or Cancel button");
}

// The progress page while it downloads: title, both bars and texts, buttons.
bool CheckProgressDownloading(Wizard& wizard) {
    if (!WaitForPage(wizard, L"progress")) return false;
    HWND page = wizard.Page();
    Check(WaitFor([&] { return !ItemText(page, kStepText).empty() && BarPosition(page, kStepBar) > 0; }, 30000),
          "the step bar and its text move", ItemText(page, kStepText));
    Sleep(500);
    Shoot(wizard.Main(), L"progress-download", L"progress");
    if (!g_prefix.empty()) return true;
    Check(ItemText(page, kStepText).find(L" downloaded at ") != std::wstring::npos, "the step text shows bytes and rate",
          ItemText(page, kStepText));
    Check(ItemText(page, kTitle) == L"Installing Kelvora", "progress title", ItemText(page, kTitle));
    Check(ItemText(page, kTaskText) == L"Downloading application components...", "task text",
          ItemText(page, kTaskText));
    Check(BarPosition(page, kTaskBar) == 25, "the task bar stands at 25", std::to_wstring(BarPosition(page, kTaskBar)));
    Check(!Enabled(page, kBack) && !Enabled(page, kNext), "Back and Next are disabled");
    Check(Enabled(page, kCancel), "Cancel is enabled");
    return true;
}

// Both offers accepted (or the Nox offer declined): the offer pages in order,
// the progress page, the finished page.
void ScenarioOffers(Wizard& wizard, bool declineNox) {
    if (!WaitForPage(wizard, L"welcome")) return;
    Click(wizard.Page(), kAgree);
    if (!WaitForPage(wizard, L"nox-offer")) return;
    CheckOfferPage(wizard.Page(), true);
    Click(wizard.Page(), declineNox ? kDecline : kAccept);
    if (!WaitForPage(wizard, L"gearfresh-offer")) return;
    CheckOfferPage(wizard.Page(), false);
    Click(wizard.Page(), kAccept);
    if (!WaitForPage(wizard, L"progress")) return;
    if (!WaitForPage(wizard, L"finished", kInstallTimeoutMs)) return;
    ExpectFinishedTexts(wizard.Page(), L"Completed the Kelvora Setup Wizard",
                        L"Click the Finish button to exit the Setup Wizard.", true);
    CheckDlgButton(wizard.Page(), kLaunch, BST_UNCHECKED);
    Finish(wizard);
}

// "MaxOffers" 0: no offer page, straight from the welcome page to the progress page.
void ScenarioNoOffers(Wizard& wizard) {
    if (!WaitForPage(wizard, L"welcome")) return;
    Click(wizard.Page(), kAgree);
    if (!WaitForPage(wizard, L"progress")) return;
    if (!WaitForPage(wizard, L"finished", kInstallTimeoutMs)) return;
    CheckDlgButton(wizard.Page(), kLaunch, BST_UNCHECKED);
    Finish(wizard);
}

// Cancel on the progress page mid-download: No goes on, a second Cancel and a
// close during the question are harmless, Yes ends in the interrupted variant.
void ScenarioCancelProgress(Wizard& wizard) {
    if (!WaitForPage(wizard, L"welcome")) return;
    Click(wizard.Page(), kAgree);
    if (!CheckProgressDownloading(wizard)) return;
    HWND page = wizard.Page();
    Click(page, kCancel);
    HWND box = WaitForBox(wizard, "cancel question");
    // Both handlers return at once, without a second question.
    bool handled = SendAndWait(page, WM_COMMAND, MAKEWPARAM(kCancel, BN_CLICKED),
                               reinterpret_cast<LPARAM>(GetDlgItem(page, kCancel))) &&
                   SendAndWait(wizard.Main(), WM_SYSCOMMAND, SC_CLOSE, 0);
    Check(handled && box && IsWindow(box) && wizard.Box() == box, "a second Cancel and a close leave one question open");
    AnswerCancelQuestion(wizard, IDNO);
    std::wstring before = ItemText(page, kStepText);
    Check(WaitFor([&] { return ItemText(page, kStepText) != before; }, 10000), "No: the download goes on",
          ItemText(page, kStepText));
    Check(PageName(wizard.Page()) == L"progress", "No keeps the progress page");
    PressEscape(page);
    AnswerCancelQuestion(wizard, IDYES);
    if (!WaitForPage(wizard, L"finished")) return;
    ExpectFinishedTexts(wizard.Page(), kInterruptedTitle, kInterruptedText, false);
    Finish(wizard);
}

// From the welcome page to the progress page: its window, or null.
HWND AgreeToProgressPage(Wizard& wizard) {
    if (!WaitForPage(wizard, L"welcome")) return nullptr;
    Click(wizard.Page(), kAgree);
    return WaitForPage(wizard, L"progress") ? wizard.Page() : nullptr;
}

// The progress page's Cancel, enabled at that moment, answered Yes.
void CancelWithYes(Wizard& wizard, HWND page, const std::string& when) {
    Check(Enabled(page, kCancel), "Cancel is enabled " + when);
    Click(page, kCancel);
    AnswerCancelQuestion(wizard, IDYES);
}

// Cancel while the payload is unpacked (its download done, the step bar full,
// the task still the download's): Yes ends in the interrupted variant.
void ScenarioCancelExtraction(Wizard& wizard) {
    HWND page = AgreeToProgressPage(wizard);
    if (!page) return;
    Check(WaitFor([&] { return BarPosition(page, kStepBar) == 100; }, 30000), "unpacking: the step bar is full",
          ItemText(page, kStepText));
    Check(ItemText(page, kTaskText) == L"Downloading application components...", "unpacking: still the download's task",
          ItemText(page, kTaskText));
    CancelWithYes(wizard, page, "while unpacking");
    if (!WaitForPage(wizard, L"finished")) return;
    ExpectFinishedTexts(wizard.Page(), kInterruptedTitle, kInterruptedText, false);
    Finish(wizard);
}

// Cancel during the install scan, after the package is installed (the point of
// no return): the installation completes and the success page follows.
void ScenarioCancelScan(Wizard& wizard) {
    HWND page = AgreeToProgressPage(wizard);
    if (!page) return;
    Check(WaitFor([&] { return ItemText(page, kStepText) == L"Scanning Your Computer..."; }),
          "the install scan runs", ItemText(page, kStepText));
    CancelWithYes(wizard, page, "during the scan");
    if (!WaitForPage(wizard, L"finished", kInstallTimeoutMs)) return;
    ExpectFinishedTexts(wizard.Page(), L"Completed the Kelvora Setup Wizard",
                        L"Click the Finish button to exit the Setup Wizard.", true);
    CheckDlgButton(wizard.Page(), kLaunch, BST_UNCHECKED);
    Finish(wizard);
}

// Cancel on an offer page: No stays, Yes ends in the interrupted variant.
void ScenarioCancelOffer(Wizard& wizard) {
    if (!WaitForPage(wizard, L"welcome")) return;
    Click(wizard.Page(), kAgree);
    if (!WaitForPage(wizard, L"nox-offer")) return;
    Click(wizard.Page(), kAccept);
    if (!WaitForPage(wizard, L"gearfresh-offer")) return;
    PressEscape(wizard.Page());
    AnswerCancelQuestion(wizard, IDNO);
    bool flushed = Flushed(wizard.Main());
    Check(flushed && PageName(wizard.Page()) == L"gearfresh-offer", "No keeps the offer page",
          PageName(wizard.Page()) + (flushed ? L"" : L" (the page went away meanwhile)"));
    PostMessageW(wizard.Main(), WM_SYSCOMMAND, SC_CLOSE, 0);
    AnswerCancelQuestion(wizard, IDYES);
    if (!WaitForPage(wizard, L"finished")) return;
    ExpectFinishedTexts(wizard.Page(), kInterruptedTitle, kInterruptedText, false);
    Finish(wizard);
}

// From the Yes to the cancel question to the finished page, in the state
// WHEN: "initialization" (its request out), "download" (bytes arriving),
// "stalled" (the body stopped), "unpacking", "verifying" (the install step
// begun), "offer" (the offers accepted on the way, the last one's download
// held up while the progress page shows). Prints "cancel WHEN: N ms, the
// finished page shows TITLE"; checks that it is the interrupted variant.
void ScenarioCancelTiming(Wizard& wizard, const std::wstring& when) {
    if (when == L"initialization") {
        if (!WaitForPage(wizard, L"initialization")) return;
        Sleep(500);  // the request is out
    } else {
        if (!WaitForPage(wizard, L"welcome")) return;
        Click(wizard.Page(), kAgree);
        WaitFor([&] {
            const std::wstring shown = PageName(wizard.Page());
            if (shown == L"nox-offer" || shown == L"gearfresh-offer") {
                Click(wizard.Page(), kAccept);
                Sleep(200);
            }
            return shown == L"progress" || shown == L"finished";
        });
        if (!WaitForPage(wizard, L"progress")) return;
        HWND page = wizard.Page();
        bool reached = true;
        if (when == L"download") {
            reached = WaitFor([&] { return ItemText(page, kStepText).find(L" downloaded at ") != std::wstring::npos; });
        } else if (when == L"stalled") {
            Sleep(1500);  // past the bytes before the stall (too quick for a progress report)
        } else if (when == L"unpacking") {
            reached = WaitFor([&] { return BarPosition(page, kStepBar) == 100 &&
                                           ItemText(page, kTaskText).rfind(L"Downloading", 0) == 0; });
        } else if (when == L"verifying") {
            reached = WaitFor([&] { return ItemText(page, kTaskText).rfind(L"Installing", 0) == 0 ||
                                           PageName(wizard.Page()) != L"progress"; }, kInstallTimeoutMs);
        } else {
            Sleep(1000);  // the offer's download has begun
        }
        Check(reached, "the state " + Utf8(when) + " is reached", ItemText(page, kTaskText) + L" / " + ItemText(page, kStepText));
        if (PageName(wizard.Page()) != L"progress") {
            // The step was over before the question could come.
            std::printf("cancel %s: too late, the wizard shows its %s page\n", Utf8(when).c_str(),
                        Utf8(PageName(wizard.Page())).c_str());
            std::fflush(stdout);
            if (PageName(wizard.Page()) == L"finished") Finish(wizard);
            return;
        }
    }
    LARGE_INTEGER frequency, start, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    PostMessageW(wizard.Main(), WM_SYSCOMMAND, SC_CLOSE, 0);
    // The initialization page may stop without a question: the clock runs from the close then.
    HWND box = nullptr;
    WaitFor([&] { return (box = wizard.Box()) != nullptr || !wizard.Running(); });
    if (box) {
        QueryPerformanceCounter(&start);
        Click(box, IDYES);
    }
    // When the question has gone: under Xvfb, which has no window manager,
    // Wine's hiding of a box waits about 2 s for one before it goes on.
    LARGE_INTEGER boxGone = {};
    bool finished = WaitFor([&] {
        if (box && !boxGone.QuadPart && (!IsWindow(box) || !IsWindowVisible(box))) QueryPerformanceCounter(&boxGone);
        return !wizard.Running() || PageName(wizard.Page()) == L"finished";
    }, kInstallTimeoutMs);
    QueryPerformanceCounter(&now);
    auto msBetween = [&](const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
        return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
    };
    const double ms = msBetween(start, now);
    if (boxGone.QuadPart) std::printf("the question went %.0f ms after the Yes\n", msBetween(start, boxGone));
    const bool ended = !wizard.Running();
    const std::wstring title = ended ? L"none: the wizard ended" : finished ? ItemText(wizard.Page(), kFinishedTitle) : L"(no finished page)";
    std::printf("cancel %s: %.0f ms, the finished page shows %s\n", Utf8(when).c_str(), ms, Utf8(title).c_str());
    std::fflush(stdout);
    Check(title == kInterruptedTitle || (ended && !box), "the interrupted page (or the end) follows the Yes", title);
    if (ended) WaitForEnd(wizard);
    else if (finished) Finish(wizard);
}

// --- Real key presses (SendInput, PressKeys): they reach whatever window has the focus ---

// The window with the keyboard focus in the wizard's user-interface thread.
HWND FocusOf(Wizard& wizard) {
    HWND main = wizard.Main();
    if (!main) return nullptr;
    GUITHREADINFO info = {};
    info.cbSize = sizeof(info);
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(main, nullptr), &info)) return nullptr;
    return info.hwndFocus;
}

std::wstring FocusName(Wizard& wizard) {
    HWND focus = FocusOf(wizard);
    if (!focus) return L"no window";
    return L"control " + std::to_wstring(GetDlgCtrlID(focus)) + L" \"" + Text(focus).substr(0, 40) + L"\"";
}

void ExpectFocus(Wizard& wizard, HWND page, int id, const std::string& what) {
    HWND control = GetDlgItem(page, id);
    bool focused = control && WaitFor([&] { return FocusOf(wizard) == control; }, 10000);
    Check(focused, what, L"focus: " + FocusName(wizard));
}

// The licence's place: its first visible line, and no selection over its whole text.
struct LicencePlace {
    LRESULT firstLine;
    DWORD selection;
};
LicencePlace PlaceOf(HWND licence) {
    return {SendMessageW(licence, EM_GETFIRSTVISIBLELINE, 0, 0),
            static_cast<DWORD>(SendMessageW(licence, EM_GETSEL, 0, 0))};
}
void ExpectLicencePlace(HWND licence, const LicencePlace& expected, const std::string& when) {
    LicencePlace place = PlaceOf(licence);
    Check(place.firstLine == expected.firstLine && LOWORD(place.selection) == HIWORD(place.selection),
          "the licence keeps its place and selects nothing " + when,
          L"first line " + std::to_wstring(place.firstLine) + L" (was " + std::to_wstring(expected.firstLine) +
              L"), selection " + std::to_wstring(LOWORD(place.selection)) + L"-" +
              std::to_wstring(HIWORD(place.selection)));
}

// The cancel question by the keyboard: its N key answers No.
void AnswerNoByKey(Wizard& wizard, const std::string& where) {
    HWND box = WaitForBox(wizard, where + ": Escape asks the cancel question");
    if (!box) return;
    Check(ItemText(box, kBoxText) == L"Do you want to cancel the setup wizard?", "the question's text",
          ItemText(box, kBoxText));
    PressKeys({'N'});
    Check(WaitFor([&] { return wizard.Box() == nullptr; }, 10000), where + ": N answers No");
}

// From the welcome page to Finish with the keyboard alone: the focus on each
// page's default button, Tab and Shift+Tab through the controls, the licence
// keeping its place, Escape's question answered No on the welcome and the
// progress page, Enter pressing Agree, an offer's Accept and Finish.
void ScenarioKeyboard(Wizard& wizard) {
    if (!WaitForPage(wizard, L"welcome")) return;
    HWND page = wizard.Page();
    HWND licence = GetDlgItem(page, kLicenseText);
    ExpectFocus(wizard, page, kAgree, "welcome: the focus is on Agree");
    PressKeys({VK_SHIFT, VK_TAB});
    ExpectFocus(wizard, page, kLicenseText, "Shift+Tab: the licence");
    ExpectLicencePlace(licence, {0, 0}, "when tabbed into");
    PressKeys({VK_NEXT});
    PressKeys({VK_NEXT});
    Check(WaitFor([&] { return PlaceOf(licence).firstLine > 0; }, 10000), "Page Down scrolls the licence",
          std::to_wstring(PlaceOf(licence).firstLine));
    LicencePlace reading = PlaceOf(licence);
    reading.selection = 0;
    PressKeys({VK_TAB});
    ExpectFocus(wizard, page, kAgree, "Tab: from the licence to Agree (Back is disabled)");
    PressKeys({VK_TAB});
    ExpectFocus(wizard, page, kCancel, "Tab: Cancel");
    PressKeys({VK_TAB});
    ExpectFocus(wizard, page, kLicenseText, "Tab: round to the licence");
    ExpectLicencePlace(licence, reading, "when tabbed into again");
    PressKeys({VK_ESCAPE});
    AnswerNoByKey(wizard, "welcome");
    ExpectFocus(wizard, page, kLicenseText, "after the question the focus is back on the licence");
    ExpectLicencePlace(licence, reading, "when the wizard is activated again");
    PressKeys({VK_RETURN});
    if (!WaitForPage(wizard, L"nox-offer")) return;
    page = wizard.Page();
    ExpectFocus(wizard, page, kAccept, "offer: the focus is on Accept");
    PressKeys({VK_TAB});
    ExpectFocus(wizard, page, kDecline, "Tab: Decline");
    PressKeys({VK_SHIFT, VK_TAB});
    ExpectFocus(wizard, page, kAccept, "Shift+Tab: Accept");
    PressKeys({VK_RETURN});
    if (!WaitForPage(wizard, L"progress")) return;
    page = wizard.Page();
    ExpectFocus(wizard, page, kCancel, "progress: the focus is on Cancel (Next and Back are disabled)");
    Check(WaitFor([&] { return !ItemText(page, kTaskText).empty() && BarPosition(page, kTaskBar) > 0; }, 30000),
          "the task text is shown");
    // The dialog manager's question for the default button is no progress
    // report (it would empty the task text and reset its bar).
    DWORD defaultId = static_cast<DWORD>(SendMessageW(page, DM_GETDEFID, 0, 0));
    Check(LOWORD(defaultId) == kNext, "DM_GETDEFID answers Next", std::to_wstring(LOWORD(defaultId)));
    Check(!ItemText(page, kTaskText).empty() && BarPosition(page, kTaskBar) > 0,
          "DM_GETDEFID leaves the task text and bar alone", ItemText(page, kTaskText));
    PressKeys({VK_ESCAPE});
    AnswerNoByKey(wizard, "progress");
    Check(PageName(wizard.Page()) == L"progress" && !ItemText(page, kTaskText).empty(), "No: the installation goes on",
          ItemText(page, kTaskText));
    ExpectFocus(wizard, page, kCancel, "after the question the focus is back on Cancel");
    if (!WaitForPage(wizard, L"finished", kInstallTimeoutMs)) return;
    page = wizard.Page();
    ExpectFocus(wizard, page, kFinish, "finished: the focus is on Finish");
    Check(ItemText(page, kFinish).find(L'&') != std::wstring::npos, "Finish has a mnemonic", ItemText(page, kFinish));
    PressKeys({VK_TAB});
    ExpectFocus(wizard, page, kLaunch, "Tab: the launch check box");
    PressKeys({VK_SPACE});
    Check(WaitFor([&] { return IsDlgButtonChecked(page, kLaunch) == BST_UNCHECKED; }, 10000),
          "Space clears the launch check box");
    PressKeys({VK_SHIFT, VK_TAB});
    ExpectFocus(wizard, page, kFinish, "Shift+Tab: Finish");
    PressKeys({VK_RETURN});
    WaitForEnd(wizard);
}

// "track" NOX00011: the wizard hides in the notification area when the
// progress page shows, comes back on a click of the icon, hides again on
// minimise and ends without the finished page.
void ScenarioTray(Wizard& wizard) {
    if (!WaitForPage(wizard, L"welcome")) return;
    HWND main = wizard.Main();
    Check((GetWindowLongW(main, GWL_STYLE) & WS_MINIMIZEBOX) != 0, "NOX00011 keeps the minimise box");
    Click(wizard.Page(), kAgree);
    Check(WaitFor([&] { return !IsWindowVisible(main); }, 30000), "the wizard hides when the progress page shows");
    Check(IsWindow(main) && wizard.Running(), "the wizard goes on while hidden");
    PostMessageW(main, kTrayCallback, kTrayIconId, WM_LBUTTONDOWN);
    Check(WaitFor([&] { return IsWindowVisible(main) != FALSE; }, 10000), "a click on the icon brings it back");
    Check(PageName(wizard.Page()) == L"progress", "the progress page is on screen", PageName(wizard.Page()));
    PostMessageW(main, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    Check(WaitFor([&] { return !IsWindowVisible(main); }, 10000), "minimise hides it again");
    bool sawFinished = false;
    bool ended = WaitFor(
        [&] {
            if (PageName(wizard.Page()) == L"finished") sawFinished = true;
            return !wizard.Running();
        },
        kInstallTimeoutMs);
    Check(ended, "the wizard ends by itself when the installation is done",
          ended ? L"" : L"still there: page " + PageName(wizard.Page()) + L", box \"" + ItemText(wizard.Box(), kBoxText) + L"\"");
    Check(!sawFinished, "no finished page while hidden");
    if (!ended) TerminateProcess(wizard.process.hProcess, 99);
}

// From Finish to the end: how long the frame stays on screen and the process
// after it, with the launch check box on (offers on the way accepted).
// Figures, not checks: the bench prints them.
void ScenarioFinishTiming(Wizard& wizard) {
    if (!WaitForPage(wizard, L"welcome")) return;
    Click(wizard.Page(), kAgree);
    // Offers on the way are accepted.
    std::wstring page;
    WaitFor([&] {
        page = PageName(wizard.Page());
        if (page == L"nox-offer" || page == L"gearfresh-offer") {
            Click(wizard.Page(), kAccept);
            Sleep(200);
        }
        return page == L"finished";
    }, kInstallTimeoutMs);
    if (!WaitForPage(wizard, L"finished")) return;
    HWND main = wizard.Main();
    CheckDlgButton(wizard.Page(), kLaunch, BST_CHECKED);
    LARGE_INTEGER frequency, start, now;
    QueryPerformanceFrequency(&frequency);
    auto elapsedMs = [&] {
        QueryPerformanceCounter(&now);
        return 1000.0 * static_cast<double>(now.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
    };
    QueryPerformanceCounter(&start);
    Click(wizard.Page(), kFinish);
    WaitFor([&] { return !IsWindow(main) || !IsWindowVisible(main); }, kInstallTimeoutMs);
    double windowGone = elapsedMs();
    // A second setup started as soon as the window went: what does its user see?
    Wizard second;
    std::wstring secondSees = L"nothing (it could not be started)";
    if (StartProgram(g_program, second.process)) {
        WaitFor([&] { return second.Box() || PageName(second.Page()) != L"none" || !second.Running(); }, kStepTimeoutMs);
        if (HWND box = second.Box()) {
            secondSees = L"a box: " + ItemText(box, kBoxText);
        } else if (second.Page()) {
            secondSees = L"its " + PageName(second.Page()) + L" page";
        } else {
            secondSees = second.Running() ? L"nothing" : L"nothing (it ended)";
        }
        TerminateProcess(second.process.hProcess, 0);
        WaitForSingleObject(second.process.hProcess, 10000);
        CloseHandle(second.process.hThread);
        CloseHandle(second.process.hProcess);
    }
    bool ended = WaitForSingleObject(wizard.process.hProcess, kInstallTimeoutMs) == WAIT_OBJECT_0;
    double processEnded = elapsedMs();
    std::printf("finish: the window went after %.0f ms, the process %s after %.0f ms; a setup started then shows %s\n",
                windowGone, ended ? "ended" : "was still running", processEnded, Utf8(secondSees).c_str());
    std::fflush(stdout);
    if (!ended) TerminateProcess(wizard.process.hProcess, 99);
}


// The milliseconds WINDOW takes to answer a sent message; negative when it did not answer.
double AnswerMs(HWND window) {
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    DWORD_PTR answer = 0;
    QueryPerformanceCounter(&start);
    LRESULT sent = SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &answer);
    QueryPerformanceCounter(&end);
    if (!sent) return -1;
    return 1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void PrintAnswerTimes(const char* name, std::vector<double>& times) {
    if (times.empty()) {
        std::printf("%s: no samples\n", name);
    } else {
        std::sort(times.begin(), times.end());
        std::printf("%s: %zu samples, median %.2f ms, 99th %.2f ms, worst %.2f ms\n", name, times.size(),
                    times[times.size() / 2], times[times.size() * 99 / 100], times.back());
    }
    std::fflush(stdout);
}

// The reference for the answer times: PROGRAM's first visible window, idle,
// sampled as often as the wizard's frame is.
int MeasureIdleAnswers(const std::wstring& program, int samples) {
    Wizard idle;
    if (!StartProgram(program, idle.process)) return 1;
    HWND window = nullptr;
    WaitFor([&] {
        window = idle.FindTopLevel([](HWND) { return true; });
        return window != nullptr;
    });
    std::vector<double> times;
    for (int i = 0; window && i < samples; ++i) {
        double ms = AnswerMs(window);
        if (ms < 0) break;
        times.push_back(ms);
        Sleep(10);
    }
    PrintAnswerTimes("idle dialog", times);
    TerminateProcess(idle.process.hProcess, 0);
    CloseHandle(idle.process.hThread);
    CloseHandle(idle.process.hProcess);
    return times.empty() ? 1 : 0;
}

// The worst answer time of the frame, in two phases told apart by the task
// text. With downloadOnly the wizard is ended once its download is over (for
// a large payload that is no package).
void ScenarioResponsiveness(Wizard& wizard, bool downloadOnly) {
    if (!WaitForPage(wizard, L"welcome")) return;
    HWND main = wizard.Main();
    Click(wizard.Page(), kAgree);
    std::vector<double> phases[2];
    const char* names[2] = {"download", "install"};
    // From the click on (a short installer run is over within a few hundred
    // milliseconds) until the finished page or the end.
    for (;;) {
        HWND page = wizard.Page();
        std::wstring name = PageName(page);
        if (!wizard.Running() || name == L"finished") break;
        std::wstring task = name == L"progress" ? ItemText(page, kTaskText) : L"";
        int phase = task.rfind(L"Downloading", 0) == 0 ? 0 : task.rfind(L"Installing", 0) == 0 ? 1 : -1;
        if (downloadOnly && phase != 0 && !phases[0].empty()) break;
        double ms = AnswerMs(main);
        if (ms < 0) break;
        if (phase >= 0) phases[phase].push_back(ms);
        Sleep(10);
    }
    for (int phase = 0; phase < (downloadOnly ? 1 : 2); ++phase) PrintAnswerTimes(names[phase], phases[phase]);
    if (downloadOnly) {
        TerminateProcess(wizard.process.hProcess, 0);
        WaitForSingleObject(wizard.process.hProcess, 10000);
        return;
    }
    if (WaitForPage(wizard, L"finished", kInstallTimeoutMs)) {
        CheckDlgButton(wizard.Page(), kLaunch, BST_UNCHECKED);
        Finish(wizard);
    } else {
        TerminateProcess(wizard.process.hProcess, 99);
    }
}

// Closes the wizard whatever it shows (for runs that test start-up only).
void ScenarioClose(Wizard& wizard) {
    while (wizard.Running()) {
        if (HWND box = wizard.Box()) {
            Click(box, GetDlgItem(box, IDYES) ? IDYES : IDOK);
        } else if (HWND main = wizard.Main()) {
            PostMessageW(main, WM_SYSCOMMAND, SC_CLOSE, 0);
        }
        Sleep(200);
    }
    WaitForEnd(wizard);
}

// A visible button 1002 under a visible top-level window of the process, and
// nothing of that window left to paint.
struct FirstPageSearch {
    DWORD processId;
    HWND top;
};

BOOL CALLBACK FindPaintedPage(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<FirstPageSearch*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId || !IsWindowVisible(window)) return TRUE;
    HWND button = FindWindowExW(window, nullptr, nullptr, nullptr);
    // The button is a child of the frame (the bare dialog) or of its page.
    HWND agree = GetDlgItem(window, 1002);
    for (HWND child = button; !agree && child; child = GetWindow(child, GW_HWNDNEXT)) agree = GetDlgItem(child, 1002);
    if (!agree || !IsWindowVisible(agree)) return TRUE;
    search->top = window;
    return FALSE;
}

BOOL CALLBACK FindVisibleWindow(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<FirstPageSearch*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId || !IsWindowVisible(window)) return TRUE;
    search->top = window;
    return FALSE;
}

bool NothingToPaint(HWND window) {
    if (GetUpdateRect(window, nullptr, FALSE)) return false;
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (IsWindowVisible(child) && !NothingToPaint(child)) return false;
    }
    return true;
}

int MeasureLaunch(const std::wstring& program, int runs) {
    std::vector<double> times;
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    for (int run = 0; run < runs; ++run) {
        PROCESS_INFORMATION process = {};
        LARGE_INTEGER start, end;
        QueryPerformanceCounter(&start);
        if (!StartProgram(program, process)) return 1;
        bool painted = false;
        double frameMs = 0;
        for (int poll = 0; poll < 60000 && !painted; ++poll) {
            if (frameMs == 0) {
                FirstPageSearch frame = {process.dwProcessId, nullptr};
                EnumWindows(FindVisibleWindow, reinterpret_cast<LPARAM>(&frame));
                if (frame.top) {
                    LARGE_INTEGER now;
                    QueryPerformanceCounter(&now);
                    frameMs = 1000.0 * static_cast<double>(now.QuadPart - start.QuadPart) /
                              static_cast<double>(frequency.QuadPart);
                }
            }
            FirstPageSearch search = {process.dwProcessId, nullptr};
            EnumWindows(FindPaintedPage, reinterpret_cast<LPARAM>(&search));
            DWORD_PTR answer;
            // The round trip lets the window's thread reach its queue's end, where painting happens.
            painted = search.top &&
                      SendMessageTimeoutW(search.top, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &answer) &&
                      NothingToPaint(search.top);
            if (!painted) Sleep(1);
        }
        QueryPerformanceCounter(&end);
        TerminateProcess(process.hProcess, 0);
        WaitForSingleObject(process.hProcess, 10000);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        if (!painted) return 1;
        double ms = 1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
        times.push_back(ms);
        std::printf("run %d: %.1f ms (a window visible at %.1f ms)\n", run + 1, ms, frameMs);
        Sleep(500);
    }
    std::sort(times.begin(), times.end());
    std::printf("median %.1f ms\n", times[times.size() / 2]);
    return 0;
}

// The walk of the demo in any language: welcome (the licence accepted), the
// first offer accepted, the progress page, the finished page left with the
// launch check box on. Texts are not checked, so every language walks it. An
// error box on the way is photographed, its message printed and answered, and
// the walk ends on the finished page's error variant.
void ScenarioDemo(Wizard& wizard) {
    auto errorBoxShown = [&] {
        HWND box = wizard.Box();
        if (!box) return false;
        std::printf("error message: %s\n", Utf8(ItemText(box, kBoxText)).c_str());
        Shoot(box, L"error-box", L"error-box");
        Click(box, IDOK);
        if (WaitForPage(wizard, L"finished")) Finish(wizard);
        return true;
    };
    // Waits for one of the pages or an error box; the page on screen then.
    auto reach = [&](std::initializer_list<const wchar_t*> pages, DWORD timeoutMs) {
        WaitFor([&] {
            if (wizard.Box()) return true;
            std::wstring page = PageName(wizard.Page());
            for (const wchar_t* name : pages) {
                if (page == name) return true;
            }
            return false;
        }, timeoutMs);
        return errorBoxShown() ? std::wstring(L"error") : PageName(wizard.Page());
    };
    if (reach({L"welcome"}, kStepTimeoutMs) != L"welcome" || !WaitForPage(wizard, L"welcome")) return;
    Click(wizard.Page(), kAgree);
    std::wstring page = reach({L"nox-offer", L"gearfresh-offer", L"progress"}, kStepTimeoutMs);
    if (page == L"error") return;
    if (page != L"progress") {
        WaitForPage(wizard, page);
        std::printf("offer page: %s accepted\n", Utf8(page).c_str());
        Click(wizard.Page(), kAccept);
        if (reach({L"progress", L"finished"}, kStepTimeoutMs) == L"error") return;
    }
    if (PageName(wizard.Page()) == L"progress") WaitForPage(wizard, L"progress");
    if (reach({L"finished"}, kInstallTimeoutMs) == L"error" || !WaitForPage(wizard, L"finished")) return;
    CheckDlgButton(wizard.Page(), kLaunch, BST_CHECKED);
    Finish(wizard);
}

int Run(const std::wstring& scenario, const std::wstring& program) {
    g_program = program;
    Wizard wizard;
    if (!StartProgram(program, wizard.process)) {
        std::printf("FAIL: cannot start %s\n", Utf8(program).c_str());
        return 1;
    }
    if (scenario == L"install") ScenarioInstall(wizard);
    else if (scenario == L"license-back") ScenarioLicenseBack(wizard);
    else if (scenario == L"close-box") ScenarioCloseBox(wizard);
    else if (scenario == L"countdown") ScenarioCountdown(wizard);
    else if (scenario == L"about") ScenarioAbout(wizard);
    else if (scenario == L"initialization") ScenarioInitialization(wizard);
    else if (scenario == L"error") ScenarioError(wizard);
    else if (scenario == L"error-after-agree") ScenarioErrorAfterAgree(wizard);
    else if (scenario == L"pictures") ScenarioPictures(wizard);
    else if (scenario == L"close") ScenarioClose(wizard);
    else if (scenario == L"minimise-kept") ScenarioFrameRules(wizard, true);
    else if (scenario == L"minimise-removed") ScenarioFrameRules(wizard, false);
    else if (scenario == L"offers-both") ScenarioOffers(wizard, false);
    else if (scenario == L"offers-nox-declined") ScenarioOffers(wizard, true);
    else if (scenario == L"offers-none") ScenarioNoOffers(wizard);
    else if (scenario == L"cancel-progress") ScenarioCancelProgress(wizard);
    else if (scenario == L"cancel-offer") ScenarioCancelOffer(wizard);
    else if (scenario == L"cancel-extraction") ScenarioCancelExtraction(wizard);
    else if (scenario == L"cancel-scan") ScenarioCancelScan(wizard);
    else if (scenario == L"tray") ScenarioTray(wizard);
    else if (scenario == L"keyboard") ScenarioKeyboard(wizard);
    else if (scenario == L"finish-timing") ScenarioFinishTiming(wizard);
    else if (scenario == L"responsiveness") ScenarioResponsiveness(wizard, false);
    else if (scenario == L"responsiveness-download") ScenarioResponsiveness(wizard, true);
    else if (scenario == L"demo") ScenarioDemo(wizard);
    else if (scenario.rfind(L"cancel-timing-", 0) == 0) ScenarioCancelTiming(wizard, scenario.substr(14));
    else Check(false, "known scenario", scenario);
    if (wizard.Running()) {
        Check(false, "the wizard ended at the end of the scenario");
        TerminateProcess(wizard.process.hProcess, 99);
    }
    CloseHandle(wizard.process.hThread);
    CloseHandle(wizard.process.hProcess);
    return g_failures;
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
    // The wizard is DPI aware: its windows' places and pictures are read in its pixels.
    SetProcessDPIAware();
    if (argc >= 4 && std::wstring(argv[1]) == L"config") {
        std::vector<std::pair<std::wstring, std::wstring>> pairs;
        for (int i = 4; i < argc; ++i) {
            std::wstring pair = argv[i];
            size_t equals = pair.find(L'=');
            if (equals != std::wstring::npos) pairs.emplace_back(pair.substr(0, equals), pair.substr(equals + 1));
        }
        CopyWithBuildConfig(argv[2], argv[3], pairs);
        return GetFileAttributesW(argv[3]) == INVALID_FILE_ATTRIBUTES ? 1 : 0;
    }
    if (argc >= 4 && std::wstring(argv[1]) == L"launch") return MeasureLaunch(argv[2], _wtoi(argv[3]));
    if (argc >= 5 && std::wstring(argv[1]) == L"chaos") {
        return RunChaosWalk(argv[2], std::wcstoull(argv[3], nullptr, 10), _wtoi(argv[4]));
    }
    if (argc >= 4 && std::wstring(argv[1]) == L"idle-answers") return MeasureIdleAnswers(argv[2], _wtoi(argv[3]));
    if (argc >= 4 && std::wstring(argv[1]) == L"run") {
        if (argc >= 6) {
            g_shots = argv[4];
            g_prefix = argv[5];
        }
        return Run(argv[2], argv[3]);
    }
    std::fprintf(stderr, "usage: WizardDriver config SOURCE TARGET KEY=VALUE... | run SCENARIO WIZARD [SHOTS PREFIX]\n");
    return 2;
}
