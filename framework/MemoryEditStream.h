#pragma once
// An EDITSTREAM that hands out bytes from memory to the rich edit engine in
// chunks no larger than the engine asks for (EM_STREAMIN). The bytes stay the
// caller's and must outlive the stream. Non-copyable: the stream's cookie
// points at this object. Used on the thread that sends EM_STREAMIN.
#include <windows.h>
#include <richedit.h>

#include <cstddef>

class CMemoryEditStream {
public:
    CMemoryEditStream(const void* data, std::size_t size);
    CMemoryEditStream(const CMemoryEditStream&) = delete;
    CMemoryEditStream& operator=(const CMemoryEditStream&) = delete;

    // For EM_STREAMIN's lParam; valid while this object lives.
    EDITSTREAM* Get() { return &m_stream; }
    // The error the engine stored in the stream (0 when none).
    DWORD GetError() const { return m_stream.dwError; }
    std::size_t GetBytesRead() const { return m_offset; }

private:
    static DWORD CALLBACK ReadChunk(DWORD_PTR cookie, LPBYTE buffer, LONG wanted, LONG* given);

    const BYTE* m_data;
    std::size_t m_size;
    std::size_t m_offset = 0;
    EDITSTREAM m_stream = {};
};
