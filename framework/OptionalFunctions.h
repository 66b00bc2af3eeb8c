#pragma once
// System functions that older Windows versions (or Wine) may lack, looked up
// in one place by module and name. Each returns null when it is missing; the
// caller falls back as its own contract says.
#include <windows.h>
#include <shlwapi.h>  // DLLGETVERSIONPROC

using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
using CreateProcessWithTokenFunction = BOOL(WINAPI*)(HANDLE, DWORD, LPCWSTR, LPWSTR, DWORD, LPVOID, LPCWSTR,
                                                     LPSTARTUPINFOW, LPPROCESS_INFORMATION);
using IsWow64ProcessFunction = BOOL(WINAPI*)(HANDLE, PBOOL);
using RtlGetVersionFunction = LONG(WINAPI*)(PRTL_OSVERSIONINFOW);
using ShellDllGetVersionFunction = DLLGETVERSIONPROC;

SetDefaultDllDirectoriesFunction FindSetDefaultDllDirectories();
CreateProcessWithTokenFunction FindCreateProcessWithToken();
IsWow64ProcessFunction FindIsWow64Process();
RtlGetVersionFunction FindRtlGetVersion();
// shell32's DllGetVersion (the shell's version decides the tray record's size).
ShellDllGetVersionFunction FindShellDllGetVersion();

// True when this 32-bit process runs on 64-bit Windows.
bool IsWow64();
