#include "ui/ReadingPaneKeys.h"

namespace {
bool IsDialogKey(WPARAM key) { return key == VK_TAB || key == VK_RETURN || key == VK_ESCAPE; }
}  // namespace

LRESULT CReadingPaneKeys::AdjustDialogCode(LRESULT controlCode, WPARAM key, const MSG* keyMessage) {
    LRESULT code = controlCode & ~static_cast<LRESULT>(DLGC_HASSETSEL);
    if (keyMessage && (keyMessage->message == WM_KEYDOWN || keyMessage->message == WM_CHAR) && IsDialogKey(key)) {
        code &= ~static_cast<LRESULT>(DLGC_WANTMESSAGE | DLGC_WANTALLKEYS | DLGC_WANTTAB);
    }
    return code;
}

LRESULT CReadingPaneKeys::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = DefaultWindowProc(message, wParam, lParam);
    if (message == WM_GETDLGCODE) result = AdjustDialogCode(result, wParam, reinterpret_cast<const MSG*>(lParam));
    return result;
}
