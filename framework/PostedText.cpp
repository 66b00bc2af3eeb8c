#include "framework/PostedText.h"

#include <memory>
#include <new>

LPARAM MakePostedText(const std::wstring& text) {
    auto* copy = new (std::nothrow) std::wstring;
    if (!copy) return 0;
    try {
        *copy = text;
    } catch (...) {
        delete copy;
        return 0;
    }
    return reinterpret_cast<LPARAM>(copy);
}

std::wstring TakePostedText(LPARAM text) {
    std::unique_ptr<std::wstring> owned(reinterpret_cast<std::wstring*>(text));
    return owned ? *owned : std::wstring();
}

BOOL PostTextMessage(HWND window, UINT message, WPARAM wParam, const std::wstring& text) {
    // A null window would post to the calling thread's own queue.
    if (!window) return FALSE;
    LPARAM posted = MakePostedText(text);
    if (PostMessageW(window, message, wParam, posted)) return TRUE;
    TakePostedText(posted);
    return FALSE;
}
