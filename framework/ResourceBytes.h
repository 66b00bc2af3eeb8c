#pragma once
// Raw resources of a module (the resource module unless given): read-only
// bytes that stay valid while the module is loaded.
#include <windows.h>

// The resource's bytes, or null when it is missing or cannot be loaded.
const void* LockResourceBytes(LPCWSTR name, LPCWSTR type, HMODULE module = nullptr);
// Its size in bytes, or 0 when it is missing.
DWORD GetResourceByteCount(LPCWSTR name, LPCWSTR type, HMODULE module = nullptr);
