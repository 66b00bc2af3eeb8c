#pragma once
// Error objects that travel in a posted message's lParam (0: no error). The
// sender hands the error over with PostErrorMessage; the receiver owns it
// from TakePostedError on. An error whose post fails, or whose receiver goes
// away with it still queued (FreeQueuedPayloads), is deleted, never lost.
#include <windows.h>

#include <initializer_list>

class CException;

// Posts message with the error (may be null). A null window fails (PostMessage
// would post to the calling thread instead); on failure the error is deleted.
BOOL PostErrorMessage(HWND window, UINT message, CException* error);
// The receiver's side: the error, now owned by the caller (null for 0).
CException* TakePostedError(LPARAM error);

// How a queued message's lParam is owned.
enum class PostedPayload { None, Text, Error };
struct QueuedPayload {
    UINT message;
    PostedPayload kind;
};
// Removes the window's queued messages of the listed kinds and frees their
// payloads; for a receiver that goes away. Call on the window's thread.
void FreeQueuedPayloads(HWND window, std::initializer_list<QueuedPayload> messages) noexcept;
