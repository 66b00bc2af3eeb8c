// The message box's button sets, accelerator characters and layout figures.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/MessageBoxLayout.h"

namespace {
struct ButtonSetCase {
    UINT style;
    std::vector<UINT> ids;
    bool hasCancelExit;
    UINT closeResult;
};

class ButtonSets : public ::testing::TestWithParam<ButtonSetCase> {};

TEST_P(ButtonSets, IdsExitAndCloseResult) {
    const ButtonSetCase& c = GetParam();
    MessageBoxButtonSet set = GetMessageBoxButtonSet(c.style | MB_ICONERROR | MB_DEFBUTTON2);
    EXPECT_EQ(set.ids, c.ids);
    EXPECT_EQ(set.hasCancelExit, c.hasCancelExit);
    EXPECT_EQ(set.closeResult, c.closeResult);
}

INSTANTIATE_TEST_SUITE_P(
    Styles, ButtonSets,
    ::testing::Values(ButtonSetCase{0, {1}, false, 1}, ButtonSetCase{1, {1, 2}, true, 2},
                      ButtonSetCase{2, {3, 4, 5}, false, 3}, ButtonSetCase{3, {6, 7, 2}, true, 2},
                      ButtonSetCase{4, {6, 7}, false, 7}, ButtonSetCase{5, {4, 2}, true, 2},
                      ButtonSetCase{6, {2, 10, 11}, true, 2}, ButtonSetCase{7, {1}, false, 1},
                      ButtonSetCase{8, {1}, false, 1}, ButtonSetCase{15, {1}, false, 1}));

TEST(MessageBoxCaptions, BuiltInCaptions) {
    EXPECT_STREQ(GetBuiltInButtonCaption(1), L"OK");
    EXPECT_STREQ(GetBuiltInButtonCaption(4), L"&Retry");
    EXPECT_STREQ(GetBuiltInButtonCaption(11), L"&Continue");
    EXPECT_STREQ(GetBuiltInButtonCaption(0), L"");
    EXPECT_STREQ(GetBuiltInButtonCaption(12), L"");
}

TEST(MessageBoxCaptions, AcceleratorCharacters) {
    struct Case {
        const wchar_t* caption;
        WCHAR expected;
    } cases[] = {
        {L"&Retry", L'R'},          {L"I &agree", L'A'},         {L"Accept && Inst&all", L'A'},
        {L"Cancel", 0},             {L"&&", 0},                  {L"Trailing&", 0},
        {L"\x306F\x3044(&Y)", L'Y'}, {L"&s\x00ED", L'S'},         {L"\x00E0 &propos", L'P'},
        {L"&\x00E9tape", 0x00C9},
    };
    for (const Case& c : cases) EXPECT_EQ(GetAcceleratorCharacter(c.caption), c.expected) << c.caption;
}

// Base units of 6 x 13 pixels: margin 7 units = 11 px, gap 5 = 8, button 50 x 14 = 75 x 23.
MessageBoxMetrics StandardMetrics(int buttons, UINT defaultBits, SIZE icon, SIZE mainText) {
    MessageBoxMetrics m;
    m.margin = 11;
    m.gap = 8;
    m.buttonWidth = 75;
    m.buttonHeight = 23;
    m.textWidthLimit = 270;
    m.minContentHeight = 3 * 13 + 8 + 11;
    m.icon = icon;
    m.mainText = mainText;
    m.buttonCount = buttons;
    m.defaultBits = defaultBits;
    return m;
}

struct LayoutCase {
    const char* name;
    int buttons;
    UINT defaultBits;
    SIZE icon;
    SIZE mainText;
    // Expected figures.
    int defaultButton;
    int contentBottom;
    int clientWidth;
    int clientHeight;
    int firstButtonLeft;
};

class MessageBoxLayouts : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(MessageBoxLayouts, Figures) {
    const LayoutCase& c = GetParam();
    MessageBoxLayout layout = ComputeMessageBoxLayout(StandardMetrics(c.buttons, c.defaultBits, c.icon, c.mainText));
    ASSERT_EQ(layout.buttons.size(), static_cast<size_t>(c.buttons));
    EXPECT_EQ(layout.defaultButton, c.defaultButton);
    EXPECT_EQ(layout.content.bottom - 1, c.contentBottom);
    EXPECT_EQ(layout.strip.top, c.contentBottom);
    EXPECT_EQ(layout.client.cx, c.clientWidth);
    EXPECT_EQ(layout.client.cy, c.clientHeight);
    EXPECT_EQ(layout.buttons.front().left, c.firstButtonLeft);
    // Buttons: one row under the content, left to right, a gap apart, the last at the right margin.
    for (size_t i = 0; i < layout.buttons.size(); ++i) {
        const RECT& b = layout.buttons[i];
        EXPECT_EQ(b.top, c.contentBottom + 8 + 1);
        EXPECT_EQ(b.right - b.left, 75);
        EXPECT_EQ(b.bottom - b.top, 23);
        if (i > 0) {
            EXPECT_EQ(b.left, layout.buttons[i - 1].right + 8);
        }
    }
    EXPECT_EQ(layout.buttons.back().right, layout.client.cx - 11);
    EXPECT_EQ(layout.client.cy, layout.buttons.back().bottom + 11);
    // The text column starts right of the icon.
    if (c.icon.cx > 0 && c.mainText.cx > 0) {
        EXPECT_EQ(layout.mainText.left, 11 + c.icon.cx + 11);
    }
}

INSTANTIATE_TEST_SUITE_P(
    ButtonSetsAndTexts, MessageBoxLayouts,
    ::testing::Values(
        // One OK button under a short text with an icon: the text column sets the width.
        LayoutCase{"ok_with_icon", 1, 0, {32, 32}, {200, 20}, 0, 58, 11 + 32 + 11 + 200 + 11, 58 + 9 + 23 + 11,
                   254 - 75},
        // Two buttons, default bits 1: the second is the default.
        LayoutCase{"ok_cancel_default_second", 2, 1, {32, 32}, {200, 20}, 1, 58, 265, 101, 265 - 11 - 75 - 8 - 75},
        // Three buttons under a tiny text: the button row sets the width.
        LayoutCase{"yes_no_cancel_short_text", 3, 0, {32, 32}, {30, 20}, 0, 58, 11 + 3 * 75 + 2 * 8 + 11, 101, 11},
        // Default bits beyond the count fall back to the first button.
        LayoutCase{"yes_no_default_third", 2, 2, {0, 0}, {270, 20}, 0, 58, 292, 101, 292 - 11 - 75 - 8 - 75},
        // A long, wrapped text grows the box downwards.
        LayoutCase{"long_text", 1, 0, {32, 32}, {270, 130}, 0, 11 + 130 + 11 + 1, 11 + 32 + 11 + 270 + 11,
                   153 + 9 + 23 + 11, 335 - 11 - 75},
        // No text at all: the minimum content height.
        LayoutCase{"empty_text", 1, 0, {0, 0}, {0, 0}, 0, 58, 11 + 75 + 11, 101, 11}),
    [](const auto& info) { return std::string(info.param.name); });
}  // namespace
