// HTTPS against a loopback server whose self-signed certificate names
// another host (tests/server/with-tls-server.sh): the certificate is checked,
// the download fails at once with the certificate's code and writes nothing.
#include <gtest/gtest.h>

#include <cstdlib>

#include "TestServer.h"
#include "framework/ComPtr.h"
#include "http/DownloadToStream.h"
#include "http/RetryPolicy.h"

namespace {
struct Reports {
    int calls = 0;
};

HRESULT Count(ULONGLONG, ULONGLONG, ULONG, void* context) {
    ++static_cast<Reports*>(context)->calls;
    return S_OK;
}

TEST(Certificates, AnInvalidCertificateFailsTheDownloadAtOnce) {
    const char* port = std::getenv("WRENSTALL_TLS_PORT");
    ASSERT_NE(port, nullptr) << "run under tests/server/with-tls-server.sh";
    const std::wstring url = L"https://127.0.0.1:" + std::to_wstring(std::atoi(port)) + L"/file.txt";
    ComPtr<IStream> target;
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, target.Receive()), S_OK);
    Reports reports;
    // The program's own pauses: a retry would call the callback while it waits.
    const HRESULT hr = DownloadToStream(url.c_str(), target.Get(), Count, &reports);
    EXPECT_TRUE(IsCertificateFailure(hr)) << std::hex << hr;
    EXPECT_EQ(reports.calls, 0) << "retried or wrote bytes";
    STATSTG stat = {};
    ASSERT_EQ(target->Stat(&stat, STATFLAG_NONAME), S_OK);
    EXPECT_EQ(stat.cbSize.QuadPart, 0u);
}
}  // namespace
