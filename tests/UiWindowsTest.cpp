// The message box and the tray icon as a user meets them: UiHost shows them
// in a process of its own under the real window manager; this test finds the
// windows, reads their texts and buttons and presses keys as a user would.
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace {
struct ButtonInfo {
    int id;
    std::wstring caption;
    int left;
    bool isDefault;
};

HWND WaitForBox(DWORD processId) {
    HWND box = nullptr;
    for (int i = 0; i < 600 && !box; ++i) {
        Sleep(50);
        box = FindVisibleDialog(processId);
    }
    return box;
}

BOOL CALLBACK CollectButton(HWND child, LPARAM param) {
    wchar_t className[16] = {};
    GetClassNameW(child, className, 16);
    if (std::wstring(className) != L"Button") return TRUE;
    wchar_t caption[64] = {};
    GetWindowTextW(child, caption, 64);
    RECT r;
    GetWindowRect(child, &r);
    LONG style = GetWindowLongW(child, GWL_STYLE);
    reinterpret_cast<std::vector<ButtonInfo>*>(param)->push_back(
        {GetDlgCtrlID(child), caption, r.left, (style & 0xF) == BS_DEFPUSHBUTTON});
    return TRUE;
}

std::vector<ButtonInfo> ButtonsLeftToRight(HWND box) {
    std::vector<ButtonInfo> buttons;
    EnumChildWindows(box, CollectButton, reinterpret_cast<LPARAM>(&buttons));
    std::sort(buttons.begin(), buttons.end(), [](const ButtonInfo& a, const ButtonInfo& b) { return a.left < b.left; });
    return buttons;
}

void PressKey(WORD key, bool withAlt) {
    std::vector<INPUT> inputs;
    auto add = [&](WORD k, DWORD flags) {
        INPUT input = {};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = k;
        input.ki.dwFlags = flags;
        inputs.push_back(input);
    };
    if (withAlt) add(VK_MENU, 0);
    add(key, 0);
    add(key, KEYEVENTF_KEYUP);
    if (withAlt) add(VK_MENU, KEYEVENTF_KEYUP);
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

enum class Action { Key, AltKey, SystemClose, WindowClose };
struct Step {
    Action action;
    WORD key;
};

struct BoxCase {
    const char* name;
    UINT style;
    const wchar_t* language;
    std::vector<std::pair<int, std::wstring>> buttons;  // left to right
    bool hasSystemMenu;
    std::vector<Step> steps;  // the last one ends the box
    DWORD expected;
};

class MessageBoxWindows : public ::testing::TestWithParam<BoxCase> {};

TEST_P(MessageBoxWindows, TextsButtonsAndKeys) {
    const BoxCase& c = GetParam();
    std::wstring host = WindowsPathFromEnvironment("WRENSTALL_UI_HOST_EXE");
    ChildProcess process(L"\"" + host + L"\" box " + std::to_wstring(c.style) + L" " + c.language);
    HWND box = WaitForBox(process.Id());
    ASSERT_NE(box, nullptr) << "no message box appeared (is a display available?)";

    wchar_t caption[64] = {};
    GetWindowTextW(box, caption, 64);
    EXPECT_STREQ(caption, L"Kelvora");
    if (std::wstring(c.language) == L"0409") {
        wchar_t text[256] = {};
        GetDlgItemTextW(box, 0xFFFF, text, 256);
        EXPECT_STREQ(text, L"Do you want to cancel the setup wizard?");
    }
    std::vector<ButtonInfo> buttons = ButtonsLeftToRight(box);
    ASSERT_EQ(buttons.size(), c.buttons.size());
    for (size_t i = 0; i < buttons.size(); ++i) {
        EXPECT_EQ(buttons[i].id, c.buttons[i].first) << i;
        EXPECT_EQ(buttons[i].caption, c.buttons[i].second) << i;
        EXPECT_EQ(buttons[i].isDefault, i == 0) << i;
    }
    EXPECT_EQ((GetWindowLongW(box, GWL_STYLE) & WS_SYSMENU) != 0, c.hasSystemMenu);

    SetForegroundWindow(box);
    for (const Step& step : c.steps) {
        switch (step.action) {
            case Action::Key: PressKey(step.key, false); break;
            case Action::AltKey: PressKey(step.key, true); break;
            case Action::SystemClose: PostMessageW(box, WM_SYSCOMMAND, SC_CLOSE, 0); break;
            case Action::WindowClose: PostMessageW(box, WM_CLOSE, 0, 0); break;
        }
    }
    ProcessResult result;
    ASSERT_TRUE(process.Wait(30000, result)) << "the box did not end";
    EXPECT_EQ(result.exitCode, c.expected) << result.output;
}

const std::vector<std::pair<int, std::wstring>> kOk = {{1, L"OK"}};
const std::vector<std::pair<int, std::wstring>> kOkCancel = {{1, L"OK"}, {2, L"Cancel"}};
const std::vector<std::pair<int, std::wstring>> kAbortRetryIgnore = {{3, L"&Abort"}, {4, L"&Retry"}, {5, L"&Ignore"}};
const std::vector<std::pair<int, std::wstring>> kYesNoCancel = {{6, L"&Yes"}, {7, L"&No"}, {2, L"Cancel"}};
const std::vector<std::pair<int, std::wstring>> kYesNo = {{6, L"&Yes"}, {7, L"&No"}};
const std::vector<std::pair<int, std::wstring>> kRetryCancel = {{4, L"&Retry"}, {2, L"Cancel"}};
const std::vector<std::pair<int, std::wstring>> kCancelTryContinue = {
    {2, L"Cancel"}, {10, L"&Try Again"}, {11, L"&Continue"}};
const std::vector<std::pair<int, std::wstring>> kYesNoJapanese = {{6, L"\x306F\x3044(&Y)"},
                                                                  {7, L"\x3044\x3044\x3048(&N)"}};

INSTANTIATE_TEST_SUITE_P(
    ButtonSets, MessageBoxWindows,
    ::testing::Values(
        // Escape does nothing without a Cancel-like exit: the Enter after it answers.
        BoxCase{"ok_escape_then_enter", MB_OK, L"0409", kOk, false,
                {{Action::Key, VK_ESCAPE}, {Action::Key, VK_RETURN}}, IDOK},
        BoxCase{"ok_closed", MB_OK, L"0409", kOk, false, {{Action::WindowClose, 0}}, IDOK},
        BoxCase{"ok_cancel_escape", MB_OKCANCEL, L"0409", kOkCancel, true, {{Action::Key, VK_ESCAPE}}, IDCANCEL},
        BoxCase{"ok_cancel_close_box", MB_OKCANCEL, L"0409", kOkCancel, true, {{Action::SystemClose, 0}}, IDCANCEL},
        BoxCase{"ok_cancel_enter", MB_OKCANCEL, L"0409", kOkCancel, true, {{Action::Key, VK_RETURN}}, IDOK},
        BoxCase{"abort_retry_ignore_alt_r", MB_ABORTRETRYIGNORE, L"0409", kAbortRetryIgnore, false,
                {{Action::AltKey, 'R'}}, IDRETRY},
        BoxCase{"abort_retry_ignore_i", MB_ABORTRETRYIGNORE, L"0409", kAbortRetryIgnore, false, {{Action::Key, 'I'}},
                IDIGNORE},
        BoxCase{"yes_no_cancel_n", MB_YESNOCANCEL, L"0409", kYesNoCancel, true, {{Action::Key, 'N'}}, IDNO},
        BoxCase{"yes_no_cancel_close_box", MB_YESNOCANCEL, L"0409", kYesNoCancel, true, {{Action::SystemClose, 0}},
                IDCANCEL},
        BoxCase{"yes_no_escape_then_y", MB_YESNO, L"0409", kYesNo, false,
                {{Action::Key, VK_ESCAPE}, {Action::Key, 'Y'}}, IDYES},
        BoxCase{"yes_no_closed", MB_YESNO, L"0409", kYesNo, false, {{Action::WindowClose, 0}}, IDNO},
        BoxCase{"retry_cancel_alt_r", MB_RETRYCANCEL, L"0409", kRetryCancel, true, {{Action::AltKey, 'R'}}, IDRETRY},
        BoxCase{"cancel_try_continue_c", MB_CANCELTRYCONTINUE, L"0409", kCancelTryContinue, true,
                {{Action::Key, 'C'}}, IDCONTINUE},
        BoxCase{"cancel_try_continue_enter", MB_CANCELTRYCONTINUE, L"0409", kCancelTryContinue, true,
                {{Action::Key, VK_RETURN}}, IDCANCEL},
        BoxCase{"japanese_yes_no_alt_n", MB_YESNO, L"0411", kYesNoJapanese, false, {{Action::AltKey, 'N'}}, IDNO}),
    [](const auto& info) { return std::string(info.param.name); });

HWND OwnerFromOutput(const std::string& output) {
    void* owner = nullptr;
    int added = 0, known = 0;
    size_t at = output.find("added ");
    if (at == std::string::npos || std::sscanf(output.c_str() + at, "added %p %d %d", &owner, &added, &known) != 3) {
        return nullptr;
    }
    return added && known ? static_cast<HWND>(owner) : nullptr;
}

struct TrayCase {
    const char* name;
    const wchar_t* mode;
    DWORD exitCode;
    const char* report;  // what the host prints at the end
};

class TrayIconWindows : public ::testing::TestWithParam<TrayCase> {};

TEST_P(TrayIconWindows, IconIsGoneAtTheEnd) {
    const TrayCase& c = GetParam();
    std::wstring host = WindowsPathFromEnvironment("WRENSTALL_UI_HOST_EXE");
    ProcessResult result = RunProcess(L"\"" + host + L"\" tray " + c.mode, 30000);
    EXPECT_EQ(result.exitCode, c.exitCode) << result.output;
    EXPECT_NE(OwnerFromOutput(result.output), nullptr) << "the icon was not added: " << result.output;
    EXPECT_NE(result.output.find(c.report), std::string::npos) << result.output;
}

// "remove": removed on request. "error": an out-of-memory error ends the process
// at once; the icon must be gone before it ends.
INSTANTIATE_TEST_SUITE_P(Ends, TrayIconWindows,
                         ::testing::Values(TrayCase{"removed", L"remove", 0, "removed 1 0"},
                                           TrayCase{"error_exit", L"error", 1, "at exit 0"}),
                         [](const auto& info) { return std::string(info.param.name); });
}  // namespace
