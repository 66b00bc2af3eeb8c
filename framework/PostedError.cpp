#include "framework/PostedError.h"

#include "framework/Exceptions.h"
#include "framework/PostedText.h"

BOOL PostErrorMessage(HWND window, UINT message, CException* error) {
    if (window && PostMessageW(window, message, 0, reinterpret_cast<LPARAM>(error))) return TRUE;
    if (error) error->Delete();
    return FALSE;
}

CException* TakePostedError(LPARAM error) { return reinterpret_cast<CException*>(error); }

void FreeQueuedPayloads(HWND window, std::initializer_list<QueuedPayload> messages) noexcept {
    if (!window) return;
    for (const QueuedPayload& queued : messages) {
        MSG message;
        while (PeekMessageW(&message, window, queued.message, queued.message, PM_REMOVE)) {
            if (!message.lParam) continue;
            if (queued.kind == PostedPayload::Text) {
                try {
                    TakePostedText(message.lParam);
                } catch (...) {
                }
            } else if (queued.kind == PostedPayload::Error) {
                TakePostedError(message.lParam)->Delete();
            }
        }
    }
}
