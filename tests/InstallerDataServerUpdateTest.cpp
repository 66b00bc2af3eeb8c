// The installer-data request forms and the store's replacement, against the
// stand-in RPC endpoint.
#include <gtest/gtest.h>

#include <objbase.h>

#include "TestServer.h"
#include "TestSupport.h"
#include "app/Program.h"
#include "config/BuildConfig.h"
#include "config/InstallerDataAnswer.h"
#include "config/InstallerDataLock.h"
#include "config/InstallerDataServerUpdate.h"
#include "config/InstallerDataStore.h"
#include "config/ServerEndpoints.h"
#include "framework/ScopedHandles.h"
#include "services/EventTracker.h"

namespace {
const GUID kMachine = {0x01234567, 0x89AB, 0xCDEF, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};

TEST(InstallerDataToken, TakenFromTheFileName) {
    struct Case {
        const wchar_t* path;
        const wchar_t* token;  // null: none
    };
    const Case cases[] = {
        {L"C:\\d\\product-part-01234567-89ab-cdef-0123-456789abcdef.exe", L"01234567-89ab-cdef-0123-456789abcdef"},
        {L"C:\\d\\name-01234567-89ab-cdef-0123-456789abcdef.exe", nullptr},
        {L"C:\\d\\setup.exe", nullptr},
        // Only the four hyphens are tested.
        {L"C:\\d\\a-b-0123456x-89ab-cdef-0123-456789abcdefXYZ.exe", L"0123456x-89ab-cdef-0123-456789abcdef"},
        {L"C:\\d\\a-b-ZZZZZZZZ-ZZZZ-ZZZZ-ZZZZ-ZZZZZZZZZZZZtail.exe", L"ZZZZZZZZ-ZZZZ-ZZZZ-ZZZZ-ZZZZZZZZZZZZ"},
        {L"C:\\d\\a-b-short-token.exe", nullptr},
    };
    for (const Case& c : cases) {
        std::wstring token;
        bool found = ExtractFileNameToken(c.path, token);
        EXPECT_EQ(found, c.token != nullptr) << ToUtf8(c.path);
        if (c.token) {
            EXPECT_EQ(token, c.token);
        }
    }
}

TEST(InstallerDataRequest, UrlAndBodyForms) {
    EXPECT_EQ(BuildInstallerDataRequestUrl(L"http://h", L"TOKEN", L"ignored"), L"http://h/rpc/installer-data/TOKEN");
    EXPECT_EQ(BuildInstallerDataRequestUrl(L"http://h", L"", L"a+b/c"), L"http://h/rpc/installer-data-update?upl=a+b/c");
    EXPECT_EQ(BuildInstallerDataRequestUrl(L"http://h", L"", L""), L"http://h/rpc/installer-data-update");
    EXPECT_EQ(BuildInstallerDataRequestBody(kMachine), "{\"machineId\": \"01234567-89AB-CDEF-0123-456789ABCDEF\"}");
    EXPECT_EQ(BuildInstallerDataRequestBody(GUID{}), "");
}

class ServerUpdate : public testing::Test {
protected:
    void SetUp() override {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        ASSERT_TRUE(m_server.Available()) << "run under tests/server/with-server.sh";
        m_server.Reset();
        m_store.Parse(L"old=1");
    }
    void TearDown() override { CoUninitialize(); }
    std::wstring Endpoint() const { return L"http://127.0.0.1:" + std::to_wstring(m_server.Port()); }

    TestServer m_server;
    InstallerDataStore m_store;
};

TEST_F(ServerUpdate, TokenRequestReplacesTheStore) {
    const std::string token = "01234567-89ab-cdef-0123-456789abcdef";
    m_server.Respond("/rpc/installer-data/" + token, 200, "?NoxOffer=enabled\r\n@upl=fromserver\r\n");
    EXPECT_EQ(FetchInstallerDataFromServer(m_store, Endpoint(), L"C:\\d\\kelvora-setup-" + std::wstring(token.begin(), token.end()) + L".exe",
                                           kMachine, nullptr, L"Kelvora"),
              S_OK);
    EXPECT_EQ(m_store.Get(L"old"), nullptr);
    EXPECT_STREQ(m_store.Get(L"upl"), L"fromserver");
    auto posts = m_server.WaitForRequests("/rpc/", 1);
    ASSERT_EQ(posts.size(), 1u);
    EXPECT_EQ(posts[0].method, "POST");
    EXPECT_EQ(posts[0].target, "/rpc/installer-data/" + token);
    EXPECT_EQ(posts[0].body, "{\"machineId\": \"01234567-89AB-CDEF-0123-456789ABCDEF\"}");
}

TEST_F(ServerUpdate, WithoutATokenTheStoredUplIsSent) {
    CProgram program;
    program.m_strAppName = L"Kelvora";
    const wchar_t key[] = L"SOFTWARE\\Tarnwell Utilities Inc\\Kelvora\\InstallerData";
    InstallerDataStore persisted;
    persisted.Parse(L"@upl=stored+token");
    ASSERT_EQ(persisted.Save(L"SOFTWARE\\Tarnwell Utilities Inc\\Kelvora"), S_OK);
    m_server.Respond("/rpc/installer-data-update", 200, "a=1");
    EXPECT_EQ(FetchInstallerDataFromServer(m_store, Endpoint(), L"C:\\d\\setup.exe", kMachine, nullptr, L"Kelvora"), S_OK);
    EXPECT_EQ(m_server.WaitForRequests("/rpc/", 1).at(0).target, "/rpc/installer-data-update?upl=stored+token");

    // With a token in the file name the stored value is not read.
    m_server.Reset();
    const std::wstring tokenPath = L"C:\\d\\a-b-01234567-89ab-cdef-0123-456789abcdef.exe";
    FetchInstallerDataFromServer(m_store, Endpoint(), tokenPath, kMachine, nullptr, L"Kelvora");
    EXPECT_EQ(m_server.WaitForRequests("/rpc/", 1).at(0).target, "/rpc/installer-data/01234567-89ab-cdef-0123-456789abcdef");
    DeleteRegistryTree(HKEY_LOCAL_MACHINE, key);
}

// A network attacker's answer: unknown keys, addresses of its own, values
// for HKEY_LOCAL_MACHINE. Only the listed keys stay, addresses only on the
// build configuration's hosts, and only "upl" and "browser" are saved.
TEST_F(ServerUpdate, AnAnswerSetsOnlyTheListedKeysAndHosts) {
    const std::string own = "http://127.0.0.1:" + std::to_string(m_server.Port());
    m_server.Respond("/rpc/installer-data-update", 200,
                     "@upl=campaign\r\n@evil=1\r\n@SI_CHNL=7\r\nINSTALLLEVEL=0\r\nTRANSFORMS=x.mst\r\n"
                     "PayloadUrl=http://attacker.example:8080/old.msi.bz2\r\n"
                     "InstallerFinishedS2S=" + own + "/s2s?x=1\r\nNoxOffer=enabled\r\n");
    BuildConfig config;
    const std::wstring image =
        BuildConfigImage({{L"Payload", L"CMsiExecutor|" + std::wstring(own.begin(), own.end()) + L"/kelvora/setup.msi.bz2"}});
    config.ParseResource(image.data(), image.size() * sizeof(wchar_t));
    EXPECT_EQ(FetchInstallerDataFromServer(m_store, Endpoint(), L"C:\\d\\setup.exe", kMachine, nullptr, L"Kelvora",
                                           &config),
              S_OK);
    EXPECT_STREQ(m_store.Get(L"upl"), L"campaign");
    EXPECT_STREQ(m_store.Get(L"SI_CHNL"), L"7");
    EXPECT_STREQ(m_store.Get(L"NoxOffer"), L"enabled");
    EXPECT_EQ(m_store.Get(L"evil"), nullptr);
    EXPECT_EQ(m_store.Get(L"INSTALLLEVEL"), nullptr);
    EXPECT_EQ(m_store.Get(L"TRANSFORMS"), nullptr);
    EXPECT_EQ(m_store.Get(L"PayloadUrl"), nullptr);
    EXPECT_STREQ(m_store.Get(L"InstallerFinishedS2S"), (std::wstring(own.begin(), own.end()) + L"/s2s?x=1").c_str());
    for (const auto& [key, value] : m_store.Entries()) {
        EXPECT_EQ(value.isPersistent, key == L"upl") << ToUtf8(key);
    }
    EXPECT_TRUE(m_store.Entries().at(L"SI_CHNL").isPrivate) << "an \"@\" key stays out of the command line";
}

TEST_F(ServerUpdate, NotFoundEmptiesTheStore) {
    EXPECT_EQ(FetchInstallerDataFromServer(m_store, Endpoint(), L"C:\\d\\setup.exe", GUID{}, nullptr, L"Kelvora"), S_OK);
    EXPECT_TRUE(m_store.Entries().empty());
    auto posts = m_server.WaitForRequests("/rpc/installer-data-update", 1);
    ASSERT_EQ(posts.size(), 1u);
    EXPECT_EQ(posts[0].body, "");
}

TEST_F(ServerUpdate, FailedRequestKeepsTheStoreAndReportsIt) {
    // A port this process holds, on which nothing listens.
    EventTracker tracker(L"", GUID{}, kMachine, L"TW6", Endpoint());
    HRESULT hr = FetchInstallerDataFromServer(m_store, RefusingEndpoint(), L"C:\\d\\setup.exe", kMachine, &tracker, L"Kelvora");
    EXPECT_TRUE(FAILED(hr));
    EXPECT_STREQ(m_store.Get(L"old"), L"1");
    char code[16];
    snprintf(code, sizeof(code), "%08X", static_cast<unsigned>(hr));
    auto errors = m_server.WaitForRequests(std::string("errorCode=") + code, 1);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_TRUE(errors[0].target.ends_with("&action=fetchInstallerData"));
}
// Answers that are not installer data fail and keep what the store held.
TEST_F(ServerUpdate, MarkupAndOversizedAnswersKeepTheStore) {
    struct Case {
        const char* name;
        std::string body;
        std::string contentType;
        HRESULT expected;
    };
    const std::string portal = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"></head></html>\n";
    const Case cases[] = {
        {"HTML content type", "a=1\r\n", "text/html; charset=UTF-8", HRESULT_FROM_WIN32(ERROR_INVALID_DATA)},
        {"markup as plain text", portal, "text/plain", HRESULT_FROM_WIN32(ERROR_INVALID_DATA)},
        {"markup after a byte order mark and blanks", "\xEF\xBB\xBF \r\n<html>", "application/json",
         HRESULT_FROM_WIN32(ERROR_INVALID_DATA)},
        {"one byte over the limit", std::string(kMaxInstallerDataAnswerBytes - 1, 'x') + "=1",
         "text/plain", HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_store.Parse(L"old=1");
        m_server.Respond("/rpc/installer-data-update", 200, c.body, c.contentType);
        EXPECT_EQ(FetchInstallerDataFromServer(m_store, Endpoint(), L"C:\\d\\setup.exe", kMachine, nullptr, L"Kelvora"),
                  c.expected);
        EXPECT_EQ(m_store.Entries().size(), 1u);
        EXPECT_STREQ(m_store.Get(L"old"), L"1");
    }
    // At the limit the answer is taken.
    m_server.Respond("/rpc/installer-data-update", 200, "upl=" + std::string(kMaxInstallerDataAnswerBytes - 4, 'x'));
    EXPECT_EQ(FetchInstallerDataFromServer(m_store, Endpoint(), L"C:\\d\\setup.exe", kMachine, nullptr, L"Kelvora"), S_OK);
    EXPECT_EQ(m_store.Get(L"old"), nullptr);
    EXPECT_EQ(std::wstring(m_store.Get(L"upl")), std::wstring(kMaxInstallerDataAnswerBytes - 4, L'x'));
}
}  // namespace

// The distributor's finished notice is called only on a host of the build
// configuration, whichever source of installer data names it.
TEST_F(ServerUpdate, TheFinishedNoticeGoesOnlyToTheBuildsHosts) {
    BuildConfig config;
    const std::wstring image = BuildConfigImage({{L"Payload", L"CMsiExecutor|http://127.0.0.1:9/kelvora/setup.msi.bz2"}});
    config.ParseResource(image.data(), image.size() * sizeof(wchar_t));
    const struct {
        const char* data;
        const wchar_t* called;
    } cases[] = {
        {"InstallerFinishedS2S=http://127.0.0.1:9/s2s?id=1\r\n", L"http://127.0.0.1:9/s2s?id=1"},
        {"InstallerFinishedS2S=http://attacker.example/s2s\r\n", nullptr},
        {"InstallerFinishedS2S=http://127.0.0.1:8/s2s\r\n", nullptr},
        {"InstallerFinishedS2S=file:///C:/windows/win.ini\r\n", nullptr},
        {"upl=x\r\n", nullptr},
    };
    for (const auto& c : cases) {
        InstallerDataStore data;
        ASSERT_TRUE(SUCCEEDED(data.ParseUtf8(c.data))) << c.data;
        const wchar_t* called = InstallerFinishedNoticeUrl(config, data);
        if (c.called) {
            EXPECT_STREQ(called, c.called) << c.data;
        } else {
            EXPECT_EQ(called, nullptr) << c.data;
        }
    }
}

struct StoreUpdate {
    InstallerDataStore* store;
    std::wstring endpoint;
    InstallerDataLock* lock;
    HRESULT result = E_PENDING;
};

DWORD WINAPI RunStoreUpdate(void* parameter) {
    auto* update = static_cast<StoreUpdate*>(parameter);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    update->result = FetchInstallerDataFromServer(*update->store, update->endpoint, L"C:\\d\\setup.exe", kMachine,
                                                  nullptr, L"Kelvora", nullptr, update->lock);
    CoUninitialize();
    return 0;
}

// A reader of the store (the finished page, shown while the wizard still
// waits for the server) keeps the update out until it is done reading: the
// update waits with the server's answer in hand and writes afterwards.
TEST_F(ServerUpdate, TheStoreIsNotChangedWhileAReaderHoldsIt) {
    m_server.Respond("/rpc/installer-data-update", 200, "@upl=fromserver\r\n");
    InstallerDataLock lock;
    StoreUpdate update = {&m_store, Endpoint(), &lock};
    ScopedHandle thread;
    {
        InstallerDataLock::Read reading(lock);
        thread.Reset(CreateThread(nullptr, 0, RunStoreUpdate, &update, 0, nullptr));
        ASSERT_TRUE(thread);
        // The update has its answer and waits for the reader.
        for (int i = 0; i < 2000 && lock.WaitingWriters() == 0; ++i) Sleep(10);
        ASSERT_EQ(lock.WaitingWriters(), 1) << "the update never came to write";
        EXPECT_STREQ(m_store.Get(L"old"), L"1");
        EXPECT_EQ(m_store.Get(L"upl"), nullptr);
    }
    ASSERT_EQ(WaitForSingleObject(thread.Get(), 30000), WAIT_OBJECT_0);
    EXPECT_EQ(update.result, S_OK);
    EXPECT_EQ(m_store.Get(L"old"), nullptr);
    EXPECT_STREQ(m_store.Get(L"upl"), L"fromserver");
}
