#pragma once
// Streams bytes held in memory into a rich edit control. User-interface thread.
#include <windows.h>

#include <cstddef>

// EM_STREAMIN with format (SF_RTF or SF_TEXT) from data; the stream hands out
// the bytes in the chunks the control asks for. True when the control took
// the stream without error.
bool StreamIntoRichEdit(HWND richEdit, const void* data, size_t size, UINT format);
