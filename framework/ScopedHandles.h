#pragma once
// Non-copyable owners for platform handles; each releases its handle once.
#include <windows.h>

#include <utility>

template <typename Handle, typename Traits>
class ScopedResource {
public:
    ScopedResource() = default;
    explicit ScopedResource(Handle handle) : m_handle(handle) {}
    ~ScopedResource() { Reset(); }
    ScopedResource(const ScopedResource&) = delete;
    ScopedResource& operator=(const ScopedResource&) = delete;
    ScopedResource(ScopedResource&& other) noexcept : m_handle(other.Release()) {}
    ScopedResource& operator=(ScopedResource&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }

    Handle Get() const { return m_handle; }
    bool IsValid() const { return Traits::IsValid(m_handle); }
    explicit operator bool() const { return IsValid(); }
    // For APIs that return the handle through an out parameter.
    Handle* Receive() {
        Reset();
        return &m_handle;
    }
    Handle Release() { return std::exchange(m_handle, Traits::Invalid()); }
    void Reset(Handle handle = Traits::Invalid()) {
        if (Traits::IsValid(m_handle)) Traits::Close(m_handle);
        m_handle = handle;
    }

private:
    Handle m_handle = Traits::Invalid();
};

struct KernelHandleTraits {
    static HANDLE Invalid() { return nullptr; }
    static bool IsValid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { CloseHandle(h); }
};

struct RegistryKeyTraits {
    static HKEY Invalid() { return nullptr; }
    static bool IsValid(HKEY h) { return h != nullptr; }
    static void Close(HKEY h) { RegCloseKey(h); }
};

struct MappedViewTraits {
    static const void* Invalid() { return nullptr; }
    static bool IsValid(const void* p) { return p != nullptr; }
    static void Close(const void* p) { UnmapViewOfFile(p); }
};

struct LocalMemoryTraits {
    static HLOCAL Invalid() { return nullptr; }
    static bool IsValid(HLOCAL h) { return h != nullptr; }
    static void Close(HLOCAL h) { LocalFree(h); }
};

struct ModuleTraits {
    static HMODULE Invalid() { return nullptr; }
    static bool IsValid(HMODULE h) { return h != nullptr; }
    static void Close(HMODULE h) { FreeLibrary(h); }
};

using ScopedHandle = ScopedResource<HANDLE, KernelHandleTraits>;
using ScopedRegKey = ScopedResource<HKEY, RegistryKeyTraits>;
using ScopedMappedView = ScopedResource<const void*, MappedViewTraits>;
using ScopedLocalMemory = ScopedResource<HLOCAL, LocalMemoryTraits>;
using ScopedModule = ScopedResource<HMODULE, ModuleTraits>;

