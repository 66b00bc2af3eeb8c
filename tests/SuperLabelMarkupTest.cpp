// Super-label markup: runs and plain text from the parser, pieces from the
// splitter, and a seeded pass of random markup through parser, splitter and layout.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "ui/labels/SuperLabelLayout.h"
#include "ui/labels/SuperLabelMarkup.h"
#include "ui/labels/LinkColour.h"
#include "ui/labels/SuperLabelPieces.h"

namespace {

const std::wstring kEsc(1, L'\x1B');
const std::wstring kTarget(1, L'\x02');
const std::wstring kText(1, L'\x01');
const std::wstring kEndLink(1, L'\x03');
const std::wstring kBold(1, L'\x04');
const std::wstring kEndBold(1, L'\x05');
const std::wstring kItalic(1, L'\x06');
const std::wstring kEndItalic(1, L'\x07');

struct ExpectedRun {
    unsigned style;
    std::wstring text;
    std::wstring target;
};

struct ParseCase {
    const char* name;
    std::wstring markup;
    std::vector<ExpectedRun> runs;
    bool wellFormed;
};

void PrintTo(const ParseCase& c, std::ostream* out) { *out << c.name; }

class SuperLabelParseTest : public testing::TestWithParam<ParseCase> {};

TEST_P(SuperLabelParseTest, GivesRunsAndPlainText) {
    const ParseCase& c = GetParam();
    SuperLabelMarkup markup = ParseSuperLabelMarkup(c.markup);
    EXPECT_EQ(markup.wellFormed, c.wellFormed);
    ASSERT_EQ(markup.runs.size(), c.runs.size());
    std::wstring plain;
    for (std::size_t i = 0; i < c.runs.size(); ++i) {
        EXPECT_EQ(markup.runs[i].style, c.runs[i].style) << i;
        EXPECT_EQ(markup.runs[i].text, c.runs[i].text) << i;
        EXPECT_EQ(markup.runs[i].target, c.runs[i].target) << i;
        plain += c.runs[i].text;
    }
    EXPECT_EQ(markup.plainText, plain);
}

const ParseCase kParseCases[] = {
    {"marker alone is empty", kEsc, {}, true},
    {"empty text", L"", {}, true},
    {"plain text without marker", L"Hello there", {{SuperLabelPlain, L"Hello there", L""}}, true},
    {"bold in the middle",
     kEsc + L"Click " + kBold + L"Next" + kEndBold + L" to go on.",
     {{SuperLabelPlain, L"Click ", L""}, {SuperLabelBold, L"Next", L""}, {SuperLabelPlain, L" to go on.", L""}},
     true},
    {"italic at the start", kEsc + kItalic + L"note" + kEndItalic + L" end",
     {{SuperLabelItalic, L"note", L""}, {SuperLabelPlain, L" end", L""}}, true},
    {"link with target and text",
     kEsc + L"Read the " + kTarget + L"https://kelvora.example/eula" + kText + L"EULA" + kEndLink + L".",
     {{SuperLabelPlain, L"Read the ", L""},
      {SuperLabelLink, L"EULA", L"https://kelvora.example/eula"},
      {SuperLabelPlain, L".", L""}},
     true},
    {"link without its separator stops before the link",
     kEsc + L"Before " + kTarget + L"target" + kEndLink + L"after", {{SuperLabelPlain, L"Before ", L""}}, false},
    {"bold never closed is dropped", kEsc + L"A " + kBold + L"bold text", {{SuperLabelPlain, L"A ", L""}}, false},
    {"link never closed is dropped", kEsc + L"A " + kTarget + L"t" + kText + L"shown?", {{SuperLabelPlain, L"A ", L""}},
     false},
    {"link target never ended is dropped", kEsc + L"A " + kTarget + L"http://x", {{SuperLabelPlain, L"A ", L""}}, false},
    {"link inside bold is an error", kEsc + kBold + L"b " + kTarget + L"t" + kText + L"x" + kEndLink + kEndBold, {},
     false},
    {"bold inside a link is an error", kEsc + L"p" + kTarget + L"t" + kText + kBold + L"x" + kEndBold + kEndLink,
     {{SuperLabelPlain, L"p", L""}}, false},
    {"stray closing mark drops the plain run in progress", kEsc + L"x" + kEndBold + L"y", {}, false},
    {"stray separator in plain text", kEsc + L"ok" + kBold + L"b" + kEndBold + L"x" + kText, {{SuperLabelPlain, L"ok", L""}, {SuperLabelBold, L"b", L""}},
     false},
    {"end of text unit ends the text", kEsc + L"ab" + std::wstring(1, L'\0') + L"cd", {{SuperLabelPlain, L"ab", L""}},
     true},
    {"end of text inside bold is an error", kEsc + kBold + L"ab" + std::wstring(1, L'\0') + L"cd" + kEndBold, {}, false},
    {"only the first marker is skipped", kEsc + kEsc + L"x", {{SuperLabelPlain, L"\x1Bx", L""}}, true},
    {"units above 7 are text", kEsc + L"\x08\x0A\x1F\xFFFF", {{SuperLabelPlain, L"\x08\x0A\x1F\xFFFF", L""}}, true},
    {"empty styled runs leave no run", kEsc + kBold + kEndBold + kItalic + kEndItalic + L"z",
     {{SuperLabelPlain, L"z", L""}}, true},
};

INSTANTIATE_TEST_SUITE_P(SuperLabelMarkup, SuperLabelParseTest, testing::ValuesIn(kParseCases));

struct ExpectedPiece {
    std::wstring text;
    std::size_t visibleLength;
    std::size_t run;
    bool lineBreak;
};

TEST(SuperLabelPieces, SplitsWordsWithTheirWhiteSpaceAndEndsPiecesAtRunEnds) {
    std::vector<SuperLabelRun> runs = {
        {SuperLabelPlain, L"Hello  world\nnext ab", L""},
        {SuperLabelBold, L"cd to", L""},
        {SuperLabelPlain, L" \tend", L""},
    };
    const ExpectedPiece expected[] = {
        {L"Hello  ", 5, 0, false}, {L"world\n", 5, 0, true}, {L"next ", 4, 0, false}, {L"ab", 2, 0, false},
        {L"cd ", 2, 1, false},     {L"to", 2, 1, false},     {L" \t", 0, 2, false},   {L"end", 3, 2, false},
    };
    std::vector<SuperLabelPiece> pieces = SplitSuperLabelPieces(runs);
    ASSERT_EQ(pieces.size(), std::size(expected));
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        EXPECT_EQ(pieces[i].text, expected[i].text) << i;
        EXPECT_EQ(pieces[i].visibleLength, expected[i].visibleLength) << i;
        EXPECT_EQ(pieces[i].run, expected[i].run) << i;
        EXPECT_EQ(pieces[i].lineBreak, expected[i].lineBreak) << i;
        EXPECT_TRUE(pieces[i].rect.IsEmpty()) << i;
    }
    EXPECT_EQ(FindLongestSuperLabelPiece(pieces), 0u);
    EXPECT_EQ(FindLongestSuperLabelPiece({}), 0u);
}

// Links keep the theme's colour only where it reads (4.5:1).
TEST(SuperLabelLinkColour, ThemeColourOnlyWithEnoughContrast) {
    EXPECT_NEAR(ContrastRatio(RGB(255, 255, 255), RGB(0, 0, 0)), 21.0, 0.01);
    EXPECT_NEAR(ContrastRatio(RGB(10, 20, 30), RGB(10, 20, 30)), 1.0, 0.001);
    const COLORREF page = RGB(0xF5, 0xF5, 0xF5), text = RGB(0, 0, 0);
    EXPECT_EQ(ChooseLinkColour(RGB(0xE0, 0xE0, 0xE0), page, text), kFixedLinkBlue) << "nearly white on light grey";
    EXPECT_EQ(ChooseLinkColour(RGB(0x00, 0x33, 0x99), page, text), RGB(0x00, 0x33, 0x99)) << "a dark theme blue stays";
    EXPECT_GE(ContrastRatio(kFixedLinkBlue, RGB(0xF0, 0xF0, 0xF0)), 4.5);
    EXPECT_GE(ContrastRatio(kFixedLinkBlue, RGB(255, 255, 255)), 4.5);
    // A dark page where neither reads: the label's own text colour.
    EXPECT_EQ(ChooseLinkColour(RGB(0x20, 0x20, 0x60), RGB(0x10, 0x10, 0x10), RGB(0xEE, 0xEE, 0xEE)),
              RGB(0xEE, 0xEE, 0xEE));
}

// Japanese has no spaces: lines may break between characters, but not before
// a closing mark or small kana, nor after an opening mark.
TEST(SuperLabelPieces, BreaksJapaneseBetweenCharacters) {
    std::vector<SuperLabelRun> runs = {{SuperLabelPlain, L"終了するには [キャンセル] をクリックしてください。", L""}};
    std::vector<std::wstring> texts;
    for (const SuperLabelPiece& piece : SplitSuperLabelPieces(runs)) texts.push_back(piece.text);
    const std::vector<std::wstring> expected = {L"終", L"了", L"す", L"る", L"に", L"は ", L"[キャ", L"ン", L"セ",
                                                L"ル] ", L"を", L"ク", L"リッ", L"ク", L"し", L"て", L"く", L"だ",
                                                L"さ", L"い。"};
    EXPECT_EQ(texts, expected);
    // Latin words keep together, also next to Japanese.
    runs = {{SuperLabelPlain, L"Kelvora をWindows", L""}};
    texts.clear();
    for (const SuperLabelPiece& piece : SplitSuperLabelPieces(runs)) texts.push_back(piece.text);
    EXPECT_EQ(texts, (std::vector<std::wstring>{L"Kelvora ", L"を", L"Windows"}));
}

// Ten pixels per character: enough to check placement without a font.
class FixedWidthMeasure : public ISuperLabelMeasure {
public:
    SuperLabelWidths Measure(const SuperLabelPiece& piece, unsigned) override {
        ++m_nCalls;
        return {static_cast<int>(piece.text.size()) * 10, static_cast<int>(piece.visibleLength) * 10};
    }
    std::size_t m_nCalls = 0;
};

// Rounds of the random markup pass: a short one in the test run;
// bench/label-markup-fuzz.sh sets WRENSTALL_LABEL_FUZZ_ROUNDS (and the seed) for long runs.
unsigned long EnvironmentNumber(const char* name, unsigned long fallback) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? std::strtoul(value, nullptr, 10) : fallback;
}

// A seeded pass of random markup: the parse keeps its invariants, the pieces
// cover the visible text exactly and the layout keeps inside its lines.
TEST(SuperLabelMarkupFuzz, RandomMarkupKeepsInvariants) {
    const wchar_t alphabet[] = {0, 1, 2, 3, 4, 5, 6, 7, 0x1B, L'a', L'b', L' ', L'\n', L'\t', 0x3042, 0xD800, 0xFFFF};
    const unsigned long rounds = EnvironmentNumber("WRENSTALL_LABEL_FUZZ_ROUNDS", 3000);
    std::mt19937 random(static_cast<std::mt19937::result_type>(EnvironmentNumber("WRENSTALL_LABEL_FUZZ_SEED", 20261210)));
    std::uniform_int_distribution<std::size_t> pick(0, std::size(alphabet) - 1);
    std::uniform_int_distribution<std::size_t> length(0, 48);
    std::uniform_int_distribution<int> size(0, 120);
    for (unsigned long round = 0; round < rounds; ++round) {
        std::wstring text;
        std::size_t n = length(random);
        for (std::size_t i = 0; i < n; ++i) text.push_back(alphabet[pick(random)]);
        SuperLabelMarkup markup = ParseSuperLabelMarkup(text);
        std::wstring visible;
        for (const SuperLabelRun& run : markup.runs) {
            ASSERT_FALSE(run.text.empty());
            for (wchar_t unit : run.text) ASSERT_GT(unit, 7);
            for (wchar_t unit : run.target) ASSERT_GT(unit, 7);
            ASSERT_TRUE(run.style == SuperLabelPlain || run.style == SuperLabelBold || run.style == SuperLabelItalic ||
                        run.style == SuperLabelLink);
            if (run.style != SuperLabelLink) {
                ASSERT_TRUE(run.target.empty());
            }
            visible += run.text;
        }
        ASSERT_EQ(markup.plainText, visible);
        ASSERT_LE(visible.size(), text.size());

        std::vector<SuperLabelPiece> pieces = SplitSuperLabelPieces(markup.runs);
        std::wstring joined;
        for (const SuperLabelPiece& piece : pieces) {
            ASSERT_FALSE(piece.text.empty());
            ASSERT_LE(piece.visibleLength, piece.text.size());
            joined += piece.text;
        }
        ASSERT_EQ(joined, visible);

        FixedWidthMeasure measure;
        int width = size(random);
        int height = size(random);
        LayOutSuperLabelPieces(pieces, markup.runs, width, height, 12, measure);
        ASSERT_LE(measure.m_nCalls, 2 * pieces.size());
        for (const SuperLabelPiece& piece : pieces) {
            if (piece.rect.IsEmpty()) continue;
            ASSERT_GE(piece.rect.left, 0);
            ASSERT_EQ(piece.rect.top % 12, 0);
            ASSERT_LE(piece.rect.bottom, height);
        }
    }
}

}  // namespace
