#pragma once
// System functions that older Windows versions (or Wine) may lack, looked up
// in one place by module and name. Each returns null when it is missing; the
// caller falls back as its own contract says.
#include <windows.h>

using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
using CreateProcessWithTokenFunction = BOOL(WINAPI*)(HANDLE, DWORD, LPCWSTR, LPWSTR, DWORD, LPVOID, LPCWSTR,
                                                     LPSTARTUPINFOW, LPPROCESS_INFORMATION);
using IsWow64ProcessFunction = BOOL(WINAPI*)(HANDLE, PBOOL);
using RtlGetVersionFunction = LONG(WINAPI*)(PRTL_OSVERSIONINFOW);

SetDefaultDllDirectoriesFunction FindSetDefaultDllDirectories();
CreateProcessWithTokenFunction FindCreateProcessWithToken();
IsWow64ProcessFunction FindIsWow64Process();
RtlGetVersionFunction FindRtlGetVersion();

// True when this 32-bit process runs on 64-bit Windows.
bool IsWow64();
