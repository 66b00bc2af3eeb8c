// Both rich labels attached to statics of a small window of the test's own,
// painted through WM_PRINTCLIENT into a bitmap: text pixels are drawn and the
// parent's background brush shows through everywhere else.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "framework/ScopedBstr.h"
#include "ui/labels/LinkColour.h"
#include "ui/labels/RtfLabel.h"
#include "ui/labels/RtfText.h"
#include "ui/labels/SuperLabel.h"
#include "ui/labels/SuperLabelLayout.h"

namespace {

// A light page, as the wizard's are: links must be drawn in a colour that reads on it.
const COLORREF kPageColour = RGB(240, 250, 240);
const COLORREF kTextColour = RGB(0, 0, 0);
const wchar_t kPageClass[] = L"WrenstallLabelTestPage";
constexpr int kLabelWidth = 320;
constexpr int kLabelHeight = 80;

// The parent's answer to WM_CTLCOLORSTATIC, as a page gives it: text colour
// set, transparent mode, its background brush returned.
LRESULT CALLBACK PageProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CTLCOLORSTATIC) {
        static HBRUSH brush = CreateSolidBrush(kPageColour);
        auto dc = reinterpret_cast<HDC>(wParam);
        SetTextColor(dc, kTextColour);
        SetBkMode(dc, TRANSPARENT);
        return reinterpret_cast<LRESULT>(brush);
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

struct PixelCounts {
    int page = 0;      // the parent's brush
    int unpainted = 0; // the white the bitmap held before painting
    int link = 0;      // near the link colour (the hot-light colour, when it reads on the page)
    int text = 0;      // everything else: black text and its edges blended with the page
};

bool Near(COLORREF a, COLORREF b, int tolerance) {
    return abs(GetRValue(a) - GetRValue(b)) <= tolerance && abs(GetGValue(a) - GetGValue(b)) <= tolerance &&
           abs(GetBValue(a) - GetBValue(b)) <= tolerance;
}

// Paints the label through WM_PRINTCLIENT into a 32-bit bitmap and classifies its pixels.
PixelCounts PaintAndCount(HWND label) {
    PixelCounts counts;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = kLabelWidth;
    info.bmiHeader.biHeight = -kLabelHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (dc == nullptr || bitmap == nullptr || bits == nullptr) {
        ADD_FAILURE() << "no bitmap to paint into";
        return counts;
    }
    HGDIOBJ previous = SelectObject(dc, bitmap);
    // Something the label must paint over entirely.
    RECT all = {0, 0, kLabelWidth, kLabelHeight};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    SendMessageW(label, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
    GdiFlush();
    COLORREF hot = ChooseLinkColour(GetSysColor(COLOR_HOTLIGHT), kPageColour, kTextColour);
    const auto* pixels = static_cast<const DWORD*>(bits);
    for (int i = 0; i < kLabelWidth * kLabelHeight; ++i) {
        DWORD p = pixels[i];
        COLORREF colour = RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
        if (colour == kPageColour)
            ++counts.page;
        else if (colour == RGB(255, 255, 255))
            ++counts.unpainted;
        else if (Near(colour, hot, 40))
            ++counts.link;
        else
            ++counts.text;
    }
    SelectObject(dc, previous);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return counts;
}

// A super label that records the links it would open instead of starting a browser.
class RecordingSuperLabel : public CSuperLabel {
public:
    std::vector<std::wstring> m_opened;

protected:
    void OpenLink(const std::wstring& target) override { m_opened.push_back(target); }
};

class RichLabelWindowTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_STANDARD_CLASSES};
        InitCommonControlsEx(&controls);
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = &PageProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kPageClass;
        windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
        RegisterClassW(&windowClass);
        // One shown page for the suite: Wine waits for the display on every
        // top-level window that goes away.
        m_page = CreateWindowExW(0, kPageClass, L"labels", WS_POPUP | WS_VISIBLE, 0, 0, 400, 300, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    }

    static void TearDownTestSuite() {
        if (m_page) DestroyWindow(m_page);
        m_page = nullptr;
    }

    void SetUp() override {
        ASSERT_NE(m_page, nullptr);
        m_font = CreateFontW(-13, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Tahoma");
    }

    void TearDown() override {
        for (HWND child : m_statics) DestroyWindow(child);
        if (m_font) DeleteObject(m_font);
    }

    HWND CreateStatic(int y) {
        HWND label = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_LEFT, 10, y, kLabelWidth,
                                     kLabelHeight, m_page, nullptr, GetModuleHandleW(nullptr), nullptr);
        if (label != nullptr) SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(m_font), TRUE);
        m_statics.push_back(label);
        return label;
    }

    // A static with rtf attached and running the text services; null otherwise.
    HWND AttachRtfLabel(CRtfLabel& rtf) {
        HWND label = CreateStatic(100);
        if (label == nullptr || !rtf.Attach(label) || !rtf.HasTextServices()) return nullptr;
        return label;
    }

    static inline HWND m_page = nullptr;
    HFONT m_font = nullptr;
    std::vector<HWND> m_statics;
};

const wchar_t kSuperText[] = L"\x1B" L"Click \x04" L"Next\x05 to install Kelvora. Read the \x02"
                             L"https://kelvora.example/eula\x01" L"licence agreement\x03 first.";

TEST_F(RichLabelWindowTest, SuperLabelDrawsTextOverThePageBackground) {
    HWND label = CreateStatic(10);
    ASSERT_NE(label, nullptr);
    auto super = std::make_unique<RecordingSuperLabel>();
    ASSERT_TRUE(super->Attach(label));
    EXPECT_FALSE(super->Attach(label));  // hooked once only
    SetWindowTextW(label, kSuperText);
    ASSERT_EQ(super->GetRuns().size(), 5u);
    EXPECT_EQ(super->GetPlainText(), L"Click Next to install Kelvora. Read the licence agreement first.");

    PixelCounts counts = PaintAndCount(label);
    EXPECT_GT(counts.text, 100);
    EXPECT_GT(counts.link, 20);
    // Most of a text label is background, and all of it is the page's.
    EXPECT_GT(counts.page, kLabelWidth * kLabelHeight / 2);
    EXPECT_EQ(counts.unpainted, 0);

    // An empty label leaves nothing but the page.
    SetWindowTextW(label, L"\x1B");
    counts = PaintAndCount(label);
    EXPECT_EQ(counts.page, kLabelWidth * kLabelHeight);
}

TEST_F(RichLabelWindowTest, SuperLabelOpensOnlyTheLinkUnderTheMouse) {
    HWND label = CreateStatic(10);
    ASSERT_NE(label, nullptr);
    RecordingSuperLabel super;
    ASSERT_TRUE(super.Attach(label));
    SetWindowTextW(label, kSuperText);
    const SuperLabelPiece* linkPiece = nullptr;
    const SuperLabelPiece* plainPiece = nullptr;
    for (const SuperLabelPiece& piece : super.GetPieces()) {
        if (piece.rect.IsEmpty()) continue;
        if (super.GetRuns()[piece.run].style == SuperLabelLink && !linkPiece) linkPiece = &piece;
        if (super.GetRuns()[piece.run].style == SuperLabelPlain && !plainPiece) plainPiece = &piece;
    }
    ASSERT_NE(linkPiece, nullptr);
    ASSERT_NE(plainPiece, nullptr);
    EXPECT_EQ(SendMessageW(label, WM_NCHITTEST, 0, 0), HTCLIENT);

    auto at = [](const SuperLabelPiece* piece) {
        return MAKELPARAM((piece->rect.left + piece->rect.right) / 2, (piece->rect.top + piece->rect.bottom) / 2);
    };
    SendMessageW(label, WM_MOUSEMOVE, 0, at(plainPiece));
    EXPECT_EQ(super.GetHotRun(), nullptr);
    SendMessageW(label, WM_LBUTTONUP, 0, at(plainPiece));
    EXPECT_TRUE(super.m_opened.empty());

    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_ARROW));
    SendMessageW(label, WM_MOUSEMOVE, 0, at(linkPiece));
    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_HAND));
    ASSERT_NE(super.GetHotRun(), nullptr);
    EXPECT_EQ(super.GetHotRun()->target, L"https://kelvora.example/eula");
    SendMessageW(label, WM_LBUTTONUP, 0, at(linkPiece));
    ASSERT_EQ(super.m_opened.size(), 1u);
    EXPECT_EQ(super.m_opened[0], L"https://kelvora.example/eula");

    SendMessageW(label, WM_MOUSELEAVE, 0, 0);
    EXPECT_EQ(super.GetHotRun(), nullptr);
    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_ARROW));
    SendMessageW(label, WM_LBUTTONUP, 0, at(linkPiece));
    EXPECT_EQ(super.m_opened.size(), 1u);
}

TEST_F(RichLabelWindowTest, LabelsUnhookWhicheverGoesFirst) {
    // The label goes first: the static works on its own again.
    HWND label = CreateStatic(10);
    ASSERT_NE(label, nullptr);
    {
        CSuperLabel super;
        ASSERT_TRUE(super.Attach(label));
        SetWindowTextW(label, L"\x1Bhooked");
        EXPECT_EQ(super.GetPlainText(), L"hooked");
    }
    SetWindowTextW(label, L"plain static");
    wchar_t text[64] = {};
    GetWindowTextW(label, text, 64);
    EXPECT_STREQ(text, L"plain static");

    // The window goes first: the labels outlive it and are deleted later.
    HWND super2 = CreateStatic(10);
    HWND rtf2 = CreateStatic(100);
    auto super = std::make_unique<CSuperLabel>();
    auto rtf = std::make_unique<CRtfLabel>();
    ASSERT_TRUE(super->Attach(super2));
    ASSERT_TRUE(rtf->Attach(rtf2));
    SetWindowTextW(super2, L"\x1Bgone soon");
    SetWindowTextW(rtf2, L"{\\rtf1 gone soon}");
    DestroyWindow(super2);
    DestroyWindow(rtf2);
    EXPECT_FALSE(rtf->HasTextServices());
    super.reset();
    rtf.reset();
    CSuperLabel late;
    EXPECT_FALSE(late.Attach(super2));  // not a window any more
}

std::wstring EngineText(const CRtfLabel& label) {
    ScopedBstr text;
    if (!label.GetTextServices() || FAILED(label.GetTextServices()->TxGetText(text.Receive()))) return L"<none>";
    std::wstring result = text.Get() ? std::wstring(text.Get()) : std::wstring();
    while (!result.empty() && (result.back() == L'\r' || result.back() == L'\n')) result.pop_back();
    return result;
}

TEST_F(RichLabelWindowTest, RtfLabelDrawsTextOverThePageBackground) {
    CRtfLabel rtf;
    HWND label = AttachRtfLabel(rtf);
    ASSERT_NE(label, nullptr);
    SetWindowTextW(label, L"{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Tahoma;}}\\f0\\fs24 Kelvora licence \\b agreement\\b0\\par}");
    EXPECT_EQ(EngineText(rtf), L"Kelvora licence agreement");
    PixelCounts counts = PaintAndCount(label);
    EXPECT_GT(counts.text, 100);
    EXPECT_GT(counts.page, kLabelWidth * kLabelHeight / 2);
    EXPECT_EQ(counts.unpainted, 0);
    EXPECT_EQ(counts.link, 0);

    // A minimal document shows its word in the label's font.
    SetWindowTextW(label, L"{\\rtf1 Word}");
    EXPECT_EQ(EngineText(rtf), L"Word");
    CHARFORMATW format = {};
    format.cbSize = sizeof(format);
    LRESULT ignored = 0;
    rtf.GetTextServices()->TxSendMessage(EM_SETSEL, 0, -1, &ignored);
    rtf.GetTextServices()->TxSendMessage(EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format), &ignored);
    EXPECT_STREQ(format.szFaceName, L"Tahoma");
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(format.yHeight, MulDiv(13, 1440, GetDeviceCaps(screen, LOGPIXELSY)));
    ReleaseDC(nullptr, screen);

    // Text that is not RTF is shown as it is.
    SetWindowTextW(label, L"Just words");
    EXPECT_EQ(EngineText(rtf), L"Just words");
}

TEST_F(RichLabelWindowTest, RtfLabelSurvivesTextTheEngineRejects) {
    CRtfLabel rtf;
    HWND label = AttachRtfLabel(rtf);
    ASSERT_NE(label, nullptr);
    const std::wstring bad[] = {
        L"{\\rtf1",
        L"{\\rtf1\\bin999999999 ab",
        L"{\\rtf1{{{{{{{{{{\\",
        L"{\\rtf1\\u-99999999999? \\'zz\\'",
        L"{\\rtf1}}}}}}}}}}} tail",
        // Nested deeper than the engine survives (Wine's faults at 33 groups).
        std::wstring(L"{\\rtf1 ") + std::wstring(kMaxRtfGroupDepth, L'{') + L"deep" + std::wstring(kMaxRtfGroupDepth + 1, L'}'),
        std::wstring(L"{\\rtf1 ") + std::wstring(40, L'{') + L"deep" + std::wstring(41, L'}'),
        std::wstring(L"{\\rtf1 ") + std::wstring(5000, L'{') + L"deep",
        L"{\\rtf1\\mac \x65E5\x672C}",  // characters the Macintosh code page lacks: not shown
    };
    for (const std::wstring& text : bad) {
        SetWindowTextW(label, text.c_str());
        PaintAndCount(label);
    }
    EXPECT_EQ(EngineText(rtf), L"") << "the last text cannot be converted";

    // Nesting up to the limit is shown, one group more is not.
    std::wstring limit = L"{\\rtf1 " + std::wstring(kMaxRtfGroupDepth - 1, L'{') + L"deep" + std::wstring(kMaxRtfGroupDepth, L'}');
    SetWindowTextW(label, limit.c_str());
    EXPECT_EQ(EngineText(rtf), L"deep");
    std::wstring over = L"{\\rtf1 " + std::wstring(kMaxRtfGroupDepth, L'{') + L"deep" + std::wstring(kMaxRtfGroupDepth + 1, L'}');
    SetWindowTextW(label, over.c_str());
    EXPECT_EQ(EngineText(rtf), L"");
    // The label still works afterwards.
    SetWindowTextW(label, L"{\\rtf1 Recovered}");
    EXPECT_EQ(EngineText(rtf), L"Recovered");
}

}  // namespace
