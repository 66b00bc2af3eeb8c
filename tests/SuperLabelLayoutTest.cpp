// Super-label line layout: placement with a fixed-width measure, link hit
// tests, and word wrap measured with a real font through GDI.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/labels/SuperLabelDrawing.h"
#include "ui/labels/SuperLabelFontSet.h"
#include "ui/labels/SuperLabelLayout.h"
#include "ui/labels/SuperLabelMarkup.h"
#include "ui/labels/SuperLabelPieces.h"

namespace {

// Ten pixels per character, line height 10.
class FixedWidthMeasure : public ISuperLabelMeasure {
public:
    SuperLabelWidths Measure(const SuperLabelPiece& piece, unsigned) override {
        return {static_cast<int>(piece.text.size()) * 10, static_cast<int>(piece.visibleLength) * 10};
    }
};

struct LayoutCase {
    const char* name;
    std::wstring text;
    int width;
    int height;
    std::vector<SuperLabelRect> rects;  // one per piece; {} = not shown
};

void PrintTo(const LayoutCase& c, std::ostream* out) { *out << c.name; }

class SuperLabelLayoutCaseTest : public testing::TestWithParam<LayoutCase> {};

TEST_P(SuperLabelLayoutCaseTest, PlacesPieces) {
    const LayoutCase& c = GetParam();
    std::vector<SuperLabelRun> runs = {{SuperLabelPlain, c.text, L""}};
    std::vector<SuperLabelPiece> pieces = SplitSuperLabelPieces(runs);
    FixedWidthMeasure measure;
    LayOutSuperLabelPieces(pieces, runs, c.width, c.height, 10, measure);
    ASSERT_EQ(pieces.size(), c.rects.size());
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        const SuperLabelRect& got = pieces[i].rect;
        const SuperLabelRect& want = c.rects[i];
        EXPECT_TRUE(got.left == want.left && got.top == want.top && got.right == want.right && got.bottom == want.bottom)
            << "piece " << i << " at (" << got.left << "," << got.top << "," << got.right << "," << got.bottom << ")";
    }
}

const LayoutCase kLayoutCases[] = {
    {"all on one line", L"one two three", 1000, 100, {{0, 0, 40, 10}, {40, 0, 80, 10}, {80, 0, 130, 10}}},
    {"trailing space may overflow, then a new line", L"one two three", 75, 100,
     {{0, 0, 40, 10}, {40, 0, 80, 10}, {0, 10, 50, 20}}},
    {"word that does not fit moves to the next line", L"one two three", 65, 100,
     {{0, 0, 40, 10}, {0, 10, 40, 20}, {0, 20, 50, 30}}},
    {"word wider than the label overflows on its own line", L"a enormousword b", 60, 100,
     {{0, 0, 20, 10}, {0, 10, 130, 20}, {0, 20, 10, 30}}},
    {"line feed ends the line", L"ab\ncd ef", 1000, 100, {{0, 0, 30, 10}, {0, 10, 30, 20}, {30, 10, 50, 20}}},
    {"lines past the height are not shown", L"one two three", 45, 25, {{0, 0, 40, 10}, {0, 10, 40, 20}, {}}},
    {"height below one line shows nothing", L"one two", 1000, 9, {{}, {}}},
    {"zero width puts every word on its own line", L"ab cd", 0, 100, {{0, 0, 30, 10}, {0, 10, 20, 20}}},
};

INSTANTIATE_TEST_SUITE_P(SuperLabelLayout, SuperLabelLayoutCaseTest, testing::ValuesIn(kLayoutCases));

TEST(SuperLabelLayout, HitTestFindsTheLinkUnderThePoint) {
    SuperLabelMarkup markup =
        ParseSuperLabelMarkup(L"\x1B" L"see \x02http://a.example/\x01" L"first link\x03 and \x02http://b.example/\x01second\x03");
    ASSERT_EQ(markup.runs.size(), 4u);
    std::vector<SuperLabelPiece> pieces = SplitSuperLabelPieces(markup.runs);
    FixedWidthMeasure measure;
    LayOutSuperLabelPieces(pieces, markup.runs, 1000, 100, 10, measure);
    // "see " 0-40, "first " 40-100, "link" 100-140, " and " 140-190, "second" 190-250
    EXPECT_EQ(FindSuperLabelLinkAt(pieces, markup.runs, 5, 5), kNoSuperLabelRun);
    EXPECT_EQ(FindSuperLabelLinkAt(pieces, markup.runs, 45, 5), 1u);
    EXPECT_EQ(FindSuperLabelLinkAt(pieces, markup.runs, 139, 9), 1u);
    EXPECT_EQ(FindSuperLabelLinkAt(pieces, markup.runs, 150, 5), kNoSuperLabelRun);
    EXPECT_EQ(FindSuperLabelLinkAt(pieces, markup.runs, 200, 5), 3u);
    EXPECT_EQ(FindSuperLabelLinkAt(pieces, markup.runs, 200, 10), kNoSuperLabelRun);
    EXPECT_EQ(FindSuperLabelLinkAt(pieces, markup.runs, 260, 5), kNoSuperLabelRun);
}

// A memory device context with a real font, as the label measures in its window.
class SuperLabelGdiTest : public testing::Test {
protected:
    void SetUp() override {
        m_dc = CreateCompatibleDC(nullptr);
        ASSERT_NE(m_dc, nullptr);
        LOGFONTW description = {};
        description.lfHeight = -16;
        description.lfWeight = FW_NORMAL;
        wcscpy(description.lfFaceName, L"Tahoma");
        m_font = CreateFontIndirectW(&description);
        ASSERT_NE(m_font, nullptr);
        m_fonts.Update(m_font);
    }
    void TearDown() override {
        if (m_dc) DeleteDC(m_dc);
        if (m_font) DeleteObject(m_font);
    }

    int Width(const std::wstring& text, unsigned style) {
        HGDIOBJ previous = SelectObject(m_dc, m_fonts.Get(style));
        SIZE size = {};
        GetTextExtentPoint32W(m_dc, text.c_str(), static_cast<int>(text.size()), &size);
        SelectObject(m_dc, previous);
        return size.cx;
    }

    HDC m_dc = nullptr;
    HFONT m_font = nullptr;
    CSuperLabelFontSet m_fonts;
};

TEST_F(SuperLabelGdiTest, FontVariantsDifferAndWindowFontIsVariantZero) {
    EXPECT_EQ(m_fonts.Get(0), m_font);
    for (unsigned style = 1; style < CSuperLabelFontSet::kVariantCount; ++style) {
        ASSERT_NE(m_fonts.Get(style), nullptr);
        LOGFONTW variant = {};
        ASSERT_EQ(GetObjectW(m_fonts.Get(style), sizeof(variant), &variant), static_cast<int>(sizeof(variant)));
        EXPECT_EQ(variant.lfWeight, (style & 1) ? FW_BOLD : FW_NORMAL) << style;
        EXPECT_EQ(variant.lfItalic != 0, (style & 2) != 0) << style;
        EXPECT_EQ(variant.lfUnderline != 0, (style & 4) != 0) << style;
        EXPECT_EQ(variant.lfHeight, -16) << style;
    }
    EXPECT_GT(Width(L"Bold words here", SuperLabelBold), Width(L"Bold words here", SuperLabelPlain));
}

TEST_F(SuperLabelGdiTest, WrapsWordsAtTheMeasuredWidths) {
    SuperLabelMarkup markup = ParseSuperLabelMarkup(L"\x1B" L"alpha \x04" L"beta\x05 gamma delta");
    std::vector<SuperLabelPiece> pieces = SplitSuperLabelPieces(markup.runs);
    ASSERT_EQ(pieces.size(), 5u);  // "alpha ", "beta", " ", "gamma ", "delta"
    CGdiSuperLabelMeasure measure(m_dc, m_fonts);
    TEXTMETRICW metrics = {};
    HGDIOBJ previous = SelectObject(m_dc, m_font);
    GetTextMetricsW(m_dc, &metrics);
    SelectObject(m_dc, previous);
    ASSERT_GT(metrics.tmHeight, 0);
    EXPECT_EQ(measure.GetLineHeight(), metrics.tmHeight);
    int lineHeight = measure.GetLineHeight();

    int alpha = Width(L"alpha ", SuperLabelPlain);
    int beta = Width(L"beta", SuperLabelBold);
    int space = Width(L" ", SuperLabelPlain);
    int gamma = Width(L"gamma ", SuperLabelPlain);
    int gammaWord = Width(L"gamma", SuperLabelPlain);
    SuperLabelWidths measured = measure.Measure(pieces[3], SuperLabelPlain);
    EXPECT_EQ(measured.full, gamma);
    EXPECT_EQ(measured.visible, gammaWord);

    // Room for "alpha beta " and the word "gamma" but not its space: gamma
    // stays on the first line, delta starts the second.
    int width = alpha + beta + space + gammaWord + 1;
    ASSERT_LT(width, alpha + beta + space + gamma);
    LayOutSuperLabelPieces(pieces, markup.runs, width, 10 * lineHeight, lineHeight, measure);
    EXPECT_EQ(pieces[0].rect.left, 0);
    EXPECT_EQ(pieces[1].rect.left, alpha);
    EXPECT_EQ(pieces[1].rect.right, alpha + beta);
    EXPECT_EQ(pieces[3].rect.left, alpha + beta + space);
    EXPECT_EQ(pieces[3].rect.top, 0);
    EXPECT_EQ(pieces[4].rect.left, 0);
    EXPECT_EQ(pieces[4].rect.top, lineHeight);
    EXPECT_EQ(pieces[4].rect.bottom, 2 * lineHeight);

    // One pixel less and "gamma" moves down with "delta" after it.
    LayOutSuperLabelPieces(pieces, markup.runs, width - 2, 10 * lineHeight, lineHeight, measure);
    EXPECT_EQ(pieces[3].rect.left, 0);
    EXPECT_EQ(pieces[3].rect.top, lineHeight);
    EXPECT_EQ(pieces[4].rect.left, gamma);
    EXPECT_EQ(pieces[4].rect.top, lineHeight);
}

}  // namespace
