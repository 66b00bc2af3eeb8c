#pragma once
// Starting a program, or opening a URL, as the desktop's user instead of with
// the installer's elevation: first through the desktop shell, then with the
// token of the shell's process, and only when neither can (no desktop shell,
// older system) as the installer itself, breaking away from any job -- the
// same fallback as the installed application's un-elevated launch.
// No shared state. The desktop-shell route needs COM on the calling thread;
// without it that route fails and the next one is tried.
#include <windows.h>

#include <string>

enum class LaunchRoute { None, DesktopShell, ShellToken, Installer };

// commandLine: the program's path (quoted when it has spaces) and its
// arguments. showCommand: the window mode asked of the elevated fallback
// (the shell starts programs with SW_SHOWNORMAL). route (optional) receives
// the route that started the program.
HRESULT StartAsDesktopUser(const std::wstring& commandLine, int showCommand, LaunchRoute* route = nullptr);

// Hands target (a URL or document) to the desktop shell; when it cannot,
// to ShellExecuteW in this process. A ShellExecuteW result of 32 or less is
// mapped like a last error, and 0 (out of resources) becomes E_OUTOFMEMORY.
HRESULT OpenAsDesktopUser(const std::wstring& target, int showCommand, LaunchRoute* route = nullptr);

// Splits a command line at the end of its first token, as CommandLineToArgvW
// reads it: program is the token without quotes, arguments the rest without
// the blanks after the token.
void SplitCommandLine(const std::wstring& commandLine, std::wstring& program, std::wstring& arguments);
