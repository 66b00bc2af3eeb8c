#include "ui/RichEditStream.h"

#include <richedit.h>

#include <cstring>

namespace {
struct MemoryStream {
    const BYTE* data;
    size_t size;
    size_t offset;
};

DWORD CALLBACK ReadMemoryStream(DWORD_PTR cookie, LPBYTE buffer, LONG wanted, LONG* given) {
    auto* stream = reinterpret_cast<MemoryStream*>(cookie);
    size_t left = stream->size - stream->offset;
    size_t count = wanted > 0 && static_cast<size_t>(wanted) < left ? static_cast<size_t>(wanted) : left;
    if (wanted <= 0) count = 0;
    std::memcpy(buffer, stream->data + stream->offset, count);
    stream->offset += count;
    *given = static_cast<LONG>(count);
    return 0;
}
}  // namespace

bool StreamIntoRichEdit(HWND richEdit, const void* data, size_t size, UINT format) {
    if (!richEdit || !data) return false;
    MemoryStream stream = {static_cast<const BYTE*>(data), size, 0};
    EDITSTREAM editStream = {};
    editStream.dwCookie = reinterpret_cast<DWORD_PTR>(&stream);
    editStream.pfnCallback = ReadMemoryStream;
    SendMessageW(richEdit, EM_STREAMIN, format, reinterpret_cast<LPARAM>(&editStream));
    return editStream.dwError == 0;
}
