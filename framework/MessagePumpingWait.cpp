#include "framework/MessagePumpingWait.h"

namespace {
const DWORD kDoneCheckMs = 10;

bool NeverDone() { return false; }
}  // namespace

void WaitPumpingMessages(DWORD milliseconds) { WaitPumpingMessagesUntil(milliseconds, NeverDone); }

bool WaitPumpingMessagesUntil(DWORD milliseconds, bool (*done)()) {
    const ULONGLONG deadline = GetTickCount64() + milliseconds;
    const bool checks = done != NeverDone;
    for (;;) {
        if (done()) return true;
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                PostQuitMessage(static_cast<int>(message.wParam));
                return false;
            }
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) return done();
        DWORD slice = static_cast<DWORD>(deadline - now);
        if (checks && slice > kDoneCheckMs) slice = kDoneCheckMs;
        MsgWaitForMultipleObjectsEx(0, nullptr, slice, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
}
