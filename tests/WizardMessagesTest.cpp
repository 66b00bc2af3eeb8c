// Messages that must reach their receiver whatever loop runs: the restart
// report during a box the platform shows, and Enter on the progress page,
// which must not read as one of the page's own messages.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <objidl.h>
#include <gdiplus.h>

#include <memory>

#include "app/Program.h"
#include "engine/RunState.h"
#include "framework/Dialog.h"
#include "framework/Exceptions.h"
#include "framework/PostedError.h"
#include "framework/PostedText.h"
#include "framework/RuntimeClass.h"
#include "payload/WizardMessages.h"
#include "resources/resource.h"
#include "ui/PageHost.h"
#include "ui/ProgressPage.h"
#include "ui/WizardApplication.h"

namespace {
const wchar_t kBoxCaption[] = L"Wrenstall report test box";

// Waits (bounded) for the platform box of this process, then posts the
// restart report and, behind it in the same queue, the box's OK.
DWORD WINAPI ReportDuringTheBox(void*) {
    HWND box = nullptr;
    for (int i = 0; i < 1000 && !box; ++i) {
        box = FindWindowW(L"#32770", kBoxCaption);
        if (!box) Sleep(10);
    }
    if (!box) return 1;
    if (!PostToApplication(WM_APP_REBOOT_REQUIRED, 0, 0)) return 2;
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    return 0;
}

TEST(ApplicationReports, TheRestartReportReachesTheApplicationDuringAPlatformBox) {
    CProgram program;  // built on this thread, which is therefore the main thread
    ASSERT_TRUE(program.CreateReportWindow());
    HANDLE helper = CreateThread(nullptr, 0, ReportDuringTheBox, nullptr, 0, nullptr);
    ASSERT_NE(helper, nullptr);
    // The platform's own modal loop: it knows nothing of the application and
    // drops thread messages; the report window's message it dispatches.
    MessageBoxW(nullptr, L"A box whose loop is not ours", kBoxCaption, MB_OK);
    ASSERT_EQ(WaitForSingleObject(helper, 30000), WAIT_OBJECT_0);
    DWORD helperResult = 99;
    GetExitCodeThread(helper, &helperResult);
    CloseHandle(helper);
    ASSERT_EQ(helperResult, 0u) << "the box was not found, or the report could not be posted";
    EXPECT_EQ(program.m_runFlags[L"RebootRequired"], 1);
}

class CountingHost : public IPageHost {
public:
    int ConfirmCancel() override {
        ++m_nCalls;
        return IDNO;
    }
    void ShowFinishedPage() override { ++m_nCalls; }
    void CancelRun() override { ++m_nCalls; }
    int m_nCalls = 0;
};

// An application of the program's kind without a controller; the errors
// that escape the page's handlers are counted.
class CountingProgram : public CProgram {
public:
    LRESULT ProcessWndProcException(CException* e, const MSG*) override {
        ++m_nErrors;
        if (e) e->Delete();
        return 0;
    }
    int m_nErrors = 0;
};

TEST(ProgressPageKeys, EnterChangesNothingOnTheProgressPage) {
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR gdiplusToken = 0;
    Gdiplus::GdiplusStartup(&gdiplusToken, &input, nullptr);
    LoadLibraryW(L"RICHED20.DLL");
    {
        CountingProgram program;
        program.m_strAppName = L"Kelvora";
        CDialog frame{IDD_MAIN_WINDOW};
        ASSERT_TRUE(frame.CreateModeless(nullptr));
        CountingHost host;
        CObject* object = nullptr;
        ASSERT_EQ(CreateObjectByName(L"CProgressPage", RUNTIME_CLASS(CSubDialog), object), CreateByNameResult::Created);
        std::unique_ptr<CSubDialog> page(static_cast<CSubDialog*>(object));
        ASSERT_TRUE(page->Create(frame.GetSafeHwnd(), &host));
        HWND window = page->GetSafeHwnd();
        // Without a controller the page reported a failed result to itself;
        // that report (and its error) is not what this test is about.
        FreeQueuedPayloads(window, {{WM_PAGE_RESULT, PostedPayload::Error}, {WM_PAGE_TRAY_CHECK, PostedPayload::None}});

        ASSERT_TRUE(PostTextMessage(window, WM_PAGE_STEP_PROGRESS, 40, L"Step text"));
        ASSERT_TRUE(PostTextMessage(window, WM_PAGE_NEXT_TASK, 25, L"Task text"));
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        HWND stepBar = GetDlgItem(window, IDC_STEP_BAR);
        HWND taskBar = GetDlgItem(window, IDC_TASK_BAR);
        ASSERT_EQ(SendMessageW(stepBar, PBM_GETPOS, 0, 0), 40);
        ASSERT_EQ(SendMessageW(taskBar, PBM_GETPOS, 0, 0), 25);

        // Enter as the keyboard delivers it, through the page's dialog
        // manager, and the dialog manager's own messages to the page.
        SetFocus(window);
        MSG enter = {GetFocus() ? GetFocus() : window, WM_KEYDOWN, VK_RETURN, 0x001C0001, 0, {}};
        IsDialogMessageW(window, &enter);
        SendMessageW(window, DM_GETDEFID, 0, 0);
        SendMessageW(window, DM_SETDEFID, IDCANCEL, 0);
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);

        EXPECT_TRUE(IsWindow(window));
        EXPECT_EQ(SendMessageW(stepBar, PBM_GETPOS, 0, 0), 40);
        EXPECT_EQ(SendMessageW(taskBar, PBM_GETPOS, 0, 0), 25);
        wchar_t text[64] = {};
        GetDlgItemTextW(window, IDC_STEP_TEXT, text, ARRAYSIZE(text));
        EXPECT_STREQ(text, L"Step text");
        GetDlgItemTextW(window, IDC_TASK_TEXT, text, ARRAYSIZE(text));
        EXPECT_STREQ(text, L"Task text");
        EXPECT_EQ(program.m_nErrors, 0) << "Enter raised an error on the page";
        EXPECT_EQ(host.m_nCalls, 0) << "Enter asked to cancel or left the page";
        EXPECT_EQ(program.m_runState.Phase(), RunPhase::Running);
        page->DestroyWindow();
        frame.DestroyWindow();
    }
    Gdiplus::GdiplusShutdown(gdiplusToken);
}
}  // namespace
