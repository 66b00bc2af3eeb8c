#include "app/AboutDialog.h"

#include <algorithm>

#include "app/Program.h"
#include "framework/DiagnosticOutput.h"
#include "framework/Exceptions.h"
#include "framework/ModulePath.h"
#include "framework/ResourceStrings.h"
#include "framework/WindowText.h"
#include "resources/resource.h"
#include "services/FileVersionInfo.h"

IMPLEMENT_DYNAMIC(CAboutDialog, CDialog)

namespace {
const size_t kBuildTimeChars = 128;
}  // namespace

CAboutDialog::CAboutDialog() : CDialog(IDD_ABOUT) {}

std::time_t CAboutDialog::LinkTimeOf(HMODULE module) {
    auto* base = reinterpret_cast<const BYTE*>(module ? module : GetModuleHandleW(nullptr));
    auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    if (dos->e_magic != IMAGE_DOS_SIGNATURE) return 0;
    auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    if (nt->Signature != IMAGE_NT_SIGNATURE) return 0;
    return static_cast<std::time_t>(nt->FileHeader.TimeDateStamp);
}

LCID CAboutDialog::DisplayLocale() {
    // The user's own locale when it speaks the language of the texts shown
    // (de-AT for the German table), else the table's language itself.
    const LCID texts = GetThreadLocale();
    const LCID user = GetUserDefaultLCID();
    return PRIMARYLANGID(LANGIDFROMLCID(user)) == PRIMARYLANGID(LANGIDFROMLCID(texts)) ? user : texts;
}

std::wstring CAboutDialog::FormatBuildTime(std::time_t linkTime, LCID locale) {
    if (linkTime < 0) return {};
    // Seconds since 1970 to the platform's 100-ns intervals since 1601.
    ULARGE_INTEGER intervals;
    intervals.QuadPart = (static_cast<ULONGLONG>(linkTime) + 11644473600ull) * 10000000ull;
    FILETIME utc = {intervals.LowPart, intervals.HighPart};
    SYSTEMTIME universal = {}, local = {};
    if (!FileTimeToSystemTime(&utc, &universal) || !SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local)) {
        return {};
    }
    wchar_t date[kBuildTimeChars] = {}, time[kBuildTimeChars] = {};
    if (!GetDateFormatW(locale, DATE_LONGDATE, &local, nullptr, date, ARRAYSIZE(date))) return {};
    if (!GetTimeFormatW(locale, 0, &local, nullptr, time, ARRAYSIZE(time))) return {};
    std::wstring text = std::wstring(date) + L" " + time;
    if (text.size() >= kBuildTimeChars) text.resize(kBuildTimeChars - 1);
    return text;
}

void CAboutDialog::SetFormattedText(UINT id, const std::wstring& insert1, const std::wstring& insert2) {
    std::wstring pattern;
    if (!LoadResourceString(id, pattern)) return;
    SetDlgItemTextW(m_hWnd, static_cast<int>(id), FormatMessageText(pattern, {insert1.c_str(), insert2.c_str()}).c_str());
}

// The system menu's item without its accelerator mark and its trailing
// ellipsis: "&About %1 Setup Wizard..." titles the box "About Kelvora Setup
// Wizard"; a Japanese mark such as "(&A)" goes as a whole.
std::wstring CAboutDialog::TitleFromMenuItem(const std::wstring& item) {
    std::wstring title = CaptionWithoutMnemonic(item);
    while (!title.empty() && (title.back() == L'.' || title.back() == L' ' || title.back() == L'\x2026')) title.pop_back();
    return title;
}

namespace {
const int kTextLines[] = {IDC_ABOUT_PRODUCT, IDC_ABOUT_COPYRIGHT, IDC_ABOUT_FRAMEWORK, IDC_ABOUT_BUILD_TIME};

}  // namespace

// Each line is one line of the box: a line longer than its control (a wider
// script, a longer translation) widens the box and every line, and the icon
// and the button stay centred.
void CAboutDialog::WidenToLongestLine() {
    int excess = 0;
    for (int id : kTextLines) {
        HWND line = GetDlgItem(id);
        if (!line) continue;
        RECT rect = ChildRectInParent(m_hWnd, line);
        excess = std::max(excess, WindowTextWidth(line) + 2 - static_cast<int>(rect.right - rect.left));
    }
    if (excess <= 0) return;
    RECT box = {};
    GetWindowRect(m_hWnd, &box);
    SetWindowPos(m_hWnd, nullptr, 0, 0, box.right - box.left + excess, box.bottom - box.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    for (HWND child = GetWindow(m_hWnd, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        RECT rect = ChildRectInParent(m_hWnd, child);
        bool isLine = std::find(std::begin(kTextLines), std::end(kTextLines), GetDlgCtrlID(child)) != std::end(kTextLines);
        if (isLine) {
            SetWindowPos(child, nullptr, 0, 0, rect.right - rect.left + excess, rect.bottom - rect.top,
                         SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        } else {
            SetWindowPos(child, nullptr, rect.left + excess / 2, rect.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }
}

void CAboutDialog::DressFrame() {
    std::wstring item;
    if (LoadResourceString(IDS_ABOUT_ITEM, item)) {
        std::wstring title = TitleFromMenuItem(FormatMessageText(item, {GetProgram().m_strAppName.c_str()}));
        SetWindowTextW(m_hWnd, title.c_str());
    }
    // The modal frame's style hides the caption's icon: the box carries the program's.
    SetWindowLongPtrW(m_hWnd, GWL_EXSTYLE, GetWindowLongPtrW(m_hWnd, GWL_EXSTYLE) & ~WS_EX_DLGMODALFRAME);
    HICON icon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_APPLICATION_ICON));
    SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    // The icon static of the template names the icon by number, which not
    // every platform's static loads (one that fails shrinks to nothing): it
    // gets the icon and its place, centred at the top, itself.
    RECT place = {0, 7, 21, 27};
    MapDialogRect(m_hWnd, &place);
    RECT client = {};
    GetClientRect(m_hWnd, &client);
    for (HWND child = GetWindow(m_hWnd, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON) continue;
        SendMessageW(child, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
        const int width = place.right - place.left;
        SetWindowPos(child, nullptr, (client.right - width) / 2, place.top, width, place.bottom - place.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    // Centred on the wizard (its owner), kept inside the owner's screen.
    RECT box = {}, anchor = {};
    GetWindowRect(m_hWnd, &box);
    HWND owner = GetWindow(m_hWnd, GW_OWNER);
    if (!owner || !GetWindowRect(owner, &anchor)) return;
    const int width = box.right - box.left, height = box.bottom - box.top;
    int x = anchor.left + ((anchor.right - anchor.left) - width) / 2;
    int y = anchor.top + ((anchor.bottom - anchor.top) - height) / 2;
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    if (GetMonitorInfoW(MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST), &monitor)) {
        const RECT& work = monitor.rcWork;
        x = std::max(static_cast<int>(work.left), std::min(x, static_cast<int>(work.right) - width));
        y = std::max(static_cast<int>(work.top), std::min(y, static_cast<int>(work.bottom) - height));
    }
    SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

BOOL CAboutDialog::OnInitDialog() {
    CDialog::OnInitDialog();
    std::wstring programPath;
    GetModulePath(nullptr, programPath);
    CFileVersionInfo version;
    if (!version.Create(programPath)) ThrowResourceException();
    std::wstring versionText = version.GetString(CFileVersionInfo::FileVersion);
    if (versionText.empty()) versionText = version.GetString(CFileVersionInfo::ProductVersion);
    const std::wstring& appName = GetProgram().m_strAppName;

    SetFormattedText(IDC_ABOUT_PRODUCT, appName, versionText);
    std::wstring copyright = version.GetString(CFileVersionInfo::LegalCopyright);
    if (!copyright.empty()) {
        SetDlgItemTextW(m_hWnd, IDC_ABOUT_COPYRIGHT, copyright.c_str());
    } else {
        SetFormattedText(IDC_ABOUT_COPYRIGHT, appName, versionText);
    }
    SetFormattedText(IDC_ABOUT_FRAMEWORK, appName, versionText);
    SetFormattedText(IDC_ABOUT_BUILD_TIME, FormatBuildTime(LinkTimeOf(nullptr), DisplayLocale()), versionText);
    std::wstring close;
    if (LoadResourceString(IDC_ABOUT_CLOSE, close)) SetDlgItemTextW(m_hWnd, IDC_ABOUT_CLOSE, close.c_str());
    WidenToLongestLine();
    DressFrame();
    return TRUE;
}

bool CAboutDialog::OnCommand(UINT id, UINT notifyCode, HWND control) {
    if (id == IDC_ABOUT_CLOSE) {
        EndDialog(IDC_ABOUT_CLOSE);
        return true;
    }
    return CDialog::OnCommand(id, notifyCode, control);
}
