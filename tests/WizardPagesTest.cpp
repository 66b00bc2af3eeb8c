// The wizard pages' rules that need no window: the countdown's range and the
// about box's build time.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "app/AboutDialog.h"
#include "framework/WindowText.h"
#include "ui/FinishedPage.h"

namespace {
TEST(FinishedPageCountdown, TakesOneToOneHundredTwentySeconds) {
    const struct {
        const wchar_t* value;
        int seconds;
    } cases[] = {
        {L"5", 5}, {L"1", 1}, {L"120", 120}, {L"121", 0}, {L"0", 0}, {L"-3", 0}, {L"abc", 0}, {L"", 0}, {L"7x", 7},
    };
    for (const auto& c : cases) EXPECT_EQ(CFinishedPage::CountdownSeconds(c.value), c.seconds) << c.value;
    EXPECT_EQ(CFinishedPage::CountdownSeconds(nullptr), 0);
}

TEST(AboutBuildTime, IsTheLinkTimeInLocalTime) {
    std::time_t linked = CAboutDialog::LinkTimeOf(nullptr);
    EXPECT_GT(linked, 1600000000) << "the executable header's time stamp";
    std::wstring text = CAboutDialog::FormatBuildTime(linked, CAboutDialog::DisplayLocale());
    EXPECT_FALSE(text.empty());
    std::tm local = {};
    ASSERT_EQ(localtime_s(&local, &linked), 0);
    EXPECT_NE(text.find(std::to_wstring(local.tm_year + 1900)), std::wstring::npos) << text;
}

// How a text names a button: its caption without the accelerator mark.
TEST(StringTables, CaptionsReadAsTheButtonsShowThem) {
    const struct {
        const wchar_t* caption;
        const wchar_t* text;
    } cases[] = {
        {L"I &Agree", L"I Agree"},          {L"Accept && Inst&all", L"Accept & Install"},
        {L"同意する(&A)", L"同意する"},     {L"同意してインストール(&A)", L"同意してインストール"},
        {L"&&", L"&"},                       {L"end&", L"end"},
        {L"(&)", L"()"},                     {L"", L""},
    };
    for (const auto& c : cases) EXPECT_EQ(CaptionWithoutMnemonic(c.caption), c.text) << ToUtf8(c.caption);
}

TEST(StringTables, AboutTitleIsTheMenuItemWithoutMarks) {
    EXPECT_EQ(CAboutDialog::TitleFromMenuItem(L"&About Kelvora Setup Wizard..."), L"About Kelvora Setup Wizard");
    EXPECT_EQ(CAboutDialog::TitleFromMenuItem(L"Inf&o über den Kelvora Setup-Assistenten..."),
              L"Info über den Kelvora Setup-Assistenten");
    EXPECT_EQ(CAboutDialog::TitleFromMenuItem(L"Kelvora セットアップ ウィザードのバージョン情報(&A)..."),
              L"Kelvora セットアップ ウィザードのバージョン情報");
    EXPECT_EQ(CAboutDialog::TitleFromMenuItem(L"(&"), L"(");
    EXPECT_EQ(CAboutDialog::TitleFromMenuItem(L""), L"");
}

// The platform's own long date of each language (a C library date would be
// garbled in Japanese and English in German).
TEST(AboutBuildTime, IsWrittenInTheLanguageOfTheTexts) {
    const std::time_t midJune2026 = 1781524800;  // 2026-06-15 12:00 UTC: the 15th in every time zone
    const struct {
        LANGID language;
        const wchar_t* part;
    } cases[] = {
        {MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), L"June"},
        {MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN), L"Juni 2026"},
        {MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH), L"juin 2026"},
        {MAKELANGID(LANG_SPANISH, SUBLANG_SPANISH_MODERN), L"junio de 2026"},
        {MAKELANGID(LANG_JAPANESE, SUBLANG_JAPANESE_JAPAN), L"2026年6月15日"},
    };
    for (const auto& c : cases) {
        std::wstring text = CAboutDialog::FormatBuildTime(midJune2026, MAKELCID(c.language, SORT_DEFAULT));
        EXPECT_NE(text.find(c.part), std::wstring::npos) << "language " << c.language << ": " << ToUtf8(text);
    }
}
}  // namespace
