#include "framework/DiskSpace.h"

bool HasRoomForNextInterval(const std::wstring& path) {
    const std::wstring folder = path.substr(0, path.find_last_of(L"\\/") + 1);
    ULARGE_INTEGER available = {};
    if (!GetDiskFreeSpaceExW(folder.empty() ? nullptr : folder.c_str(), &available, nullptr, nullptr)) return true;
    return available.QuadPart >= kDiskSpaceReserveBytes + kDiskSpaceCheckInterval;
}
