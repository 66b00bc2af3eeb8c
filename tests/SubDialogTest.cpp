// The page base on the test page (template 900): texts by control id with
// %1 and %2, rich labels, the licence RTF, fonts, colours, images through the
// cache (broken ones left empty) and the composed background.
#include <gtest/gtest.h>

#include <objidl.h>
#include <gdiplus.h>
#include <richedit.h>

#include <memory>
#include <string>

#include "framework/Dialog.h"
#include "framework/Exceptions.h"
#include "framework/WinApp.h"
#include "resources/resource.h"
#include "ui/ImageCache.h"
#include "ui/PageHost.h"
#include "ui/SubDialog.h"
#include "ui/labels/RtfLabel.h"
#include "ui/labels/SuperLabel.h"

namespace {
const UINT kTestPage = 900;
const UINT kPlainPage = 901;

class CTestPage : public CSubDialog {
    DECLARE_DYNCREATE(CTestPage)
public:
    CTestPage() : CSubDialog(kTestPage) {}
};
IMPLEMENT_DYNCREATE(CTestPage, CSubDialog)

class CFailingPage : public CSubDialog {
public:
    CFailingPage() : CSubDialog(kPlainPage) {}

protected:
    BOOL OnInitDialog() override {
        CSubDialog::OnInitDialog();
        ThrowInvalidArgException();
    }
};

class RecordingHost : public IPageHost {
public:
    int ConfirmCancel() override {
        ++m_nQuestions;
        return m_nAnswer;
    }
    void ShowFinishedPage() override { ++m_nFinished; }
    void CancelRun() override {}
    int m_nAnswer = IDNO;
    int m_nQuestions = 0;
    int m_nFinished = 0;
};

// Takes the errors that escape the pages' handlers, as the application object would.
class CountingApplication : public CWinApp {
public:
    LRESULT ProcessWndProcException(CException* e, const MSG*) override {
        ++m_nErrors;
        if (e) e->Delete();
        return 0;
    }
    int m_nErrors = 0;
};

class SubDialogPage : public ::testing::Test {
protected:
    void SetUp() override {
        Gdiplus::GdiplusStartupInput input;
        Gdiplus::GdiplusStartup(&m_gdiplusToken, &input, nullptr);
        LoadLibraryW(L"RICHED20.DLL");
        ASSERT_TRUE(m_frame.CreateModeless(nullptr));
    }
    void TearDown() override {
        m_frame.DestroyWindow();
        if (m_gdiplusToken) Gdiplus::GdiplusShutdown(m_gdiplusToken);
    }

    std::unique_ptr<CSubDialog> CreatePageByName(const wchar_t* name) {
        CObject* object = nullptr;
        if (CreateObjectByName(name, RUNTIME_CLASS(CSubDialog), object) != CreateByNameResult::Created) return nullptr;
        std::unique_ptr<CSubDialog> page(static_cast<CSubDialog*>(object));
        if (!page->Create(m_frame.GetSafeHwnd(), &m_host)) return nullptr;
        return page;
    }

    static LRESULT LicenceLength(HWND richEdit) {
        GETTEXTLENGTHEX length = {GTL_DEFAULT, 1200};
        return SendMessageW(richEdit, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&length), 0);
    }

    // The licence follows the page's first paint (a timer's message): the
    // messages of the thread are handled until it is there, at most 10 s.
    static void HandleMessagesUntilLicenceIsStreamed(HWND richEdit) {
        const ULONGLONG end = GetTickCount64() + 10000;
        while (LicenceLength(richEdit) == 0 && GetTickCount64() < end) {
            MSG message;
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
            if (LicenceLength(richEdit) == 0) MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        }
    }

    static std::wstring TextOf(HWND window) {
        wchar_t text[512] = {};
        GetWindowTextW(window, text, ARRAYSIZE(text));
        return text;
    }

    CountingApplication m_app;
    ULONG_PTR m_gdiplusToken = 0;
    CDialog m_frame{IDD_MAIN_WINDOW};
    RecordingHost m_host;
};

TEST_F(SubDialogPage, TextsComeFromTheStringTable) {
    std::unique_ptr<CSubDialog> page = CreatePageByName(L"CTestPage");
    ASSERT_NE(page, nullptr);
    // The title uses the template's string, the others their own id; %1 is the product name.
    EXPECT_EQ(TextOf(page->GetDlgItem(IDC_TITLE)), L"Every element of a Kelvora page");
    EXPECT_EQ(TextOf(page->GetDlgItem(IDC_AGREE)), L"I &Agree");
    EXPECT_EQ(TextOf(page->GetDlgItem(IDCANCEL)), L"Cancel");
    EXPECT_EQ(TextOf(page->GetDlgItem(IDC_BONUS_CAPTION)), L"Bonus Offer") << "a right-aligned text static keeps its text";
    EXPECT_EQ(TextOf(page->GetDlgItem(920)), L"") << "a button without a string gets an empty caption";
}

TEST_F(SubDialogPage, MarkedUpStaticsBecomeRichLabels) {
    std::unique_ptr<CSubDialog> page = CreatePageByName(L"CTestPage");
    ASSERT_NE(page, nullptr);
    int superLabels = 0, rtfLabels = 0;
    bool sawDefaultButtonCaption = false;
    for (const auto& label : page->GetLabels()) {
        if (auto* super = dynamic_cast<CSuperLabel*>(label.get())) {
            ++superLabels;
            // String 1005 carries %2: the default button's caption without its ampersand.
            if (super->GetPlainText().find(L"Click I Agree to download and install Kelvora") != std::wstring::npos) {
                sawDefaultButtonCaption = true;
            }
        }
        if (dynamic_cast<CRtfLabel*>(label.get())) ++rtfLabels;
    }
    EXPECT_EQ(superLabels, 2);  // 1005 and the offer's legal text 1088
    EXPECT_EQ(rtfLabels, 1);    // 911
    EXPECT_TRUE(sawDefaultButtonCaption);
}

TEST_F(SubDialogPage, LicenceIsStreamedIntoTheRichEdit) {
    std::unique_ptr<CSubDialog> page = CreatePageByName(L"CTestPage");
    ASSERT_NE(page, nullptr);
    HWND richEdit = page->GetDlgItem(IDC_LICENSE_TEXT);
    // Not before the page has had the chance to paint: its first paint does not wait for the licence.
    EXPECT_EQ(LicenceLength(richEdit), 0);
    HandleMessagesUntilLicenceIsStreamed(richEdit);
    EXPECT_GT(LicenceLength(richEdit), 1000);
    wchar_t start[40] = {};
    TEXTRANGEW range = {{0, 34}, start};
    SendMessageW(richEdit, EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&range));
    EXPECT_STREQ(start, L"KELVORA END-USER LICENSE AGREEMENT");
    EXPECT_TRUE(SendMessageW(richEdit, EM_GETEVENTMASK, 0, 0) & ENM_LINK);
}

TEST_F(SubDialogPage, LicenceIsInTheUsersLanguage) {
    struct Case {
        LANGID language;
        const wchar_t* start;
    } cases[] = {{0x0407, L"KELVORA ENDBENUTZER"}, {0x0c0a, L"CONTRATO DE LICENCIA"}, {0x040c, L"CONTRAT DE LICENCE"},
                 {0x0411, L"KELVORA \x30A8\x30F3\x30C9"}, {0x0409, L"KELVORA END-USER"}};
    LANGID previous = GetThreadUILanguage();
    LCID previousLocale = GetThreadLocale();
    for (const Case& c : cases) {
        // As start-up does: the interface language and the locale.
        SetThreadUILanguage(c.language);
        SetThreadLocale(MAKELCID(c.language, SORT_DEFAULT));
        std::unique_ptr<CSubDialog> page = CreatePageByName(L"CTestPage");
        ASSERT_NE(page, nullptr);
        HandleMessagesUntilLicenceIsStreamed(page->GetDlgItem(IDC_LICENSE_TEXT));
        wchar_t start[40] = {};
        LONG length = static_cast<LONG>(wcslen(c.start));
        TEXTRANGEW range = {{0, length}, start};
        SendMessageW(page->GetDlgItem(IDC_LICENSE_TEXT), EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&range));
        EXPECT_STREQ(start, c.start) << std::hex << c.language;
    }
    SetThreadUILanguage(previous);
    SetThreadLocale(previousLocale);
}

TEST_F(SubDialogPage, ImagesComeFromTheCacheAndBrokenOnesStayEmpty) {
    std::unique_ptr<CSubDialog> page = CreatePageByName(L"CTestPage");
    ASSERT_NE(page, nullptr);
    auto imageOf = [&](int id) {
        return reinterpret_cast<HBITMAP>(SendMessageW(page->GetDlgItem(id), STM_GETIMAGE, IMAGE_BITMAP, 0));
    };
    // No image has the id 1073 or 1074: the template's ordinal texts 512 and 514 name them.
    EXPECT_EQ(imageOf(IDC_NOX_LOGO), GetImage(512));
    EXPECT_EQ(imageOf(IDC_GEARFRESH_LOGO), GetImage(514));
    EXPECT_NE(imageOf(IDC_NOX_LOGO), nullptr);
    EXPECT_EQ(imageOf(IDC_BANNER), GetImage(500));
    EXPECT_FALSE(IsWindowVisible(page->GetDlgItem(IDC_BANNER)));
    EXPECT_NE(imageOf(960), nullptr);
    for (int broken : {950, 951, 952, 953}) EXPECT_EQ(imageOf(broken), nullptr) << broken;
}

TEST_F(SubDialogPage, FontsAndColoursComeFromTheResources) {
    std::unique_ptr<CSubDialog> page = CreatePageByName(L"CTestPage");
    ASSERT_NE(page, nullptr);
    HDC screen = GetDC(nullptr);
    int pixelsPerInch = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    struct Case {
        int id;
        LONG points;
        LONG weight;
    } cases[] = {{IDC_TITLE, 8, 700}, {1053, 12, 400}};
    for (const Case& c : cases) {
        HFONT font = reinterpret_cast<HFONT>(SendMessageW(page->GetDlgItem(c.id), WM_GETFONT, 0, 0));
        LOGFONTW info = {};
        ASSERT_TRUE(font && GetObjectW(font, sizeof(info), &info)) << c.id;
        EXPECT_EQ(info.lfHeight, -MulDiv(c.points, pixelsPerInch, 72)) << c.id;
        EXPECT_EQ(info.lfWeight, c.weight) << c.id;
        EXPECT_STREQ(info.lfFaceName, L"Microsoft Sans Serif") << c.id;
    }

    HDC dc = CreateCompatibleDC(nullptr);
    HWND coloured = page->GetDlgItem(1053);
    LRESULT brush = SendMessageW(page->GetSafeHwnd(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                 reinterpret_cast<LPARAM>(coloured));
    EXPECT_NE(brush, 0);
    EXPECT_EQ(GetTextColor(dc), RGB(99, 103, 106));
    EXPECT_EQ(GetBkMode(dc), TRANSPARENT);
    RECT position;
    GetWindowRect(coloured, &position);
    MapWindowPoints(nullptr, page->GetSafeHwnd(), reinterpret_cast<POINT*>(&position), 2);
    POINT origin;
    GetBrushOrgEx(dc, &origin);
    EXPECT_EQ(origin.x, -position.left);
    EXPECT_EQ(origin.y, -position.top);
    DeleteDC(dc);
}

COLORREF PixelOf(HBITMAP bitmap, int x, int y) {
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, bitmap);
    COLORREF colour = GetPixel(dc, x, y);
    SelectObject(dc, old);
    DeleteDC(dc);
    return colour;
}

TEST_F(SubDialogPage, BackgroundHasBannerWhiteHeaderAndEtchedLines) {
    std::unique_ptr<CSubDialog> page = CreatePageByName(L"CTestPage");
    ASSERT_NE(page, nullptr);
    HBITMAP background = page->GetBackgroundBitmap();
    ASSERT_NE(background, nullptr);
    RECT client;
    GetClientRect(page->GetSafeHwnd(), &client);
    BITMAP info = {};
    GetObjectW(background, sizeof(info), &info);
    EXPECT_EQ(info.bmWidth, client.right);
    EXPECT_EQ(info.bmHeight, client.bottom);

    RECT banner = {0, 0, 492 * 4 / 6, 63 * 8 / 13};
    MapDialogRect(page->GetSafeHwnd(), &banner);
    RECT marker;
    GetWindowRect(page->GetDlgItem(IDC_HEADER_MARKER), &marker);
    MapWindowPoints(nullptr, page->GetSafeHwnd(), reinterpret_cast<POINT*>(&marker), 2);
    // The banner's ring mark at its right (navy), the etched lines, white down to the marker, button face below.
    COLORREF ring = PixelOf(background, (455 + 21) * banner.right / 492, 31 * banner.bottom / 63);
    EXPECT_GT(GetBValue(ring), GetRValue(ring) + 60) << std::hex << ring;
    EXPECT_EQ(PixelOf(background, 5, banner.bottom), GetSysColor(COLOR_BTNSHADOW));
    EXPECT_EQ(PixelOf(background, 5, banner.bottom + 1), GetSysColor(COLOR_BTNHIGHLIGHT));
    EXPECT_EQ(PixelOf(background, 5, banner.bottom + 3), GetSysColor(COLOR_WINDOW));
    EXPECT_EQ(PixelOf(background, 5, marker.top), GetSysColor(COLOR_BTNSHADOW));
    EXPECT_EQ(PixelOf(background, 5, marker.top + 4), GetSysColor(COLOR_BTNFACE));
}

TEST_F(SubDialogPage, PageWithoutBannerOrMarkerIsPlain) {
    class CPlainPage : public CSubDialog {
    public:
        CPlainPage() : CSubDialog(kPlainPage) {}
    } page;
    ASSERT_TRUE(page.Create(m_frame.GetSafeHwnd(), &m_host));
    HBITMAP background = page.GetBackgroundBitmap();
    EXPECT_EQ(PixelOf(background, 5, 0), GetSysColor(COLOR_BTNSHADOW));
    EXPECT_EQ(PixelOf(background, 5, 1), GetSysColor(COLOR_BTNHIGHLIGHT));
    EXPECT_EQ(PixelOf(background, 5, 10), GetSysColor(COLOR_BTNFACE));
    // Its title is a super label whose bold run never closes: the page is drawn, the label shows the text before it.
    ASSERT_EQ(page.GetLabels().size(), 1u);
    auto* label = dynamic_cast<CSuperLabel*>(page.GetLabels()[0].get());
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->GetPlainText(), L"Unclosed ");
}

TEST_F(SubDialogPage, FailingInitHandlerFailsCreation) {
    CFailingPage page;
    EXPECT_FALSE(page.Create(m_frame.GetSafeHwnd(), &m_host));
    EXPECT_TRUE(page.InitFailed());
    EXPECT_EQ(m_app.m_nErrors, 1);
    ASSERT_NE(page.GetSafeHwnd(), nullptr);
    EXPECT_FALSE(GetWindowLongW(page.GetSafeHwnd(), GWL_STYLE) & WS_VISIBLE);
}

TEST_F(SubDialogPage, MissingTemplateIsAResourceError) {
    class CMissingPage : public CSubDialog {
    public:
        CMissingPage() : CSubDialog(4711) {}
    };
    try {
        CMissingPage page;
        FAIL() << "constructed without a template";
    } catch (CException* e) {
        EXPECT_TRUE(e->IsKindOf(RUNTIME_CLASS(CResourceException)));
        e->Delete();
    }
}

TEST_F(SubDialogPage, EnterDoesNothingAndCancelAsksFirst) {
    std::unique_ptr<CSubDialog> page = CreatePageByName(L"CTestPage");
    ASSERT_NE(page, nullptr);
    ShowWindow(page->GetSafeHwnd(), SW_SHOW);
    SendMessageW(page->GetSafeHwnd(), WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(GetWindowLongW(page->GetSafeHwnd(), GWL_STYLE) & WS_VISIBLE) << "Enter must not end a page";

    m_host.m_nAnswer = IDNO;
    SendMessageW(page->GetSafeHwnd(), WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(m_host.m_nQuestions, 1);
    EXPECT_EQ(m_host.m_nFinished, 0);
    m_host.m_nAnswer = IDYES;
    SendMessageW(page->GetSafeHwnd(), WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(m_host.m_nQuestions, 2);
    EXPECT_EQ(m_host.m_nFinished, 1);
}
}  // namespace
