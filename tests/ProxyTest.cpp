// Proxy settings as WinHTTP reads them for the current user, written into the
// test's Wine prefix. The settings are loaded once per process, so each suite
// here runs in a process of its own (see CMakeLists.txt).
#include <gtest/gtest.h>

#include <objbase.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "TestServer.h"
#include "TestSupport.h"
#include "framework/ComPtr.h"
#include "framework/ScopedHandles.h"
#include "http/DownloadToStream.h"
#include "http/PostJson.h"
#include "http/ProxySettings.h"

namespace {
const wchar_t kConnections[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";
const DWORD kDirect = 1, kProxy = 2, kScript = 4, kAutoDetect = 8;

void AppendCounted(std::string& blob, const std::string& text) {
    DWORD length = static_cast<DWORD>(text.size());
    blob.append(reinterpret_cast<const char*>(&length), 4);
    blob += text;
}

// The "DefaultConnectionSettings" record: magic, counter, flags, then the
// proxy list, the bypass list and the script URL, each with its length.
void WriteUserProxySettings(DWORD flags, const std::string& proxy, const std::string& bypass, const std::string& script) {
    std::string blob;
    const DWORD header[3] = {0x46, 0, flags};
    blob.append(reinterpret_cast<const char*>(header), sizeof(header));
    AppendCounted(blob, proxy);
    AppendCounted(blob, bypass);
    AppendCounted(blob, script);
    blob.append(32, '\0');
    ScopedRegKey key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kConnections, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Receive(),
                              nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key.Get(), L"DefaultConnectionSettings", 0, REG_BINARY,
                             reinterpret_cast<const BYTE*>(blob.data()), static_cast<DWORD>(blob.size())),
              ERROR_SUCCESS);
}

class ProxyCase : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_server.Available()) << "run under tests/server/with-server.sh";
        m_server.Reset();
        m_server.PutFile(L"via.txt", "through the proxy");
        m_proxy = "127.0.0.1:" + std::to_string(m_server.Port());
    }
    void TearDown() override {
        ScopedRegKey key;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, kConnections, 0, KEY_ALL_ACCESS, key.Receive()) == ERROR_SUCCESS) {
            RegDeleteValueW(key.Get(), L"DefaultConnectionSettings");
        }
    }

    // Fetches via.txt and returns the requests the server saw for it. The URL
    // names "localhost" so that it differs from the proxy's 127.0.0.1 (WinHTTP
    // talks to a proxy that is the target server itself as to the target).
    std::vector<RecordedRequest> Fetch() {
        ComPtr<IStream> target;
        EXPECT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, target.Receive()), S_OK);
        EXPECT_EQ(DownloadToStream(TargetUrl().c_str(), target.Get(), nullptr, nullptr), S_OK);
        return m_server.WaitForRequests("via.txt", 1);
    }

    std::wstring TargetUrl() const { return L"http://localhost:" + std::to_wstring(m_server.Port()) + L"/via.txt"; }

    // POSTs to /rpc/echo as the installer-data request does and returns the
    // requests the server saw for it.
    std::vector<RecordedRequest> Post() {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        m_server.Respond("/rpc/echo", 200, "a=1\r\n");
        ComPtr<IStream> output;
        EXPECT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, output.Receive()), S_OK);
        const std::wstring url = L"http://localhost:" + std::to_wstring(m_server.Port()) + L"/rpc/echo";
        EXPECT_EQ(WinHTTP::PostJson(url.c_str(), "{}", 2, output.Get()), S_OK);
        output.Reset();
        CoUninitialize();
        return m_server.WaitForRequests("/rpc/echo", 1);
    }

    // A download and the installer-data request both reach the stand-in as its proxy.
    void ExpectBothKindsProxied() {
        auto requests = Fetch();
        ASSERT_FALSE(requests.empty());
        EXPECT_TRUE(requests[0].proxied) << requests[0].target;
        auto posts = Post();
        ASSERT_FALSE(posts.empty());
        EXPECT_TRUE(posts[0].proxied) << posts[0].target;
    }

    TestServer m_server;
    std::string m_proxy;
};

class ProxyStatic : public ProxyCase {};
TEST_F(ProxyStatic, RequestsGoThroughTheNamedProxy) {
    WriteUserProxySettings(kDirect | kProxy, m_proxy, "", "");
    const WinHTTP::ProxySettings& settings = WinHTTP::GetProxySettings();
    EXPECT_TRUE(settings.usable);
    EXPECT_EQ(ToUtf8(settings.proxy), m_proxy);
    auto requests = Fetch();
    ASSERT_FALSE(requests.empty());
    EXPECT_TRUE(requests[0].proxied) << requests[0].target;
    EXPECT_EQ(requests[0].target, "http://localhost:" + std::to_string(m_server.Port()) + "/via.txt");
    // The installer-data request follows the same settings.
    auto posts = Post();
    ASSERT_FALSE(posts.empty());
    EXPECT_TRUE(posts[0].proxied) << posts[0].target;
    EXPECT_EQ(posts[0].method, "POST");
}

// Auto-detection that finds nothing falls back to the manual proxy; the
// bypass list sends the names it holds direct.
class ProxyDetectThenManual : public ProxyCase {};
TEST_F(ProxyDetectThenManual, TheManualProxyIsUsedWhenDetectionFindsNothing) {
    WriteUserProxySettings(kDirect | kProxy | kAutoDetect, m_proxy, "*.invalid;other-host", "");
    const WinHTTP::ProxySettings& settings = WinHTTP::GetProxySettings();
    EXPECT_TRUE(settings.autoDetect);
    EXPECT_TRUE(settings.usable);
    ExpectBothKindsProxied();
}

// Bypass-list matching only: the ports in these entries are text compared
// with the request's port, and no socket is opened.
TEST(ProxyBypass, Entries) {
    struct Case {
        const wchar_t* list;
        const wchar_t* host;
        bool bypassed;
    };
    const Case cases[] = {
        {L"<local>", L"intranet", true},     {L"<local>", L"files.example", false},
        {L"*.example;b", L"files.example", true}, {L"*.example;b", L"B", true},
        {L"a, b  c", L"c", true},            {L"http://*.corp", L"x.corp", true},
        {L"files.example:8080", L"files.example", true}, {L"10.*", L"127.0.0.1", false},
        {L"", L"any", false},                {L"*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*b", L"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false},
        {L"**x*", L"ax", true},              {L"a*", L"a", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(WinHTTP::IsBypassed(c.list, c.host, 8080), c.bypassed) << ToUtf8(c.list) << " " << ToUtf8(c.host);
    }
}

class ProxyScript : public ProxyCase {};
TEST_F(ProxyScript, TheAutoConfigScriptChoosesTheProxy) {
    WriteUserProxySettings(kDirect | kScript, "", "", "http://" + m_proxy + "/proxy.pac");
    EXPECT_TRUE(WinHTTP::GetProxySettings().usable);
    // The platform fetches and runs the served script for the URL.
    HINTERNET session = WinHttpOpen(L"probe", WINHTTP_ACCESS_TYPE_NO_PROXY, nullptr, nullptr, 0);
    ASSERT_NE(session, nullptr);
    WinHTTP::ProxyAnswer answer;
    EXPECT_EQ(WinHTTP::ResolveProxyForUrl(session, TargetUrl().c_str(), answer), S_OK);
    EXPECT_EQ(ToUtf8(answer.proxy), m_proxy);
    EXPECT_EQ(answer.info.dwAccessType, static_cast<DWORD>(WINHTTP_ACCESS_TYPE_NAMED_PROXY));
    WinHttpCloseHandle(session);
    EXPECT_FALSE(m_server.WaitForRequests("/proxy.pac", 1).empty()) << "the script was never fetched";
    // The script's answer is applied to the download and the installer-data request.
    ExpectBothKindsProxied();
}

class ProxyScriptUnreachable : public ProxyCase {};
TEST_F(ProxyScriptUnreachable, RequestsGoDirect) {
    WriteUserProxySettings(kDirect | kScript, "", "", ToUtf8(RefusingEndpoint()) + "/missing.pac");
    auto requests = Fetch();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_FALSE(requests[0].proxied);
    EXPECT_EQ(requests[0].target, "/via.txt");
}

// A real forward proxy (tests/server/with-forward-proxy.sh) named in the
// user's settings: its own log shows each request going through it.
class ProxyForward : public ProxyCase {};
TEST_F(ProxyForward, EveryKindOfRequestGoesThroughIt) {
    const char* port = std::getenv("WRENSTALL_FORWARD_PROXY_PORT");
    const char* log = std::getenv("WRENSTALL_FORWARD_PROXY_LOG");
    ASSERT_TRUE(port && log) << "run under tests/server/with-forward-proxy.sh";
    WriteUserProxySettings(kDirect | kProxy, std::string("127.0.0.1:") + port, "", "");
    const std::string base = "http://localhost:" + std::to_string(m_server.Port());

    auto requests = Fetch();
    ASSERT_FALSE(requests.empty());
    EXPECT_NE(requests[0].Header("Via").find("tinyproxy"), std::string::npos) << "the download went direct";
    auto posts = Post();
    ASSERT_FALSE(posts.empty());
    EXPECT_NE(posts[0].Header("Via").find("tinyproxy"), std::string::npos) << "the installer-data request went direct";

    std::ifstream in(log);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("GET " + base + "/via.txt"), std::string::npos) << text;
    EXPECT_NE(text.find("POST " + base + "/rpc/echo"), std::string::npos) << text;
}

class ProxyNone : public ProxyCase {};
TEST_F(ProxyNone, NoSettingsMeanDirect) {
    EXPECT_FALSE(WinHTTP::GetProxySettings().usable);
    auto requests = Fetch();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_FALSE(requests[0].proxied);
}
}  // namespace
