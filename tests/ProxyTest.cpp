// Proxy settings as WinHTTP reads them for the current user, written into the
// test's Wine prefix. The settings are loaded once per process, so each suite
// here runs in a process of its own (see CMakeLists.txt).
#include <gtest/gtest.h>

#include <objbase.h>

#include "TestServer.h"
#include "TestSupport.h"
#include "framework/ComPtr.h"
#include "framework/ScopedHandles.h"
#include "http/DownloadToStream.h"
#include "http/ProxySettings.h"

namespace {
const wchar_t kConnections[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";
const DWORD kDirect = 1, kProxy = 2, kScript = 4;

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
    // Wine 8 accepts a per-request proxy without applying it, so the transfer
    // itself is only checked to arrive.
    EXPECT_FALSE(Fetch().empty());
}

class ProxyScriptUnreachable : public ProxyCase {};
TEST_F(ProxyScriptUnreachable, RequestsGoDirect) {
    WriteUserProxySettings(kDirect | kScript, "", "", ToUtf8(RefusingEndpoint()) + "/missing.pac");
    auto requests = Fetch();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_FALSE(requests[0].proxied);
    EXPECT_EQ(requests[0].target, "/via.txt");
}

class ProxyNone : public ProxyCase {};
TEST_F(ProxyNone, NoSettingsMeanDirect) {
    EXPECT_FALSE(WinHTTP::GetProxySettings().usable);
    auto requests = Fetch();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_FALSE(requests[0].proxied);
}
}  // namespace
