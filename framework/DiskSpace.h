#pragma once
// The room a working file may take on its volume: whatever is written there
// (a download, a decompressed payload) stops while the volume still keeps
// kDiskSpaceReserveBytes, so that the installer that follows, and the
// system, can still work. Free space is looked at again every
// kDiskSpaceCheckInterval bytes; any thread.
#include <windows.h>

#include <string>

const ULONGLONG kDiskSpaceReserveBytes = 256ull * 1024 * 1024;
const ULONGLONG kDiskSpaceCheckInterval = 16ull * 1024 * 1024;

// False when the volume of folder (a folder path, or a file path whose
// folder is meant) has less than the reserve plus the next interval free.
// True when the free space cannot be learned: the write itself then fails.
bool HasRoomForNextInterval(const std::wstring& path);
