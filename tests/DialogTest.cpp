// The dialog base: errors of every kind escaping a handler reach the
// application object's ProcessWndProcException, modal runs end with their
// result, and dialog classes are created by name.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "framework/Dialog.h"
#include "framework/Exceptions.h"
#include "framework/WinApp.h"
#include "resources/resource.h"

namespace {
struct Reported {
    std::wstring className;
    HRESULT hr = S_OK;
    UINT message = 0;
};

class RecordingApplication : public CWinApp {
public:
    LRESULT ProcessWndProcException(CException* e, const MSG* message) override {
        Reported entry;
        entry.className = e ? e->GetRuntimeClass()->m_lpszClassName : L"(none)";
        if (auto* ole = dynamic_cast<COleException*>(e)) entry.hr = ole->m_sc;
        entry.message = message ? message->message : 0;
        m_reported.push_back(entry);
        if (e) e->Delete();
        return 0;
    }
    std::vector<Reported> m_reported;
};

enum : UINT {
    kThrowFrameworkError = 100,
    kThrowStandardError,
    kThrowInteger,
    kThrowBadAlloc,
    kThrowStaticResourceError,
};

class CThrowingDialog : public CDialog {
    DECLARE_DYNCREATE(CThrowingDialog)
public:
    CThrowingDialog() : CDialog(IDD_EMPTY_BOX) {}
    bool m_bEndAtInit = false;
    bool m_bThrowAtInit = false;

protected:
    BOOL OnInitDialog() override {
        if (m_bThrowAtInit) ThrowInvalidArgException();
        if (m_bEndAtInit) PostMessageW(m_hWnd, WM_COMMAND, IDRETRY, 0);
        return TRUE;
    }
    bool OnCommand(UINT id, UINT code, HWND control) override {
        switch (id) {
            case kThrowFrameworkError: ThrowOleException(E_FAIL);
            case kThrowStandardError: throw std::runtime_error("escaped");
            case kThrowInteger: throw 42;
            case kThrowBadAlloc: throw std::bad_alloc();
            case kThrowStaticResourceError: ThrowResourceException();
            case IDRETRY: EndDialog(IDRETRY); return true;
            default: return CDialog::OnCommand(id, code, control);
        }
    }
};
IMPLEMENT_DYNCREATE(CThrowingDialog, CDialog)

TEST(DialogDispatch, EveryEscapingErrorReachesTheApplication) {
    RecordingApplication app;
    CThrowingDialog dialog;
    ASSERT_TRUE(dialog.CreateModeless(nullptr));
    struct Case {
        UINT command;
        const wchar_t* className;
        HRESULT hr;
    } cases[] = {
        {kThrowFrameworkError, L"COleException", E_FAIL},
        {kThrowStandardError, L"COleException", E_UNEXPECTED},
        {kThrowInteger, L"COleException", E_UNEXPECTED},
        {kThrowBadAlloc, L"CMemoryException", S_OK},
        {kThrowStaticResourceError, L"CResourceException", S_OK},
    };
    for (const Case& c : cases) {
        app.m_reported.clear();
        SendMessageW(dialog.GetSafeHwnd(), WM_COMMAND, c.command, 0);
        ASSERT_EQ(app.m_reported.size(), 1u) << c.command;
        EXPECT_EQ(app.m_reported[0].className, c.className) << c.command;
        EXPECT_EQ(app.m_reported[0].hr, c.hr) << c.command;
        EXPECT_EQ(app.m_reported[0].message, static_cast<UINT>(WM_COMMAND));
    }
    // The window goes on working after each error.
    EXPECT_TRUE(IsWindow(dialog.GetSafeHwnd()));
    EXPECT_EQ(CDialog::FromHandle(dialog.GetSafeHwnd()), &dialog);
}

TEST(DialogDispatch, ModalRunEndsWithItsResult) {
    RecordingApplication app;
    CThrowingDialog dialog;
    dialog.m_bEndAtInit = true;
    EXPECT_EQ(dialog.DoModal(nullptr), IDRETRY);
    EXPECT_EQ(dialog.GetSafeHwnd(), nullptr);
    EXPECT_TRUE(app.m_reported.empty());
}

// Escape as a key press, early (queued before what the box shows appeared)
// or late (once it is shown); the run ends by itself after 1 s otherwise.
class CKeyTimingDialog : public CDialog {
public:
    explicit CKeyTimingDialog(bool early) : CDialog(IDD_EMPTY_BOX), m_bEarly(early) {}

protected:
    BOOL OnInitDialog() override {
        if (m_bEarly) {
            PostMessageW(m_hWnd, WM_KEYDOWN, VK_ESCAPE, 0);
            Sleep(50);
            IgnoreEarlierInput();  // what the box shows now appeared after the key, as a page does
        } else {
            SetTimer(m_hWnd, kLateKey, 100, nullptr);
        }
        SetTimer(m_hWnd, kGiveUp, 1000, nullptr);
        return TRUE;
    }
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
        if (message != WM_TIMER) return CDialog::OnMessage(message, wParam, lParam, result);
        KillTimer(m_hWnd, wParam);
        if (wParam == kLateKey) PostMessageW(m_hWnd, WM_KEYDOWN, VK_ESCAPE, 0);
        if (wParam == kGiveUp) EndDialog(IDRETRY);
        return true;
    }

private:
    static const UINT_PTR kLateKey = 1, kGiveUp = 2;
    bool m_bEarly;
};

// A key typed before a box appeared was aimed at what was there before: it
// never answers the box; one typed once the box shows does.
TEST(DialogDispatch, OnlyKeysFromAfterTheBoxAppearedAnswerIt) {
    RecordingApplication app;
    struct Case {
        bool early;
        INT_PTR result;
    } cases[] = {{true, IDRETRY}, {false, IDCANCEL}};
    for (const Case& c : cases) {
        CKeyTimingDialog dialog(c.early);
        EXPECT_EQ(dialog.DoModal(nullptr), c.result) << (c.early ? "early key" : "late key");
    }
}

TEST(DialogDispatch, ErrorInTheInitHandlerIsReported) {
    RecordingApplication app;
    CThrowingDialog dialog;
    dialog.m_bThrowAtInit = true;
    ASSERT_TRUE(dialog.CreateModeless(nullptr));
    ASSERT_EQ(app.m_reported.size(), 1u);
    EXPECT_EQ(app.m_reported[0].className, L"CInvalidArgException");
    EXPECT_EQ(app.m_reported[0].message, static_cast<UINT>(WM_INITDIALOG));
}

TEST(DialogDispatch, MissingTemplateFailsCreation) {
    class CNoTemplate : public CDialog {
    public:
        CNoTemplate() : CDialog(4711) {}
    } dialog;
    EXPECT_FALSE(dialog.CreateModeless(nullptr));
    EXPECT_EQ(dialog.DoModal(nullptr), -1);
}

TEST(DialogDispatch, DialogClassesAreCreatedByName) {
    CObject* object = nullptr;
    ASSERT_EQ(CreateObjectByName(L"CThrowingDialog", RUNTIME_CLASS(CDialog), object), CreateByNameResult::Created);
    ASSERT_NE(object, nullptr);
    EXPECT_TRUE(object->IsKindOf(RUNTIME_CLASS(CDialog)));
    delete object;
    EXPECT_EQ(CreateObjectByName(L"CNoSuchPage", RUNTIME_CLASS(CDialog), object), CreateByNameResult::UnknownClass);
    EXPECT_EQ(CreateObjectByName(L"cthrowingdialog", RUNTIME_CLASS(CDialog), object), CreateByNameResult::UnknownClass);
    EXPECT_EQ(CreateObjectByName(L"CDefaultBrandExtender", RUNTIME_CLASS(CDialog), object),
              CreateByNameResult::WrongKind);
    EXPECT_EQ(object, nullptr);
}
}  // namespace
