#pragma once
// CTrayIcon: the main window's notification-area icon with its balloon.
// Prepared at the window's initialisation, added on demand, removed on
// Delete, when the object goes, and before an ExitProgram, so the process
// never leaves a dead icon behind. User-interface thread only.
#include <windows.h>
#include <shellapi.h>

#include <string>

#include "payload/WizardMessages.h"

class CTrayIcon {
public:
    static const UINT kIconId = 4096;
    static const UINT kCallbackMessage = WM_MAIN_TRAY_NOTIFY;

    CTrayIcon() = default;
    ~CTrayIcon();
    CTrayIcon(const CTrayIcon&) = delete;
    CTrayIcon& operator=(const CTrayIcon&) = delete;

    // Fills the record; texts longer than their fields (tip 127, balloon
    // title 63, balloon text 255 characters) are cut.
    void Prepare(HWND window, HICON icon, const std::wstring& tip, const std::wstring& balloonTitle,
                 const std::wstring& balloonText);
    // Shell_NotifyIcon add / delete; false when the shell refused.
    bool Add();
    bool Delete();
    bool IsAdded() const { return m_bAdded; }
    const NOTIFYICONDATAW& GetData() const { return m_data; }

    // The record size for a shell of this version (DllGetVersion of shell32).
    static DWORD RecordSizeForShell(DWORD major, DWORD build);

private:
    static void RemoveAllAdded();

    NOTIFYICONDATAW m_data = {};
    bool m_bAdded = false;
};
