// The request object and PostJson against the stand-in server.
#include <gtest/gtest.h>

#include <objbase.h>
#include <shlwapi.h>

#include "TestServer.h"
#include "TestSupport.h"
#include "framework/ComPtr.h"
#include "framework/ScopedBstr.h"
#include "http/PostJson.h"
#include "http/UserAgent.h"
#include "http/WinHttpRequest.h"

namespace {
using WinHTTP::IWinHttpRequest;

VARIANT BoolVariant(bool value) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_BOOL;
    V_BOOL(&v) = value ? VARIANT_TRUE : VARIANT_FALSE;
    return v;
}

VARIANT Empty() {
    VARIANT v;
    VariantInit(&v);
    return v;
}

class Request : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_server.Available()) << "run under tests/server/with-server.sh";
        m_server.Reset();
        m_server.PutFile(L"a.txt", "alpha");
        ASSERT_EQ(WinHTTP::CreateWinHttpRequest(m_request.Receive(), L"TestAgent/1.0"), S_OK);
    }

    HRESULT Open(const wchar_t* method, const std::wstring& url, VARIANT async = Empty()) {
        ScopedBstr m(method);
        ScopedBstr u(url.c_str());
        return m_request->Open(m.Get(), u.Get(), async);
    }
    HRESULT SetHeader(const wchar_t* name, const wchar_t* value) {
        ScopedBstr n(name);
        ScopedBstr v(value);
        return m_request->SetRequestHeader(n.Get(), v.Get());
    }
    std::string ReadBody() {
        ScopedVariant stream;
        EXPECT_EQ(m_request->get_ResponseStream(stream.Receive()), S_OK);
        EXPECT_EQ(V_VT(&stream.Get()), VT_UNKNOWN);
        ComPtr<IStream> body;
        EXPECT_EQ(V_UNKNOWN(&stream.Get())->QueryInterface(IID_IStream, body.ReceiveVoid()), S_OK);
        std::string text;
        char buffer[256];
        ULONG read = 0;
        while (SUCCEEDED(body->Read(buffer, sizeof(buffer), &read)) && read > 0) text.append(buffer, read);
        return text;
    }

    TestServer m_server;
    ComPtr<IWinHttpRequest> m_request;
};

TEST_F(Request, GetReadsStatusHeadersAndBody) {
    ASSERT_EQ(Open(L"GET", m_server.Url(L"/a.txt")), S_OK);
    ASSERT_EQ(m_request->Send(Empty()), S_OK);
    long status = 0;
    EXPECT_EQ(m_request->get_Status(&status), S_OK);
    EXPECT_EQ(status, 200);
    ScopedBstr name(L"Content-Length");
    ScopedBstr value;
    EXPECT_EQ(m_request->GetResponseHeader(name.Get(), value.Receive()), S_OK);
    EXPECT_STREQ(value.Get(), L"5");
    ScopedBstr missing(L"X-Not-There");
    EXPECT_TRUE(FAILED(m_request->GetResponseHeader(missing.Get(), value.Receive())));
    EXPECT_EQ(ReadBody(), "alpha");
    EXPECT_EQ(m_server.WaitForRequests("/a.txt", 1)[0].Header("User-Agent"), "TestAgent/1.0");
}

TEST_F(Request, OpenRefusesAsyncAndOtherSchemes) {
    EXPECT_EQ(Open(L"GET", m_server.Url(L"/a.txt"), BoolVariant(true)), E_NOTIMPL);
    EXPECT_EQ(Open(L"GET", L"ftp://127.0.0.1/a.txt"), E_INVALIDARG);
    EXPECT_EQ(Open(L"", m_server.Url(L"/a.txt")), E_INVALIDARG);
    EXPECT_EQ(Open(L"GET", L"not a url"), E_INVALIDARG);
    VARIANT falseText;
    VariantInit(&falseText);
    V_VT(&falseText) = VT_BSTR;
    V_BSTR(&falseText) = SysAllocString(L"false");
    EXPECT_EQ(Open(L"GET", m_server.Url(L"/a.txt"), falseText), S_OK);
    VariantClear(&falseText);
    EXPECT_EQ(m_request->Send(Empty()), S_OK);
}

TEST_F(Request, ReusesTheConnectionForTheSameHostAndPort) {
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(Open(L"GET", m_server.Url(L"/a.txt")), S_OK);
        ASSERT_EQ(m_request->Send(Empty()), S_OK);
        EXPECT_EQ(ReadBody(), "alpha");
    }
    auto requests = m_server.WaitForRequests("/a.txt", 2);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].clientPort, requests[1].clientPort) << "a second connection was opened";
}

TEST_F(Request, HeaderRules) {
    EXPECT_EQ(SetHeader(L"X-Before-Open", L"lost"), S_OK);
    ASSERT_EQ(Open(L"GET", m_server.Url(L"/a.txt")), S_OK);
    SetHeader(L"X-Twice", L"first");
    SetHeader(L"X-Twice", L"second");
    SetHeader(L"X-Empty", L"");
    ASSERT_EQ(m_request->Send(Empty()), S_OK);
    auto requests = m_server.WaitForRequests("/a.txt", 1);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_FALSE(requests[0].HasHeader("X-Before-Open"));
    EXPECT_EQ(requests[0].Header("X-Twice"), "second");
    EXPECT_FALSE(requests[0].HasHeader("X-Empty"));
}

TEST_F(Request, StreamBodiesOnlyForPost) {
    ComPtr<IStream> body;
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, body.Receive()), S_OK);
    VARIANT variant;
    VariantInit(&variant);
    V_VT(&variant) = VT_UNKNOWN;
    V_UNKNOWN(&variant) = body.Get();

    ASSERT_EQ(Open(L"POST", m_server.Url(L"/post")), S_OK);
    EXPECT_EQ(m_request->Send(variant), E_INVALIDARG) << "an empty stream body";
    body->Write("{\"k\": 1}", 8, nullptr);
    ASSERT_EQ(Open(L"GET", m_server.Url(L"/post")), S_OK);
    EXPECT_EQ(m_request->Send(variant), E_INVALIDARG);
    ASSERT_EQ(Open(L"post", m_server.Url(L"/post")), S_OK);
    EXPECT_EQ(m_request->Send(variant), E_INVALIDARG);
    VARIANT number;
    VariantInit(&number);
    V_VT(&number) = VT_I4;
    EXPECT_EQ(m_request->Send(number), E_NOTIMPL);

    ASSERT_EQ(Open(L"POST", m_server.Url(L"/post")), S_OK);
    EXPECT_EQ(m_request->Send(variant), S_OK);
    auto posts = m_server.WaitForRequests("/post", 1);
    ASSERT_EQ(posts.size(), 1u);
    EXPECT_EQ(posts[0].method, "POST");
    EXPECT_EQ(posts[0].body, "{\"k\": 1}");
}

TEST_F(Request, ReadDataArgumentRules) {
    ComPtr<WinHTTP::IWinHttpRequestEx> extension;
    ASSERT_EQ(m_request->QueryInterface(WinHTTP::IID_IWinHttpRequestEx, extension.ReceiveVoid()), S_OK);
    ULONG read = 77;
    EXPECT_EQ(extension->ReadData(nullptr, 0, &read), S_FALSE);
    EXPECT_EQ(read, 0u);
    EXPECT_EQ(extension->ReadData(nullptr, 5, &read), E_INVALIDARG);
    ComPtr<IDispatch> dispatch;
    EXPECT_EQ(m_request->QueryInterface(IID_IDispatch, dispatch.ReceiveVoid()), S_OK);
    EXPECT_EQ(m_request->get_ResponseBody(nullptr), E_NOTIMPL);
}

TEST(PostJson, PostsTheBodyWithJsonHeadersAndReadsTheAnswer) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    TestServer server;
    ASSERT_TRUE(server.Available());
    server.Reset();
    server.Respond("/rpc/echo", 200, "a=1\r\n");
    ComPtr<IStream> output;
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, output.Receive()), S_OK);
    const char body[] = "{\"machineId\": \"X\"}";
    EXPECT_EQ(WinHTTP::PostJson(server.Url(L"/rpc/echo").c_str(), body, sizeof(body) - 1, output.Get()), S_OK);
    char answer[32] = {};
    ULONG read = 0;
    output->Read(answer, sizeof(answer) - 1, &read);
    EXPECT_STREQ(answer, "a=1\r\n");

    auto posts = server.WaitForRequests("/rpc/echo", 1);
    ASSERT_EQ(posts.size(), 1u);
    EXPECT_EQ(posts[0].method, "POST");
    EXPECT_EQ(posts[0].body, body);
    EXPECT_EQ(posts[0].Header("Content-Type"), "application/json");
    EXPECT_EQ(posts[0].Header("Accept"), "application/json");
    CoUninitialize();
}

TEST(PostJson, ANon2xxAnswerLeavesTheOutputAlone) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    TestServer server;
    ASSERT_TRUE(server.Available());
    ComPtr<IStream> output;
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, output.Receive()), S_OK);
    output->Write("kept", 4, nullptr);
    EXPECT_EQ(WinHTTP::PostJson(server.Url(L"/rpc/nothing-here").c_str(), "{}", 2, output.Get()), S_OK);
    STATSTG stat = {};
    output->Stat(&stat, STATFLAG_NONAME);
    EXPECT_EQ(stat.cbSize.QuadPart, 4u);
    EXPECT_EQ(WinHTTP::PostJson(server.Url(L"/x").c_str(), nullptr, 0, output.Get()), E_POINTER);
    CoUninitialize();
}
// A 2xx answer that cannot be written whole is a failure, not a short success.
TEST(PostJson, AnAnswerThatCannotBeWrittenFails) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    TestServer server;
    ASSERT_TRUE(server.Available());
    server.Reset();
    server.Respond("/rpc/echo", 200, "a=1\r\n");
    TemporaryDirectory folder;
    WriteBytes(folder.File(L"answer"), "");
    ComPtr<IStream> readOnly;
    ASSERT_EQ(SHCreateStreamOnFileEx(folder.File(L"answer").c_str(), STGM_READ | STGM_SHARE_DENY_NONE, 0, FALSE,
                                     nullptr, readOnly.Receive()),
              S_OK);
    EXPECT_TRUE(FAILED(WinHTTP::PostJson(server.Url(L"/rpc/echo").c_str(), "{}", 2, readOnly.Get())));
    readOnly.Reset();
    CoUninitialize();
}
}  // namespace
