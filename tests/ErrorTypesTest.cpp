#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "framework/ErrorTypes.h"
#include "app/DownloadFailureText.h"
#include "app/UserLanguage.h"
#include "resources/resource.h"
#include "framework/ResourceStrings.h"
#include "framework/Win32Error.h"

namespace {
std::wstring MessageOf(const CException& e) {
    wchar_t buffer[512] = L"<untouched>";
    if (!e.GetErrorMessage(buffer, 512)) return L"<none>";
    return buffer;
}

TEST(ErrorTypes, ToolkitExceptionMessages) {
    EXPECT_EQ(MessageOf(CToolkitException(3026u)),
              L"Installer broken; no pages configured for this installer.  Please contact support or try downloading "
              L"the setup again.");
    EXPECT_EQ(MessageOf(CToolkitException(4242u)), L"A required resource was unavailable.");
    EXPECT_EQ(MessageOf(CToolkitException(static_cast<const wchar_t*>(nullptr))), L"Null message.");
    EXPECT_EQ(MessageOf(CMsiException(L"installer said no", CMsiException::Error)), L"installer said no");
    EXPECT_EQ(MessageOf(CMsiException()), L"");
    EXPECT_EQ(MessageOf(CWindowsException(5)), L"<none>");
}

TEST(ErrorTypes, GetErrorMessageCutsAndTerminates) {
    CToolkitException e(L"abcdefgh");
    wchar_t buffer[8];
    UINT help = 77;
    wmemset(buffer, L'#', 8);
    EXPECT_TRUE(e.GetErrorMessage(buffer, 5, &help));
    EXPECT_EQ(std::wstring(buffer), L"abcd");
    EXPECT_EQ(help, 0u);

    wmemset(buffer, L'#', 8);
    EXPECT_FALSE(e.GetErrorMessage(buffer, 0, &help));
    EXPECT_FALSE(e.GetErrorMessage(nullptr, 8));
    EXPECT_EQ(buffer[0], L'#');
}

TEST(ErrorTypes, ThrownByPointerAndReleasedByTheCatcher) {
    bool caughtStatic = false;
    try {
        ThrowMemoryException();
    } catch (CException* e) {
        caughtStatic = e->IsKindOf(RUNTIME_CLASS(CMemoryException));
        e->Delete();  // a static instance: nothing happens
    }
    EXPECT_TRUE(caughtStatic);
    try {
        ThrowMemoryException();
    } catch (CMemoryException* e) {
        EXPECT_EQ(MessageOf(*e), L"Out of memory.");
        e->Delete();
    }
    try {
        ThrowOleException(E_OUTOFMEMORY);
    } catch (CException* e) {
        EXPECT_TRUE(e->IsKindOf(RUNTIME_CLASS(CMemoryException)));
        e->Delete();
    }
    try {
        ThrowOleException(E_ACCESSDENIED);
    } catch (COleException* e) {
        EXPECT_EQ(e->m_sc, E_ACCESSDENIED);
        e->Delete();
    }
    try {
        ThrowResourceException();
    } catch (CException* e) {
        EXPECT_EQ(MessageOf(*e), L"A required resource was unavailable.");
        e->Delete();
    }
}

TEST(ErrorTypes, Win32CodesBecomeHResults) {
    EXPECT_EQ(HResultFromWin32(5), static_cast<HRESULT>(0x80070005));
    EXPECT_EQ(HResultFromWin32(0), 0);
    EXPECT_EQ(HResultFromWin32(-5), -5);
    EXPECT_EQ(HResultFromWin32(0x12345), static_cast<HRESULT>(0x80072345));
    SetLastError(0);
    EXPECT_EQ(FailureFromLastError(), E_FAIL);
}

TEST(MessageFormatting, FillsInsertsFromTheStringTable) {
    EXPECT_EQ(FormatResourceMessage(3019, {L"Kelvora"}),
              L"A software installation program is already running, wait for it to complete and run the Kelvora "
              L"setup again.");
    EXPECT_EQ(FormatMessageText(L"%2 then %1", {L"one", L"two"}), L"two then one");
    try {
        FormatResourceMessage(4242, {});
        ADD_FAILURE() << "a missing string must raise";
    } catch (COleException* e) {
        EXPECT_EQ(e->m_sc, E_INVALIDARG);
        e->Delete();
    }
}

// Every string id of every language, read straight from the RT_STRING blocks.
using StringTables = std::map<LANGID, std::map<UINT, std::wstring>>;

BOOL CALLBACK CollectStringBlock(HMODULE module, LPCWSTR type, LPCWSTR name, WORD language, LONG_PTR param) {
    auto* tables = reinterpret_cast<StringTables*>(param);
    HRSRC resource = FindResourceExW(module, type, name, language);
    auto data = static_cast<const WCHAR*>(LockResource(LoadResource(module, resource)));
    UINT first = (static_cast<UINT>(reinterpret_cast<ULONG_PTR>(name)) - 1) * 16;
    for (UINT i = 0; i < 16; ++i) {
        WORD length = *data++;
        if (length) (*tables)[language][first + i] = std::wstring(data, length);
        data += length;
    }
    return TRUE;
}

BOOL CALLBACK CollectStringLanguages(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR param) {
    EnumResourceLanguagesW(module, type, name, CollectStringBlock, param);
    return TRUE;
}

StringTables ReadStringTables() {
    StringTables tables;
    EnumResourceNamesW(nullptr, RT_STRING, CollectStringLanguages, reinterpret_cast<LONG_PTR>(&tables));
    return tables;
}

// The parts of a text that translations must keep: inserts and markup codes.
std::multiset<std::wstring> Placeholders(const std::wstring& text) {
    std::multiset<std::wstring> parts;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'%' && i + 1 < text.size()) parts.insert(text.substr(i, 2));
        if (text[i] < 0x20 && text[i] != L'\r' && text[i] != L'\n') parts.insert(std::wstring(1, text[i]));
    }
    return parts;
}

TEST(StringTables, EveryLanguageHasEveryTextWithTheSameInserts) {
    auto tables = ReadStringTables();
    const LANGID english = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
    const std::vector<LANGID> languages = {MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN),
                                           MAKELANGID(LANG_SPANISH, SUBLANG_SPANISH_MODERN),
                                           MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH),
                                           MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT)};
    ASSERT_GT(tables[english].size(), 60u);
    EXPECT_EQ(tables[english][57344], L"Kelvora");
    for (LANGID language : languages) {
        SCOPED_TRACE(language);
        EXPECT_EQ(tables[language].size(), tables[english].size());
        for (const auto& [id, text] : tables[english]) {
            ASSERT_TRUE(tables[language].count(id)) << "missing id " << id;
            const std::wstring& translated = tables[language][id];
            EXPECT_EQ(Placeholders(translated), Placeholders(text)) << "id " << id;
            EXPECT_EQ(translated.find(L'&') == std::wstring::npos, text.find(L'&') == std::wstring::npos) << "id " << id;
        }
    }
}

// Download failures in words a person can act on; other codes keep theirs.
TEST(ErrorTypes, DownloadFailuresInWords) {
    const struct {
        HRESULT code;
        UINT message;
    } cases[] = {
        {static_cast<HRESULT>(0x80190194), IDS_DOWNLOAD_NOT_FOUND},    // 404
        {static_cast<HRESULT>(0x8019019A), IDS_DOWNLOAD_NOT_FOUND},    // 410
        {static_cast<HRESULT>(0x801901F4), IDS_DOWNLOAD_UNREACHABLE},  // 500
        {static_cast<HRESULT>(0x80190193), IDS_DOWNLOAD_UNREACHABLE},  // 403
        {HRESULT_FROM_WIN32(12029), IDS_DOWNLOAD_UNREACHABLE},         // no connection
        {HRESULT_FROM_WIN32(12007), IDS_DOWNLOAD_UNREACHABLE},         // name not resolved
        {HRESULT_FROM_WIN32(12002), IDS_DOWNLOAD_NO_ANSWER},           // a time bound ran out
        {HRESULT_FROM_WIN32(10060), IDS_DOWNLOAD_NO_ANSWER},           // the same, as Wine reports it
        {HRESULT_FROM_WIN32(12030), IDS_DOWNLOAD_INTERRUPTED},         // connection ended
        {HRESULT_FROM_WIN32(12031), IDS_DOWNLOAD_INTERRUPTED},         // connection reset
        {HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), 0u},
        {E_FAIL, 0u},
        {static_cast<HRESULT>(0x80092009), 0u},  // a refused signature
        {S_OK, 0u},
    };
    for (const auto& c : cases) EXPECT_EQ(DownloadFailureMessageId(c.code), c.message) << std::hex << c.code;
    // Every language has the words.
    const LCID original = GetThreadLocale();
    for (LANGID language : {0x0409, 0x0407, 0x0C0A, 0x040C, 0x0411}) {
        SetThreadLocale(MAKELCID(language, SORT_DEFAULT));
        for (UINT id : {IDS_DOWNLOAD_UNREACHABLE, IDS_DOWNLOAD_NOT_FOUND, IDS_DOWNLOAD_INTERRUPTED, IDS_DOWNLOAD_NO_ANSWER,
                        IDS_STOPPING}) {
            std::wstring text;
            EXPECT_TRUE(LoadResourceString(id, text) && !text.empty()) << language << " " << id;
        }
    }
    SetThreadLocale(original);
}

TEST(StringTables, UserLanguageChoosesTheTable) {
    const LCID original = GetThreadLocale();
    struct Case {
        LCID locale;
        const wchar_t* done;
    };
    const Case cases[] = {{0x0409, L"Done!"}, {0x0407, L"Fertig!"}, {0x0C0A, L"¡Listo!"}, {0x040C, L"Terminé !"},
                          {0x0411, L"完了しました!"},
                          {0x0C07, L"Fertig!"}, {0x080C, L"Terminé !"}, {0x080A, L"¡Listo!"},
                          {0x0410, L"Done!"}};
    for (const Case& c : cases) {
        SetThreadLocale(MAKELCID(ChooseTableLanguage(LANGIDFROMLCID(c.locale)), SORT_DEFAULT));
        std::wstring text;
        EXPECT_TRUE(LoadResourceString(3004, text));
        EXPECT_EQ(text, c.done) << "locale " << c.locale;
    }
    SetThreadLocale(original);
}
}  // namespace
