#pragma once
// CAboutDialog: the modal box of the main window's system-menu item (template
// 106): product and version, copyright, the installer framework's version and
// the program's link time. User-interface thread only.
#include <windows.h>

#include <ctime>
#include <string>

#include "framework/Dialog.h"

class CAboutDialog : public CDialog {
    DECLARE_DYNAMIC(CAboutDialog)
public:
    CAboutDialog();

    // The link time stamp in the user's local time: the long date and the
    // time as the platform writes them for locale (at most 127 characters);
    // empty when the conversion or the formatting fails.
    static std::wstring FormatBuildTime(std::time_t linkTime, LCID locale);
    // The locale the box writes dates in: the user's, when it is of the
    // language of the texts shown, else that language's.
    static LCID DisplayLocale();
    // The box's title made from the system menu's item (accelerator mark and
    // trailing ellipsis removed).
    static std::wstring TitleFromMenuItem(const std::wstring& item);
    // The time field of the executable header of module; 0 when unreadable.
    static std::time_t LinkTimeOf(HMODULE module);

protected:
    // A resource error when the program's version resource cannot be read.
    BOOL OnInitDialog() override;
    bool OnCommand(UINT id, UINT notifyCode, HWND control) override;

private:
    // Title, icon and position: centred on the wizard.
    void DressFrame();
    // The box as wide as its longest line needs.
    void WidenToLongestLine();
    void SetFormattedText(UINT id, const std::wstring& insert1, const std::wstring& insert2);
};
