#include "WizardWindows.h"

#include <iterator>
#include <vector>

std::wstring Text(HWND window) {
    if (!window) return L"";
    wchar_t text[1024] = {};
    GetWindowTextW(window, text, ARRAYSIZE(text));
    return text;
}

std::wstring ItemText(HWND dialog, int id) { return Text(dialog ? GetDlgItem(dialog, id) : nullptr); }

bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs) {
    for (DWORD waited = 0; waited < timeoutMs; waited += 50) {
        if (condition()) return true;
        Sleep(50);
    }
    return condition();
}


std::wstring PageName(HWND page) {
    if (!page) return L"none";
    auto has = [&](int id) { return GetDlgItem(page, id) != nullptr; };
    if (has(kTaskBar)) return L"progress";
    if (has(kFinish)) return L"finished";
    if (has(kAccept)) return has(kNoxLogo) ? L"nox-offer" : L"gearfresh-offer";
    if (has(kLicenseText)) return has(kHeaderMarker) ? L"license" : L"welcome";
    if (has(kStepBar)) return L"initialization";
    return L"unknown";
}

bool SendAndWait(HWND window, UINT message, WPARAM wParam, LPARAM lParam, DWORD timeoutMs) {
    DWORD_PTR answer = 0;
    return SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL, timeoutMs, &answer) != 0;
}

void Click(HWND dialog, int id) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

void PressEscape(HWND page) {
    HWND target = GetDlgItem(page, kBack);
    if (!target) target = GetDlgItem(page, kAccept);
    if (!target) target = page;
    PostMessageW(target, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    PostMessageW(target, WM_KEYUP, VK_ESCAPE, 0xC0010001);
}

void PressKeys(std::initializer_list<WORD> keys) {
    std::vector<INPUT> inputs;
    for (WORD key : keys) {
        INPUT input = {};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = key;
        input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(key, MAPVK_VK_TO_VSC));
        inputs.push_back(input);
    }
    for (auto key = std::rbegin(keys); key != std::rend(keys); ++key) {
        INPUT input = {};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = *key;
        input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(*key, MAPVK_VK_TO_VSC));
        input.ki.dwFlags = KEYEVENTF_KEYUP;
        inputs.push_back(input);
    }
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

bool StartProgram(const std::wstring& program, PROCESS_INFORMATION& process) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    std::wstring commandLine = L"\"" + program + L"\"";
    return CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &process) != FALSE;
}
