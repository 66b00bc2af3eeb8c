#pragma once
// A pause that keeps the calling thread's windows alive: the thread's
// messages (posted, sent from other threads, input, paint) are dispatched
// while it waits. Callers must be ready for their own window procedures to
// run during the pause.
#include <windows.h>

// Returns after milliseconds, or earlier when WM_QUIT arrives; the quit
// message is then posted again so that the outer message loop ends too.
void WaitPumpingMessages(DWORD milliseconds);

// As WaitPumpingMessages, and returns as soon as done() answers true (asked
// at least every 10 ms); true when it did.
bool WaitPumpingMessagesUntil(DWORD milliseconds, bool (*done)());
