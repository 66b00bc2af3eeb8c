// The wizard's pages in every language at the screen's DPI: every text and
// caption fits its control, no two controls overlap and all stay on the page.
// Its groups run with the screen at 96, 144 and 192 DPI (100, 150 and
// 200 %): a size kept in pixels instead of following the DPI, or a layout in
// dialog units that the fonts outgrow, shows as clipped or overlapping text.
#include <gtest/gtest.h>

#include <objidl.h>
#include <gdiplus.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "app/Program.h"
#include "framework/Dialog.h"
#include "framework/Exceptions.h"
#include "framework/RuntimeClass.h"
#include "framework/WindowText.h"
#include "resources/resource.h"
#include "ui/GdiObjects.h"
#include "ui/OfferPage.h"
#include "ui/PageHost.h"
#include "ui/ScreenDpi.h"
#include "ui/SubDialog.h"
#include "ui/labels/SuperLabel.h"

namespace {
// The progress and initialization pages start work in their init handlers;
// their templates are laid out by the page base alone.
class CProgressLayoutPage : public CSubDialog {
    DECLARE_DYNCREATE(CProgressLayoutPage)
public:
    CProgressLayoutPage() : CSubDialog(IDD_PROGRESS) {}
};
IMPLEMENT_DYNCREATE(CProgressLayoutPage, CSubDialog)

class CInitializationLayoutPage : public CSubDialog {
    DECLARE_DYNCREATE(CInitializationLayoutPage)
public:
    CInitializationLayoutPage() : CSubDialog(IDD_INITIALIZATION) {}
};
IMPLEMENT_DYNCREATE(CInitializationLayoutPage, CSubDialog)

class NoQuestionsHost : public IPageHost {
public:
    int ConfirmCancel() override { return IDNO; }
    void ShowFinishedPage() override {}
    void CancelRun() override {}
};

class LayoutProgram : public CProgram {
public:
    LRESULT ProcessWndProcException(CException* e, const MSG*) override {
        ADD_FAILURE() << "an error escaped a page's handler";
        if (e) e->Delete();
        return 0;
    }
};

bool HasVisibleStyle(HWND window) { return (GetWindowLongW(window, GWL_STYLE) & WS_VISIBLE) != 0; }

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, ARRAYSIZE(name));
    return name;
}

bool IsClass(HWND window, const wchar_t* name) {
    return CompareStringOrdinal(ClassOf(window).c_str(), -1, name, -1, TRUE) == CSTR_EQUAL;
}

// The size the window's text needs in its own font: wrapped at width, or on one line when width is 0.
SIZE TextExtent(HWND window, const std::wstring& text, int width, UINT extraFormat) {
    ScopedWindowDC dc(window);
    ScopedSelection font(dc.Get(), reinterpret_cast<HGDIOBJ>(SendMessageW(window, WM_GETFONT, 0, 0)));
    RECT area = {0, 0, width, 0};
    UINT format = DT_CALCRECT | DT_EXPANDTABS | extraFormat | (width > 0 ? DT_WORDBREAK : DT_SINGLELINE);
    DrawTextW(dc.Get(), text.c_str(), -1, &area, format);
    return {area.right - area.left, area.bottom - area.top};
}

std::string Name(HWND window) {
    return "control " + std::to_string(GetDlgCtrlID(window)) + " (" + ToUtf8(ClassOf(window)) + " \"" +
           ToUtf8(ReadWindowText(window)) + "\")";
}

// Every visible child of the page whose text, caption or label does not fit, or
// that leaves the page or covers another: one line each.
std::vector<std::string> LayoutFaults(CSubDialog& page) {
    std::vector<std::string> faults;
    HWND hwnd = page.GetSafeHwnd();
    RECT client = {};
    GetClientRect(hwnd, &client);
    RECT oneUnit = {0, 0, 4, 8};  // the dialog font's average character: a button's side margins are 4 units
    MapDialogRect(hwnd, &oneUnit);
    const int buttonMargins = 2 * oneUnit.right;
    std::vector<std::pair<HWND, RECT>> shown;
    for (HWND child = GetWindow(hwnd, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (!HasVisibleStyle(child)) continue;
        const RECT rect = ChildRectInParent(hwnd, child);
        const int width = rect.right - rect.left, height = rect.bottom - rect.top;
        const LONG style = GetWindowLongW(child, GWL_STYLE);
        const std::wstring text = ReadWindowText(child);
        // An etched line is drawn across the page whatever its window's last pixels.
        const bool line = IsClass(child, L"Static") && (style & SS_TYPEMASK) == SS_ETCHEDHORZ;
        if (!line && (rect.left < 0 || rect.top < 0 || rect.right > client.right || rect.bottom > client.bottom)) {
            faults.push_back(Name(child) + " leaves the page: " + std::to_string(rect.left) + "," +
                             std::to_string(rect.top) + "-" + std::to_string(rect.right) + "," +
                             std::to_string(rect.bottom) + " on a page of " + std::to_string(client.right) + " x " +
                             std::to_string(client.bottom));
        }
        for (const auto& other : shown) {
            RECT common = {};
            if (IntersectRect(&common, &rect, &other.second)) faults.push_back(Name(child) + " covers " + Name(other.first));
        }
        shown.emplace_back(child, rect);
        if (IsClass(child, L"Button")) {
            const LONG type = style & BS_TYPEMASK;
            const bool box = type == BS_AUTOCHECKBOX || type == BS_CHECKBOX;
            const int room = width - (box ? GetSystemMetrics(SM_CXMENUCHECK) + oneUnit.right : buttonMargins);
            const SIZE needed = TextExtent(child, text, 0, 0);
            if (needed.cx > room || needed.cy > height) {
                faults.push_back(Name(child) + ": its caption needs " + std::to_string(needed.cx) + " x " +
                                 std::to_string(needed.cy) + " pixels, it has " + std::to_string(room) + " x " +
                                 std::to_string(height));
            }
        } else if (IsClass(child, L"Static") && !text.empty() &&
                   ((style & SS_TYPEMASK) == SS_LEFT || (style & SS_TYPEMASK) == SS_CENTER ||
                    (style & SS_TYPEMASK) == SS_RIGHT)) {
            const SIZE needed = TextExtent(child, text, width, (style & SS_NOPREFIX) ? DT_NOPREFIX : 0);
            if (needed.cx > width || needed.cy > height) {
                faults.push_back(Name(child) + ": its text needs " + std::to_string(needed.cx) + " x " +
                                 std::to_string(needed.cy) + " pixels, it has " + std::to_string(width) + " x " +
                                 std::to_string(height));
            }
        }
    }
    // A rich label lays its words out itself: each one has its place, none is dropped.
    for (const auto& label : page.GetLabels()) {
        auto* super = dynamic_cast<CSuperLabel*>(label.get());
        if (!super) continue;
        for (const SuperLabelPiece& piece : super->GetPieces()) {
            if (piece.rect.IsEmpty()) {
                faults.push_back("the rich label \"" + ToUtf8(super->GetPlainText()) + "\" does not show all its words");
                break;
            }
        }
    }
    return faults;
}

class PageLayoutAtScreenDpi : public ::testing::Test {
protected:
    void SetUp() override {
        // As the program's manifest declares.
        SetProcessDPIAware();
        Gdiplus::GdiplusStartupInput input;
        Gdiplus::GdiplusStartup(&m_gdiplusToken, &input, nullptr);
        LoadLibraryW(L"RICHED20.DLL");
        m_program.m_strAppName = L"Kelvora";
        ASSERT_TRUE(m_frame.CreateModeless(nullptr));
    }
    void TearDown() override {
        m_frame.DestroyWindow();
        if (m_gdiplusToken) Gdiplus::GdiplusShutdown(m_gdiplusToken);
    }

    std::unique_ptr<CSubDialog> CreatePage(const wchar_t* name) {
        CObject* object = nullptr;
        if (CreateObjectByName(name, RUNTIME_CLASS(CSubDialog), object) != CreateByNameResult::Created) return nullptr;
        std::unique_ptr<CSubDialog> page(static_cast<CSubDialog*>(object));
        if (!page->Create(m_frame.GetSafeHwnd(), &m_host)) return nullptr;
        return page;
    }

    LayoutProgram m_program;
    ULONG_PTR m_gdiplusToken = 0;
    CDialog m_frame{IDD_MAIN_WINDOW};
    NoQuestionsHost m_host;
};

TEST_F(PageLayoutAtScreenDpi, EveryPageInEveryLanguageShowsAllItsTexts) {
    // The group sets the screen's DPI in its prefix and names it here, so a
    // run at another DPI than intended cannot pass unnoticed.
    if (const char* wanted = std::getenv("WRENSTALL_DPI")) {
        ASSERT_EQ(WindowDpi(m_frame.GetSafeHwnd()), std::atoi(wanted));
    }
    struct PageCase {
        const wchar_t* name;
        bool aborted;
    } pages[] = {{L"CWelcomePage", false},     {L"CLicensePage", false},        {L"CFinishedPage", false},
                 {L"CFinishedPage", true},     {L"CNoxOfferPage", false},       {L"CGearfreshOfferPage", false},
                 {L"CProgressLayoutPage", false}, {L"CInitializationLayoutPage", false}};
    const LANGID languages[] = {0x0409, 0x0407, 0x0c0a, 0x040c, 0x0411};
    const LANGID previous = GetThreadUILanguage();
    const LCID previousLocale = GetThreadLocale();
    // A run only ends once: the pages of a running wizard first, then those
    // of a run ended by an error.
    for (bool aborted : {false, true}) {
        if (aborted) {
            ASSERT_TRUE(m_program.m_runState.Fail());
        }
        for (LANGID language : languages) {
            SetThreadUILanguage(language);
            SetThreadLocale(MAKELCID(language, SORT_DEFAULT));
            for (const PageCase& c : pages) {
                if (c.aborted != aborted) continue;
                SCOPED_TRACE(ToUtf8(c.name) + (c.aborted ? " (ended by an error)" : "") + " in language " +
                             std::to_string(language));
                std::unique_ptr<CSubDialog> page = CreatePage(c.name);
                ASSERT_NE(page, nullptr);
                for (const std::string& fault : LayoutFaults(*page)) ADD_FAILURE() << fault;
            }
        }
    }
    SetThreadUILanguage(previous);
    SetThreadLocale(previousLocale);
}

// A lead-in long enough (a language's words, a wider font) to push the logo
// past the right margin: the logo then ends at the margin, in proportion;
// a short one leaves the logo as it is.
TEST_F(PageLayoutAtScreenDpi, AnOffersLogoStaysWithinTheRightMargin) {
    std::unique_ptr<CSubDialog> page = CreatePage(L"CGearfreshOfferPage");
    ASSERT_NE(page, nullptr);
    HWND hwnd = page->GetSafeHwnd();
    HWND leadIn = GetDlgItem(hwnd, IDC_GEARFRESH_LEAD_IN), logo = GetDlgItem(hwnd, IDC_GEARFRESH_LOGO);
    ASSERT_TRUE(leadIn && logo);
    RECT client = {};
    GetClientRect(hwnd, &client);
    const RECT before = ChildRectInParent(hwnd, logo);
    const int margin = ChildRectInParent(hwnd, leadIn).left;
    // Words until the logo, at its size, would end half its width past the margin.
    std::wstring longText = L"Lead-in";
    for (;;) {
        SetWindowTextW(leadIn, longText.c_str());
        if (margin + WindowTextWidth(leadIn) + (before.right - before.left) / 2 > client.right - margin) break;
        longText += L" words";
    }
    struct Case {
        std::wstring leadIn;
        bool shrinks;
    } cases[] = {{L"Short", false}, {longText, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(ToUtf8(c.leadIn));
        SetWindowTextW(leadIn, c.leadIn.c_str());
        ASSERT_TRUE(COfferPage::PlaceLogoAfterLeadIn(hwnd, IDC_GEARFRESH_LEAD_IN, IDC_GEARFRESH_LOGO));
        const RECT after = ChildRectInParent(hwnd, logo);
        EXPECT_LE(after.right, client.right - margin);
        EXPECT_EQ(after.top, before.top);
        const int width = after.right - after.left, height = after.bottom - after.top;
        const int oldWidth = before.right - before.left, oldHeight = before.bottom - before.top;
        if (c.shrinks) {
            EXPECT_EQ(after.right, client.right - margin);
            EXPECT_LT(width, oldWidth);
            EXPECT_NEAR(height, MulDiv(oldHeight, width, oldWidth), 1) << "the logo keeps its proportions";
        } else {
            EXPECT_EQ(width, oldWidth);
            EXPECT_EQ(height, oldHeight);
        }
    }
}
}  // namespace

namespace {
TEST(ScaledImageSize, FollowsTheDpiWithinItsPlace) {
    struct Case {
        SIZE image;
        int dpi;
        SIZE room;
        SIZE expected;
    } cases[] = {
        {{98, 19}, 96, {99, 19}, {98, 19}},      // the design DPI: the image's own size
        {{98, 19}, 144, {165, 30}, {147, 29}},   // room enough: 150 %
        {{98, 19}, 192, {0, 0}, {196, 38}},      // no place given: 200 %
        {{219, 35}, 144, {365, 50}, {313, 50}},  // the place is lower than 150 %: as large as fits, in proportion
        {{219, 35}, 144, {120, 26}, {219, 35}},  // a place smaller than the image: never below its own size
    };
    for (const Case& c : cases) {
        SIZE size = ScaledImageSize(c.image, c.dpi, c.room);
        EXPECT_EQ(size.cx, c.expected.cx) << c.image.cx << " at " << c.dpi;
        EXPECT_EQ(size.cy, c.expected.cy) << c.image.cx << " at " << c.dpi;
    }
}
}  // namespace
