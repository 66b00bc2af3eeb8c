#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FailingAllocator.h"
#include "TestSupport.h"
#include "config/BuildConfig.h"
#include "config/InstallerDataSources.h"
#include "config/InstallerDataStore.h"
#include "framework/ScopedHandles.h"

namespace {
const wchar_t kWizardKey[] = L"SOFTWARE\\Tarnwell Utilities Inc\\Wrenstall";
const wchar_t kDebugKey[] = L"SOFTWARE\\Tarnwell Utilities Inc\\Wrenstall\\DebugInstallerData";

std::vector<std::wstring> Describe(const InstallerDataStore& store) {
    std::vector<std::wstring> lines;
    for (const auto& [key, value] : store.Entries()) lines.push_back(key + L"=" + value.text);
    return lines;
}

bool DebugKeyExists() {
    ScopedRegKey key;
    return RegOpenKeyExW(HKEY_CURRENT_USER, kDebugKey, 0, KEY_READ, key.Receive()) == ERROR_SUCCESS;
}

void PutDebugValue(DWORD type, const std::wstring& data) {
    ScopedRegKey key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kDebugKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Receive(),
                              nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key.Get(), L"IDPF", 0, type, reinterpret_cast<const BYTE*>(data.data()),
                             static_cast<DWORD>(data.size() * sizeof(wchar_t))),
              ERROR_SUCCESS);
}

// A trailer of text, preceded by some bytes that stand for the program image.
std::string Trailer(const std::string& text, uint32_t length) {
    std::string bytes = "MZ-program-image-bytes" + text;
    for (int i = 0; i < 4; ++i) bytes += static_cast<char>(length >> (8 * i));
    return bytes + "TWPL";
}

class InstallerDataSources : public testing::Test {
protected:
    void SetUp() override { DeleteRegistryTree(HKEY_CURRENT_USER, kWizardKey); }
    void TearDown() override { DeleteRegistryTree(HKEY_CURRENT_USER, kWizardKey); }

    TemporaryDirectory m_folder;
    const std::wstring m_program = m_folder.File(L"setup.exe");
    const std::wstring m_dataFile = m_program + L".installer_data";
    InstallerDataStore m_store;
};

TEST_F(InstallerDataSources, FileWinsAndLeavesDebugValueAndTrailerAlone) {
    WriteBytes(m_program, Trailer("t=1", 3));
    WriteBytes(m_dataFile, "a=1\r\n");
    PutDebugValue(REG_MULTI_SZ, std::wstring(L"d=1\0", 4) + L'\0');
    InitialInstallerData initial = LoadInitialInstallerData(m_store, m_program);
    EXPECT_EQ(initial.source, InstallerDataSource::File);
    EXPECT_TRUE(initial.ready);
    EXPECT_EQ(Describe(m_store), std::vector<std::wstring>{L"a=1"});
    EXPECT_TRUE(DebugKeyExists());
}

TEST_F(InstallerDataSources, EmptyFileCountsAsLocalData) {
    WriteBytes(m_dataFile, "");
    InitialInstallerData initial = LoadInitialInstallerData(m_store, m_program);
    EXPECT_EQ(initial.source, InstallerDataSource::File);
    EXPECT_TRUE(initial.ready);
    EXPECT_TRUE(m_store.Entries().empty());
}

TEST_F(InstallerDataSources, FileIsReadInTextMode) {
    struct Case {
        std::string content;
        std::vector<std::wstring> entries;
    };
    const Case cases[] = {
        {"\xEF\xBB\xBF" "a=1", {L"\uFEFFa=1"}},          // a byte order mark stays part of the first key
        {"a=1\r\nb=2\x1A" "c=3", {L"a=1", L"b=2"}},      // 0x1A ends the content
        {std::string("a=1\nb=2\0c=3", 11), {L"a=1", L"b=2"}},  // so does a NUL
    };
    for (const Case& c : cases) {
        WriteBytes(m_dataFile, c.content);
        InstallerDataStore store;
        EXPECT_TRUE(LoadInstallerDataFile(store, m_program));
        EXPECT_EQ(Describe(store), c.entries);
    }
}

TEST_F(InstallerDataSources, InvalidUtf8FileFallsBackToTheTrailer) {
    WriteBytes(m_dataFile, "a=\xC3(");
    WriteBytes(m_program, Trailer("t=1", 3));
    InitialInstallerData initial = LoadInitialInstallerData(m_store, m_program);
    EXPECT_EQ(initial.source, InstallerDataSource::Trailer);
    EXPECT_EQ(Describe(m_store), std::vector<std::wstring>{L"t=1"});
}

TEST_F(InstallerDataSources, DebugValueActsOnce) {
    WriteBytes(m_program, Trailer("t=1", 3));
    PutDebugValue(REG_MULTI_SZ, std::wstring(L"?NoxOffer=enabled\0MaxOffers=2\0\0", 31));
    InitialInstallerData initial = LoadInitialInstallerData(m_store, m_program);
    EXPECT_EQ(initial.source, InstallerDataSource::Debug);
    EXPECT_EQ(Describe(m_store), (std::vector<std::wstring>{L"MaxOffers=2", L"NoxOffer=enabled"}));
    EXPECT_TRUE(m_store.Entries().at(L"NoxOffer").isPrivate);
    EXPECT_FALSE(DebugKeyExists());

    InstallerDataStore next;
    EXPECT_EQ(LoadInitialInstallerData(next, m_program).source, InstallerDataSource::Trailer);
}

TEST_F(InstallerDataSources, DebugValueOfAnotherTypeIsIgnoredButConsumed) {
    PutDebugValue(REG_SZ, std::wstring(L"a=1", 4));
    EXPECT_FALSE(LoadDebugInstallerData(m_store));
    EXPECT_FALSE(DebugKeyExists());
}

TEST_F(InstallerDataSources, TrailerCases) {
    struct Case {
        const char* name;
        std::string bytes;
        HRESULT expected;
        std::vector<std::wstring> entries;
    };
    const std::string text = "?NoxOffer=enabled\r\n@upl=dG9rZW4=";
    const Case cases[] = {
        {"valid", Trailer(text, static_cast<uint32_t>(text.size())), S_OK, {L"NoxOffer=enabled", L"upl=dG9rZW4="}},
        {"no magic", "MZ plain program file without data", S_FALSE, {}},
        {"length 0", Trailer("", 0), S_FALSE, {}},
        {"length beyond the file", Trailer("a=1", 0x7FFFFFF0), S_FALSE, {}},
        {"length of the whole file", Trailer("a=1", 3 + 22 + 1), S_FALSE, {}},
        {"shorter than the footer", "WPL", S_FALSE, {}},
        {"only the footer", std::string("\0\0\0\0TWPL", 8), S_FALSE, {}},
        {"invalid UTF-8", Trailer("a=\xFF", 3), static_cast<HRESULT>(0x80070459), {}},
        // UTF-16 would read as its first character only; refused as a whole.
        {"UTF-16", Trailer(std::string("a\0=\0" "1\0", 6), 6), static_cast<HRESULT>(0x8007000D), {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteBytes(m_program, c.bytes);
        InstallerDataStore store;
        EXPECT_EQ(LoadInstallerDataTrailer(store, m_program), c.expected);
        EXPECT_EQ(Describe(store), c.entries);
    }
}

TEST_F(InstallerDataSources, NoLocalDataIsNotReady) {
    WriteBytes(m_program, "MZ no trailer");
    InitialInstallerData initial = LoadInitialInstallerData(m_store, m_program);
    EXPECT_EQ(initial.source, InstallerDataSource::None);
    EXPECT_FALSE(initial.ready);

    InstallerDataStore missing;
    EXPECT_FALSE(LoadInitialInstallerData(missing, m_folder.File(L"absent.exe")).ready);
}

TEST_F(InstallerDataSources, BuildArgumentsMergeOnTop) {
    WriteBytes(m_dataFile, "a=1\nc=old");
    LoadInitialInstallerData(m_store, m_program);
    BuildConfig config;
    const wchar_t image[] = L"InstallerData\0x &a=5 b c=new";
    config.ParseResource(image, sizeof(image));
    ApplyBuildArguments(m_store, config);
    EXPECT_EQ(Describe(m_store), (std::vector<std::wstring>{L"a=1", L"c=new"}));
    ASSERT_EQ(m_store.Items().size(), 3u);
    EXPECT_EQ(m_store.Items()[2].kind, InstallerDataItem::BareArgument);
    EXPECT_EQ(m_store.Items()[2].text, L"b");
}
TEST_F(InstallerDataSources, DebugSubkeyIsRemovedWithEverythingUnderIt) {
    WriteBytes(m_program, Trailer("t=1", 3));
    PutDebugValue(REG_MULTI_SZ, std::wstring(L"d=1\0\0", 5));
    ScopedRegKey child;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, (std::wstring(kDebugKey) + L"\\Child\\Grandchild").c_str(), 0,
                              nullptr, 0, KEY_ALL_ACCESS, nullptr, child.Receive(), nullptr),
              ERROR_SUCCESS);
    child.Reset();
    InitialInstallerData initial = LoadInitialInstallerData(m_store, m_program);
    EXPECT_EQ(initial.source, InstallerDataSource::Debug);
    EXPECT_TRUE(initial.debug.found);
    EXPECT_EQ(initial.debug.removal, S_OK);
    EXPECT_FALSE(DebugKeyExists());

    InstallerDataStore next;
    EXPECT_EQ(LoadInitialInstallerData(next, m_program).source, InstallerDataSource::Trailer);
}

TEST_F(InstallerDataSources, UnreadableSourceIsRecordedAndTheNextOneTried) {
    WriteBytes(m_dataFile, "a=\xC3(");
    WriteBytes(m_program, Trailer("a=\xFF", 3));
    InitialInstallerData initial = LoadInitialInstallerData(m_store, m_program);
    EXPECT_EQ(initial.source, InstallerDataSource::None);
    EXPECT_FALSE(initial.ready);
    EXPECT_EQ(initial.failedSource, InstallerDataSource::Trailer);
    EXPECT_EQ(initial.failure, static_cast<HRESULT>(0x80070459));
}

// Every allocation of a large line's copies failing in turn: the loader
// reports E_OUTOFMEMORY (not loaded), keeps no part of the line, and no
// exception leaves it. With memory enough it loads the whole line.
TEST_F(InstallerDataSources, OutOfMemoryWhileLoadingIsNotLoaded) {
    const std::string line = "?big=" + std::string(1500000, 'x');
    WriteBytes(m_program, Trailer(line, static_cast<uint32_t>(line.size())));
    WriteBytes(m_dataFile, line);
    using Loader = HRESULT (*)(InstallerDataStore&, const std::wstring&);
    for (Loader load : {Loader(LoadInstallerDataTrailer), Loader(ReadInstallerDataFile)}) {
        for (size_t allowed = 0; allowed < 3; ++allowed) {
            SCOPED_TRACE(allowed);
            InstallerDataStore store;
            store.Parse(L"old=1");
            HRESULT hr;
            {
                FailingAllocations failing(1000000, allowed);
                hr = load(store, m_program);
            }
            EXPECT_EQ(hr, E_OUTOFMEMORY);
            EXPECT_EQ(store.Get(L"big"), nullptr);
        }
        InstallerDataStore store;
        EXPECT_EQ(load(store, m_program), S_OK);
        EXPECT_EQ(std::wstring(store.Get(L"big")).size(), 1500000u);
    }
}
}  // namespace
