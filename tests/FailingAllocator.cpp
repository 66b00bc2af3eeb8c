#include "FailingAllocator.h"

#include <cstdlib>
#include <new>

namespace {
bool g_armed = false;
size_t g_minBytes = 0;
size_t g_allowed = 0;
size_t g_refused = 0;

void* Allocate(size_t bytes) {
    if (g_armed && bytes >= g_minBytes) {
        if (g_allowed > 0) {
            --g_allowed;
        } else {
            ++g_refused;
            return nullptr;
        }
    }
    return std::malloc(bytes ? bytes : 1);
}

void* AllocateOrThrow(size_t bytes) {
    void* memory = Allocate(bytes);
    if (!memory) throw std::bad_alloc();
    return memory;
}
}  // namespace

FailingAllocations::FailingAllocations(size_t minBytes, size_t afterCount) {
    g_minBytes = minBytes;
    g_allowed = afterCount;
    g_refused = 0;
    g_armed = true;
}

FailingAllocations::~FailingAllocations() { g_armed = false; }

size_t FailingAllocations::Refused() { return g_refused; }

void* operator new(size_t bytes) { return AllocateOrThrow(bytes); }
void* operator new[](size_t bytes) { return AllocateOrThrow(bytes); }
void* operator new(size_t bytes, const std::nothrow_t&) noexcept { return Allocate(bytes); }
void* operator new[](size_t bytes, const std::nothrow_t&) noexcept { return Allocate(bytes); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, size_t) noexcept { std::free(memory); }
void operator delete(void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
void operator delete[](void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
