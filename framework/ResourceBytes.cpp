#include "framework/ResourceBytes.h"

#include "framework/ResourceStrings.h"

const void* LockResourceBytes(LPCWSTR name, LPCWSTR type, HMODULE module) {
    if (!module) module = GetResourceModule();
    HRSRC resource = FindResourceW(module, name, type);
    if (!resource) return nullptr;
    HGLOBAL loaded = LoadResource(module, resource);
    return loaded ? LockResource(loaded) : nullptr;
}

DWORD GetResourceByteCount(LPCWSTR name, LPCWSTR type, HMODULE module) {
    if (!module) module = GetResourceModule();
    HRSRC resource = FindResourceW(module, name, type);
    return resource ? SizeofResource(module, resource) : 0;
}
