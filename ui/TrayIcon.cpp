#include "ui/TrayIcon.h"

#include <shlwapi.h>

#include <algorithm>
#include <vector>

#include "framework/OptionalFunctions.h"
#include "framework/ProgramExit.h"

namespace {
// The icons added and not yet removed, for RemoveAllAdded.
std::vector<CTrayIcon*>& AddedIcons() {
    static std::vector<CTrayIcon*> icons;
    return icons;
}

DWORD CurrentRecordSize() {
    DLLVERSIONINFO version = {sizeof(version), 0, 0, 0, 0};
    ShellDllGetVersionFunction getVersion = FindShellDllGetVersion();
    if (!getVersion || FAILED(getVersion(&version))) return CTrayIcon::RecordSizeForShell(0, 0);
    return CTrayIcon::RecordSizeForShell(version.dwMajorVersion, version.dwBuildNumber);
}

template <size_t N>
void CopyCut(WCHAR (&field)[N], const std::wstring& text) {
    lstrcpynW(field, text.c_str(), static_cast<int>(N));
}
}  // namespace

CTrayIcon::~CTrayIcon() { Delete(); }

DWORD CTrayIcon::RecordSizeForShell(DWORD major, DWORD build) {
    if (major >= 6 && build >= 6) return 956;
    if (major >= 6) return 952;
    if (major >= 5) return 936;
    return 152;
}

void CTrayIcon::Prepare(HWND window, HICON icon, const std::wstring& tip, const std::wstring& balloonTitle,
                        const std::wstring& balloonText) {
    m_data = NOTIFYICONDATAW{};
    m_data.cbSize = std::min<DWORD>(CurrentRecordSize(), sizeof(m_data));
    m_data.hWnd = window;
    m_data.uID = kIconId;
    m_data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_INFO;
    m_data.uCallbackMessage = kCallbackMessage;
    m_data.hIcon = icon;
    CopyCut(m_data.szTip, tip);
    CopyCut(m_data.szInfo, balloonText);
    m_data.uTimeout = 5000;
    CopyCut(m_data.szInfoTitle, balloonTitle);
    m_data.dwInfoFlags = NIIF_INFO;
}

bool CTrayIcon::Add() {
    if (!m_data.hWnd) return false;
    // Registered before the icon exists, so no exit path can miss it.
    AddExitCleanup(&CTrayIcon::RemoveAllAdded);
    auto& added = AddedIcons();
    if (std::find(added.begin(), added.end(), this) == added.end()) added.push_back(this);
    m_bAdded = Shell_NotifyIconW(NIM_ADD, &m_data) != FALSE;
    if (!m_bAdded) added.erase(std::remove(added.begin(), added.end(), this), added.end());
    return m_bAdded;
}

bool CTrayIcon::Delete() {
    auto& added = AddedIcons();
    added.erase(std::remove(added.begin(), added.end(), this), added.end());
    if (!m_bAdded) return false;
    m_bAdded = false;
    NOTIFYICONDATAW removal = {};
    removal.cbSize = m_data.cbSize;
    removal.hWnd = m_data.hWnd;
    removal.uID = m_data.uID;
    return Shell_NotifyIconW(NIM_DELETE, &removal) != FALSE;
}

void CTrayIcon::RemoveAllAdded() {
    std::vector<CTrayIcon*> icons = AddedIcons();
    for (CTrayIcon* icon : icons) icon->Delete();
}
