#pragma once
// Starting other programs: as the installer itself (elevated), with the token
// of the desktop shell's process, or through the desktop shell (un-elevated);
// the installed application named by "AppExe"; and whether a program runs.
// No shared state: callable from the controller and the user-interface thread.
#include <windows.h>

#include <string>

#include "framework/ScopedHandles.h"

// The first token of a command line as the platform splits it; 0xA0010002
// when it is empty.
HRESULT GetApplicationName(const std::wstring& commandLine, std::wstring& name);
// A process started as the installer (breaking away from any job), or an
// empty owner with the last error set. A bare program name ("MsiExec.exe /X..."
// from an uninstall string) is taken from the system folder only, never from
// the current folder or the folder of this program.
ScopedHandle StartProcess(const std::wstring& commandLine);
HRESULT LaunchWithShellToken(const std::wstring& commandLine);
HRESULT ShellExecuteAsInvoker(const std::wstring& file, const std::wstring& arguments, const std::wstring& directory);
// mainWindow: hidden when bringToFront is set (may be null).
// The installed application as the build configuration names it: "AppExe"
// (empty: none) and "LaunchAs" being "AsInvoker".
struct InstalledApp {
    std::wstring appExe;
    bool launchAsInvoker = false;
};
HRESULT LaunchInstalledApp(const InstalledApp& app, bool bringToFront, const std::wstring& extraArguments,
                           HWND mainWindow = nullptr);
bool IsProcessRunning(const std::wstring& imageFileName);
bool IsAppRunning(const std::wstring& appExe);
