// The wizard pages' rules that need no window: the countdown's range and the
// about box's build time.
#include <gtest/gtest.h>

#include "app/AboutDialog.h"
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
    std::wstring text = CAboutDialog::FormatBuildTime(linked);
    EXPECT_FALSE(text.empty());
    std::tm local = {};
    ASSERT_EQ(localtime_s(&local, &linked), 0);
    EXPECT_NE(text.find(std::to_wstring(local.tm_year + 1900)), std::wstring::npos) << text;
}
}  // namespace
