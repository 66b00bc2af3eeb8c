#pragma once
// The one road for errors that escape a window-message handler: every window
// procedure of the program runs its handler through CatchHandlerException and
// hands what escaped to HandleWndProcException, which gives it to the
// application object's ProcessWndProcException. Main thread only.
#include <windows.h>

#include "framework/Exceptions.h"

// The exception now being handled, as a framework exception the caller owns:
// std::bad_alloc becomes the out-of-memory error, any other C++ exception a
// COleException carrying E_UNEXPECTED. Call only inside a catch block.
CException* TranslateCurrentException() noexcept;

// Runs handler(); returns what escaped it (null when nothing did). Never throws.
template <typename Handler>
CException* CatchHandlerException(Handler&& handler) noexcept {
    try {
        handler();
        return nullptr;
    } catch (CException* e) {
        return e;
    } catch (...) {
        return TranslateCurrentException();
    }
}

// Gives e (owned; may be null) to the application object's
// ProcessWndProcException for the message being handled and returns its
// result. Without an application object the error is reported by the
// exception itself and deleted. Never throws.
LRESULT HandleWndProcException(CException* e, const MSG* message) noexcept;
