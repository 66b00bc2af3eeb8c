#include <gtest/gtest.h>

#include <map>
#include <string>

#include "config/BuildConfig.h"

namespace {
std::map<std::wstring, std::wstring> Parse(const std::wstring& image, size_t extraBytes = 0) {
    std::string bytes(reinterpret_cast<const char*>(image.data()), image.size() * sizeof(wchar_t));
    bytes.append(extraBytes, 'x');
    BuildConfig config;
    config.ParseResource(bytes.data(), bytes.size());
    return config.Entries();
}

TEST(BuildConfig, ParsesAlternatingStrings) {
    using Map = std::map<std::wstring, std::wstring>;
    EXPECT_EQ(Parse(std::wstring(L"a\0" L"1\0" L"b\0" L"\0", 8)), (Map{{L"a", L"1"}, {L"b", L""}}));
    EXPECT_EQ(Parse(std::wstring(L"a\0" L"1\0" L"a\0" L"2\0", 8)), (Map{{L"a", L"2"}}));
    // A final key without its value, and an odd last byte, are ignored.
    EXPECT_EQ(Parse(std::wstring(L"a\0" L"1\0" L"k\0", 6)), (Map{{L"a", L"1"}}));
    EXPECT_EQ(Parse(std::wstring(L"a\0" L"1\0", 4), 1), (Map{{L"a", L"1"}}));
    EXPECT_EQ(Parse(std::wstring(L"a\0" L"1", 3)), Map{});
    EXPECT_EQ(Parse(L""), Map{});
}

TEST(BuildConfig, ShippedResourceHoldsTheSixPairs) {
    BuildConfig config;
    ASSERT_EQ(LoadBuildConfig(config), S_OK);
    EXPECT_EQ(config.Entries().size(), 6u);
    EXPECT_STREQ(config.Get(L"PayloadVersion"), L"2.4.1");
    EXPECT_STREQ(config.Get(L"ProductCode"), L"TW6");
    EXPECT_STREQ(config.Get(L"AppExe"), L"%ProgramFiles%\\Kelvora\\Kelvora.exe");
    EXPECT_STREQ(config.Get(L"PageOrder"), L"CWelcomePage,CProgressPage,CFinishedPage");
    std::wstring payload = config.Get(L"Payload");
    EXPECT_EQ(payload.rfind(L"CMsiExecutor|http://", 0), 0u) << payload.c_str();
    EXPECT_TRUE(payload.ends_with(L"-setup.msi.bz2"));
    EXPECT_TRUE(std::wstring(config.Get(L"NoxUrl")).ends_with(L".exe.bz2"));
    EXPECT_EQ(config.Get(L"productcode"), nullptr);
}
}  // namespace
