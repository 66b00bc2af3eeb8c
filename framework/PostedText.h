#pragma once
// Texts that travel in a posted message's lParam: the sender allocates, the
// receiver takes ownership with TakePostedText. 0 stands for no text.
#include <windows.h>

#include <string>

LPARAM MakePostedText(const std::wstring& text);
// The text, freed; empty for 0.
std::wstring TakePostedText(LPARAM text);
// Posts message with a text; the text is freed when the post fails. A null
// window fails (PostMessage would post to the calling thread instead).
BOOL PostTextMessage(HWND window, UINT message, WPARAM wParam, const std::wstring& text);
