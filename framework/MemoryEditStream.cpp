#include "framework/MemoryEditStream.h"

#include <cstring>

CMemoryEditStream::CMemoryEditStream(const void* data, std::size_t size)
    : m_data(static_cast<const BYTE*>(data)), m_size(data != nullptr ? size : 0) {
    m_stream.dwCookie = reinterpret_cast<DWORD_PTR>(this);
    m_stream.pfnCallback = &CMemoryEditStream::ReadChunk;
}

DWORD CALLBACK CMemoryEditStream::ReadChunk(DWORD_PTR cookie, LPBYTE buffer, LONG wanted, LONG* given) {
    auto* self = reinterpret_cast<CMemoryEditStream*>(cookie);
    std::size_t count = self->m_size - self->m_offset;
    if (wanted <= 0 || buffer == nullptr)
        count = 0;
    else if (count > static_cast<std::size_t>(wanted))
        count = static_cast<std::size_t>(wanted);
    if (count > 0) std::memcpy(buffer, self->m_data + self->m_offset, count);
    self->m_offset += count;
    if (given != nullptr) *given = static_cast<LONG>(count);
    return 0;
}
