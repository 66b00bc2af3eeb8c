#include "framework/HandlerExceptions.h"

#include <new>

#include "framework/DiagnosticOutput.h"
#include "framework/WinApp.h"

namespace {
CException* StaticMemoryException() noexcept {
    try {
        ThrowMemoryException();
    } catch (CException* e) {
        return e;
    }
}
}  // namespace

CException* TranslateCurrentException() noexcept {
    try {
        throw;
    } catch (CException* e) {
        return e;
    } catch (const std::bad_alloc&) {
        return StaticMemoryException();
    } catch (...) {
        CException* e = new (std::nothrow) COleException(E_UNEXPECTED);
        return e ? e : StaticMemoryException();
    }
}

LRESULT HandleWndProcException(CException* e, const MSG* message) noexcept {
    LRESULT result = 0;
    CException* escaped = CatchHandlerException([&] {
        if (CWinApp* app = GetApplication()) {
            result = app->ProcessWndProcException(e, message);
        } else if (e) {
            e->ReportError(MB_OK | MB_ICONERROR, IDP_INTERNAL_FAILURE);
            e->Delete();
        }
    });
    if (escaped) {
        // The handler of last resort failed itself: nothing is left to report to.
        WriteDiagnostic(L"An error escaped the window-procedure exception handler\n");
        escaped->Delete();
    }
    return result;
}
