#pragma once
// Byte counts and transfer rates for the progress texts, from the string
// table's printf patterns in the user's language.
#include <windows.h>

#include <string>

// 3009 "%0.1f MB" from 1 MiB up, 3008 "%0.1f KB" from 1 KiB, 3006 "1 byte", else 3007 "%0.0f bytes".
std::wstring FormatByteSize(ULONGLONG bytes);
// bytes over elapsedMs: 3014 for no time, 3010/3011 bytes/s, 3012 KB/s, 3013 MB/s.
std::wstring FormatByteRate(ULONGLONG bytes, DWORD elapsedMs);
