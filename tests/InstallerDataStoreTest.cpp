#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "FailingAllocator.h"
#include "TestSupport.h"
#include "config/InstallerDataLimits.h"
#include "config/InstallerDataStore.h"
#include "framework/Exceptions.h"
#include "framework/ScopedHandles.h"

namespace {
// "key=value flags" for every entry in key order; flags: - / private / persistent.
std::vector<std::wstring> Describe(const InstallerDataStore& store) {
    std::vector<std::wstring> lines;
    for (const auto& [key, value] : store.Entries()) {
        const wchar_t* flags = value.isPersistent ? L"persistent" : value.isPrivate ? L"private" : L"-";
        lines.push_back(key + L"=" + value.text + L" " + flags);
    }
    return lines;
}

std::vector<std::wstring> ArgumentBlock(const InstallerDataStore& store, SIZE_T* blockBytes = nullptr) {
    wchar_t** block = nullptr;
    int count = -1;
    EXPECT_EQ(store.BuildArgumentBlock(&block, &count), S_OK);
    ScopedLocalMemory owner(block);
    std::vector<std::wstring> strings;
    if (!block) return strings;
    SIZE_T size = LocalSize(block);
    if (blockBytes) *blockBytes = size;
    auto begin = reinterpret_cast<const char*>(block);
    for (int i = 0; i < count; ++i) {
        auto string = reinterpret_cast<const char*>(block[i]);
        // Every pointer points into the block, after the pointer array.
        EXPECT_GE(string, begin + count * sizeof(wchar_t*));
        EXPECT_LT(string, begin + size);
        strings.push_back(block[i]);
    }
    return strings;
}

struct ParseCase {
    const wchar_t* text;
    std::vector<std::wstring> entries;
};

class ParseTest : public testing::TestWithParam<ParseCase> {};

TEST_P(ParseTest, GivesEntries) {
    InstallerDataStore store;
    EXPECT_EQ(store.Parse(GetParam().text), S_OK);
    EXPECT_EQ(Describe(store), GetParam().entries);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ParseTest,
    testing::Values(
        ParseCase{L"a=1\r\n\r\nb=2", {L"a=1 -", L"b=2 -"}},
        ParseCase{L"\n\na=1", {L"a=1 -"}},
        ParseCase{L"\r\na=1\rb=2\n", {L"a=1 -", L"b=2 -"}},
        ParseCase{L"=x\n?=x\nc=3", {L"c=3 -"}},
        ParseCase{L"a==b", {L"a==b -"}},
        ParseCase{L"a = b", {L"a = b -"}},
        ParseCase{L"a=1\n&a=2", {L"a=1 -"}},
        ParseCase{L"&a=1\na=2", {L"a=2 -"}},
        ParseCase{L"?x=1\nx=2", {L"x=2 -"}},
        ParseCase{L"@upl=abc", {L"upl=abc persistent"}},
        ParseCase{L"?&@k=v", {L"k=v persistent"}},
        ParseCase{L"P2_ORIGIN=7", {L"secondOfferOrigin=7 -"}},
        ParseCase{L"p2=1\nP2=2\np2_origin=3", {L"p2=2 -", L"p2_origin=3 -"}},
        ParseCase{L"UL_STUBID=s", {L"ul_stubid=s -"}},
        ParseCase{L"no equals\n\nempty=", {L"empty= -"}},
        ParseCase{L"+DO_NOT_SAVE+ \nB=1", {L"B=1 -"}},
        ParseCase{L"", {}}));

TEST(InstallerDataStore, MarkersAreWholeLinesOnly) {
    InstallerDataStore store;
    store.Parse(L"+DO_NOT_SAVE+ \n+do_not_erase+");
    EXPECT_FALSE(store.DoNotSave());
    EXPECT_FALSE(store.DoNotErase());
    store.Parse(L"+DO_NOT_ERASE+\r\n+DO_NOT_SAVE+");
    EXPECT_TRUE(store.DoNotSave());
    EXPECT_TRUE(store.DoNotErase());
}

TEST(InstallerDataStore, ParseReplacesEverything) {
    InstallerDataStore store;
    store.Parse(L"a=1\n+DO_NOT_SAVE+");
    store.AddArgument(L"bare");
    store.Parse(L"b=2");
    EXPECT_EQ(Describe(store), std::vector<std::wstring>{L"b=2 -"});
    EXPECT_EQ(store.Items().size(), 1u);
    EXPECT_FALSE(store.DoNotSave());
    EXPECT_EQ(store.Get(L"a"), nullptr);
}

TEST(InstallerDataStore, GetAppliesNoAlias) {
    InstallerDataStore store;
    store.Parse(L"P2_ORIGIN=7");
    ASSERT_NE(store.Get(L"secondOfferOrigin"), nullptr);
    EXPECT_STREQ(store.Get(L"secondOfferOrigin"), L"7");
    EXPECT_EQ(store.Get(L"P2_ORIGIN"), nullptr);
}

TEST(InstallerDataStore, SetEntryResults) {
    InstallerDataStore store;
    EXPECT_EQ(store.SetEntry(L"&?@", L"x"), S_FALSE);
    EXPECT_EQ(store.SetEntry(L"a", L"1"), S_OK);
    EXPECT_EQ(store.SetEntry(L"&a", L"2"), S_FALSE);
    EXPECT_EQ(store.SetEntry(L"a", L"3"), S_OK);
    EXPECT_STREQ(store.Get(L"a"), L"3");
}

TEST(InstallerDataStore, Utf8InputConvertsOrLeavesTheStoreAlone) {
    InstallerDataStore store;
    EXPECT_EQ(store.ParseUtf8("name=J\xC3\xBCrgen\r\nk=\xE6\x97\xA5"), S_OK);
    EXPECT_EQ(Describe(store), (std::vector<std::wstring>{L"k=\u65E5 -", L"name=J\u00FCrgen -"}));

    EXPECT_EQ(store.ParseUtf8("a=\x80"), static_cast<HRESULT>(0x80070459));
    EXPECT_EQ(Describe(store), (std::vector<std::wstring>{L"k=\u65E5 -", L"name=J\u00FCrgen -"}));

    EXPECT_EQ(store.ParseUtf8(""), S_OK);
    EXPECT_TRUE(store.Entries().empty());
}

// With one reallocation of the item array per key this input would take hours.
TEST(InstallerDataStore, MillionKeysParseCompletelyInFirstAppearanceOrder) {
    const unsigned keys = 1000000;
    std::string text;
    text.reserve(keys * 18);
    char line[32];
    for (unsigned i = keys; i-- > 0;) {  // descending, so the item order differs from the key order
        snprintf(line, sizeof(line), "k%07u=v%u\r\n", i, i);
        text += line;
    }
    InstallerDataStore store;
    ASSERT_EQ(store.ParseUtf8(text.c_str()), S_OK);
    ASSERT_EQ(store.Entries().size(), keys);
    ASSERT_EQ(store.Items().size(), keys);
    EXPECT_EQ(store.Items().front().entry->first, L"k0999999");
    EXPECT_EQ(store.Items().back().entry->first, L"k0000000");
    EXPECT_EQ(store.Items()[400000].entry->first, L"k0599999");
    EXPECT_STREQ(store.Get(L"k0500000"), L"v500000");
}

TEST(InstallerDataStore, OutOfMemory) {
    InstallerDataStore store;
    store.Parse(L"old=1");
    const std::string big = "a=" + std::string(300000, 'x');
    {
        // The converted text cannot be had: E_OUTOFMEMORY, the store as it was.
        FailingAllocations failing(200000);
        EXPECT_EQ(store.ParseUtf8(big.c_str()), E_OUTOFMEMORY);
    }
    EXPECT_STREQ(store.Get(L"old"), L"1");

    // The store cannot grow: the error model's out-of-memory error.
    bool thrown = false;
    try {
        FailingAllocations failing(1, 2);
        store.Parse(L"a=1\nb=2\nc=3\nd=4");
    } catch (CMemoryException* e) {
        thrown = true;
        e->Delete();
    }
    EXPECT_TRUE(thrown);
    EXPECT_GT(FailingAllocations::Refused(), 0u);
}

TEST(InstallerDataStore, ArgumentBlockKeepsFirstAppearanceOrderAndSkipsPrivate) {
    InstallerDataStore store;
    store.Parse(L"b=1\n?secret=s\na=2\n@upl=token");
    store.AddArgument(L"/quiet");
    store.SetEntry(L"b", L"3");  // an update keeps b's position
    store.AddArgument(L"/quiet");
    EXPECT_EQ(ArgumentBlock(store), (std::vector<std::wstring>{L"b=3", L"a=2", L"/quiet", L"/quiet"}));
}

TEST(InstallerDataStore, ArgumentBlockLayoutIsExact) {
    InstallerDataStore store;
    store.Parse(L"ab=c");
    store.AddArgument(L"x");
    SIZE_T bytes = 0;
    EXPECT_EQ(ArgumentBlock(store, &bytes), (std::vector<std::wstring>{L"ab=c", L"x"}));
    // Two pointers, then "ab=c\0x\0".
    EXPECT_EQ(bytes, 2 * sizeof(wchar_t*) + (5 + 2) * 2u);
}

// Four zero bytes in the 32-bit program.
TEST(InstallerDataStore, ArgumentBlockOfOnlyPrivateEntriesIsOneNullPointer) {
    InstallerDataStore store;
    store.Parse(L"?a=1\n@b=2");
    wchar_t** block = nullptr;
    int count = -1;
    ASSERT_EQ(store.BuildArgumentBlock(&block, &count), S_OK);
    ScopedLocalMemory owner(block);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(LocalSize(block), sizeof(wchar_t*));
    EXPECT_EQ(*block, nullptr);
}

TEST(InstallerDataStore, CommandLineSplitsLikeAProgramsArguments) {
    InstallerDataStore store;
    store.Parse(L"a=1");
    EXPECT_EQ(store.ApplyCommandLine(L"prog.exe x &a=5 \"q=with space\" b"), S_OK);
    EXPECT_EQ(Describe(store), (std::vector<std::wstring>{L"a=1 -", L"q=with space -"}));
    EXPECT_EQ(ArgumentBlock(store), (std::vector<std::wstring>{L"a=1", L"x", L"q=with space", L"b"}));
    const wchar_t* none[] = {L"prog"};
    EXPECT_EQ(store.ApplyArguments(none, 0), E_INVALIDARG);
}

class InstallerDataSave : public testing::Test {
protected:
    const std::wstring m_keyPath = L"SOFTWARE\\Wrenstall Tests\\Save";
    void SetUp() override { DeleteRegistryTree(HKEY_LOCAL_MACHINE, m_keyPath); }
    void TearDown() override { DeleteRegistryTree(HKEY_LOCAL_MACHINE, m_keyPath); }

    void PutExisting(const wchar_t* name, const wchar_t* value) {
        ScopedRegKey key;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, (m_keyPath + L"\\InstallerData").c_str(), 0, nullptr, 0,
                                  KEY_ALL_ACCESS, nullptr, key.Receive(), nullptr),
                  ERROR_SUCCESS);
        RegSetValueExW(key.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                       static_cast<DWORD>((wcslen(value) + 1) * 2));
    }

    // "name=value" of every REG_SZ value, in enumeration order sorted.
    std::vector<std::wstring> Stored() {
        std::vector<std::wstring> values;
        ScopedRegKey key;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, (m_keyPath + L"\\InstallerData").c_str(), 0, KEY_READ, key.Receive()) !=
            ERROR_SUCCESS) {
            values.push_back(L"<no key>");
            return values;
        }
        for (DWORD i = 0;; ++i) {
            wchar_t name[256];
            BYTE data[512];
            DWORD nameChars = 256, bytes = sizeof(data), type = 0;
            if (RegEnumValueW(key.Get(), i, name, &nameChars, nullptr, &type, data, &bytes) != ERROR_SUCCESS) break;
            EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
            values.push_back(std::wstring(name) + L"=" + reinterpret_cast<wchar_t*>(data) + L" (" +
                             std::to_wstring(bytes) + L")");
        }
        std::sort(values.begin(), values.end());
        return values;
    }
};

TEST_F(InstallerDataSave, WritesPersistentEntriesAndErasesOldValues) {
    PutExisting(L"old", L"gone");
    InstallerDataStore store;
    store.Parse(L"@upl=abc\n?private=1\npublic=2\n@browser=firefox");
    EXPECT_EQ(store.Save(m_keyPath.c_str()), S_OK);
    EXPECT_EQ(Stored(), (std::vector<std::wstring>{L"browser=firefox (16)", L"upl=abc (8)"}));
}

TEST_F(InstallerDataSave, DoNotEraseKeepsExistingValues) {
    PutExisting(L"old", L"kept");
    InstallerDataStore store;
    store.Parse(L"+DO_NOT_ERASE+\n@upl=abc");
    EXPECT_EQ(store.Save(m_keyPath.c_str()), S_OK);
    EXPECT_EQ(Stored(), (std::vector<std::wstring>{L"old=kept (10)", L"upl=abc (8)"}));
}

TEST_F(InstallerDataSave, NoPersistentEntriesStillErases) {
    PutExisting(L"old", L"gone");
    PutExisting(L"older", L"gone");
    InstallerDataStore store;
    store.Parse(L"a=1");
    EXPECT_EQ(store.Save(m_keyPath.c_str()), S_OK);
    EXPECT_TRUE(Stored().empty());
}

// 10,000 persistent keys in hostile installer data: the registry gets at
// most kMaxPersistedValues values, none longer than kMaxPersistedChars, in key order.
TEST_F(InstallerDataSave, PersistsABoundedNumberOfBoundedValues) {
    std::wstring text = L"@long=" + std::wstring(kMaxPersistedChars + 1, L'x') + L"\r\n";
    for (int i = 0; i < 10000; ++i) text += L"@k" + std::to_wstring(10000 + i) + L"=v\r\n";
    InstallerDataStore store;
    ASSERT_EQ(store.Parse(text.c_str()), S_OK);
    ASSERT_EQ(store.Save(m_keyPath.c_str()), S_OK);
    const std::vector<std::wstring> stored = Stored();
    ASSERT_EQ(stored.size(), kMaxPersistedValues);
    EXPECT_EQ(stored.front(), L"k10000=v (4)");
    EXPECT_EQ(stored.back(), L"k" + std::to_wstring(10000 + kMaxPersistedValues - 1) + L"=v (4)");
}

TEST_F(InstallerDataSave, DoNotSaveTouchesNothing) {
    InstallerDataStore store;
    store.Parse(L"+DO_NOT_SAVE+\n@upl=abc");
    EXPECT_EQ(store.Save(m_keyPath.c_str()), S_FALSE);
    EXPECT_EQ(Stored(), std::vector<std::wstring>{L"<no key>"});
}
}  // namespace
