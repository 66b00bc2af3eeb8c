#include "RecordingPage.h"

#include "framework/ExceptionCodes.h"
#include "framework/Exceptions.h"
#include "framework/PostedText.h"

namespace {
const wchar_t kClassName[] = L"WrenstallRecordingPage";
}

RecordingPage::RecordingPage() {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = WindowProcedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kClassName;
    RegisterClassW(&windowClass);  // fails harmlessly when already registered
    m_window = CreateWindowExW(0, kClassName, L"page", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                               GetModuleHandleW(nullptr), this);
    SetWindowLongPtrW(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

RecordingPage::~RecordingPage() {
    Messages();
    DestroyWindow(m_window);
}

LRESULT CALLBACK RecordingPage::WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* page = reinterpret_cast<RecordingPage*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (page && ((message >= kProgressPageMessageBase && message <= WM_PAGE_SHOW_CANCEL) || message == WM_MAIN_RESULT)) {
        PageMessage recorded = {message, static_cast<int>(wParam), L"", false, S_OK};
        if (message == WM_PAGE_RESULT || message == WM_MAIN_RESULT) {
            auto* error = reinterpret_cast<CException*>(lParam);
            recorded.result = error ? HResultFromException(error) : S_OK;
            if (error) error->Delete();
        } else if ((message == WM_PAGE_STEP_PROGRESS || message == WM_PAGE_NEXT_TASK ||
                    message == WM_PAGE_REMEMBER_TEMP_FILE) && lParam) {
            recorded.text = TakePostedText(lParam);
            recorded.hasText = true;
        }
        page->m_messages.push_back(recorded);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

const std::vector<PageMessage>& RecordingPage::Messages() {
    MSG message;
    while (PeekMessageW(&message, m_window, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    return m_messages;
}

std::vector<int> RecordingPage::StepPercents() {
    std::vector<int> percents;
    for (const PageMessage& m : Messages()) {
        if (m.message == WM_PAGE_STEP_PROGRESS && m.wParam >= 0) percents.push_back(m.wParam);
    }
    return percents;
}

bool RecordingPage::PumpUntilEnded(HANDLE thread, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < timeoutMs) {
        DWORD wait = MsgWaitForMultipleObjects(1, &thread, FALSE, 50, QS_ALLINPUT);
        Messages();
        if (wait == WAIT_OBJECT_0) {
            Sleep(50);
            Messages();
            return true;
        }
    }
    return false;
}

std::vector<PageMessage> RecordingPage::Of(UINT message) {
    std::vector<PageMessage> found;
    for (const PageMessage& m : Messages()) {
        if (m.message == message) found.push_back(m);
    }
    return found;
}
