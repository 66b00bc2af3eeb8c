// DownloadToStream against the stand-in server: resume, restarts, length
// checks, retries, cancellation.
#include <gtest/gtest.h>
#include <shlwapi.h>

#include <fstream>
#include <iterator>
#include <vector>

#include "TestServer.h"
#include "TestSupport.h"
#include "framework/ComPtr.h"
#include "http/DownloadToStream.h"

namespace {
const size_t MiB = 1024 * 1024;

struct Progress {
    std::vector<ULONGLONG> done;
    std::vector<ULONGLONG> totals;
    HRESULT answer = S_OK;
};

HRESULT Record(ULONGLONG done, ULONGLONG total, ULONG, void* context) {
    auto* progress = static_cast<Progress*>(context);
    progress->done.push_back(done);
    progress->totals.push_back(total);
    return progress->answer;
}

std::string ReadFileBytes(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class Download : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_server.Available()) << "run under tests/server/with-server.sh";
        m_server.Reset();
        ASSERT_EQ(CreateTempFileStream(L"twu", m_target.Receive(), m_path), S_OK);
    }
    void TearDown() override {
        m_target.Reset();
        DeleteFileW(m_path.c_str());
    }

    HRESULT Fetch(const std::wstring& name) {
        HRESULT hr = DownloadToStream(m_server.Url(L"/" + name).c_str(), m_target.Get(), Record, &m_progress);
        m_target.Reset();  // flush and close so the file can be read
        return hr;
    }

    // Requests for the file, and their Range headers ("" when none).
    std::vector<std::string> Ranges(const std::string& name) {
        std::vector<std::string> ranges;
        for (const RecordedRequest& request : m_server.Requests()) {
            if (request.target == "/" + name) ranges.push_back(request.Header("Range"));
        }
        return ranges;
    }

    TestServer m_server;
    ComPtr<IStream> m_target;
    std::wstring m_path;
    Progress m_progress;
};

TEST_F(Download, ResumesABrokenTransferWithARange) {
    const std::string content = PatternBytes(10 * MiB);
    m_server.PutFile(L"ten.bin", content);
    m_server.Fault("/ten.bin", "[{\"close_after\": " + std::to_string(3 * MiB) + "}]");
    EXPECT_EQ(Fetch(L"ten.bin"), S_OK);
    EXPECT_TRUE(ReadFileBytes(m_path) == content) << "the file differs from the served one";
    EXPECT_EQ(Ranges("ten.bin"), (std::vector<std::string>{"", "bytes=3145728-"}));
    // done restarts on the second response; total stays the whole length.
    ASSERT_FALSE(m_progress.done.empty());
    EXPECT_EQ(m_progress.done.back(), 7 * MiB);
    EXPECT_EQ(m_progress.totals.back(), 10 * MiB);
}

TEST_F(Download, ServerIgnoringTheRangeRestartsTheFile) {
    const std::string content = PatternBytes(6 * MiB, 2);
    m_server.PutFile(L"norange.bin", content);
    m_server.Fault("/norange.bin", "[{\"close_after\": " + std::to_string(2 * MiB) + "}, {\"ignore_range\": true}]");
    EXPECT_EQ(Fetch(L"norange.bin"), S_OK);
    EXPECT_EQ(ReadFileBytes(m_path).size(), content.size());
    EXPECT_TRUE(ReadFileBytes(m_path) == content);
    EXPECT_EQ(Ranges("norange.bin").size(), 2u);
}

TEST_F(Download, LyingPartialLengthStartsOverWithoutARange) {
    const std::string content = PatternBytes(5 * MiB, 3);
    m_server.PutFile(L"lying.bin", content);
    m_server.Fault("/lying.bin",
                   "[{\"close_after\": " + std::to_string(MiB) + "}, {\"content_length\": 1000}]");
    EXPECT_EQ(Fetch(L"lying.bin"), S_OK);
    EXPECT_TRUE(ReadFileBytes(m_path) == content);
    EXPECT_EQ(Ranges("lying.bin"), (std::vector<std::string>{"", "bytes=1048576-", ""}));
}

TEST_F(Download, GivesUpAfterFiveAttempts) {
    EXPECT_EQ(Fetch(L"missing.bin"), static_cast<HRESULT>(0x80190194));
    EXPECT_EQ(Ranges("missing.bin").size(), 5u);
    EXPECT_TRUE(m_progress.done.empty());
}

TEST_F(Download, CallbackCancelsAfterTheFirstChunk) {
    m_server.PutFile(L"cancel.bin", PatternBytes(12 * MiB, 4));
    m_progress.answer = E_ABORT;
    EXPECT_EQ(Fetch(L"cancel.bin"), E_ABORT);
    EXPECT_EQ(m_progress.done.size(), 1u);
    EXPECT_EQ(ReadFileBytes(m_path).size(), m_progress.done[0]);
    EXPECT_EQ(Ranges("cancel.bin").size(), 1u);
}

TEST_F(Download, EmptyBodySucceedsWithoutProgress) {
    m_server.PutFile(L"empty.bin", "");
    EXPECT_EQ(Fetch(L"empty.bin"), S_OK);
    EXPECT_EQ(ReadFileBytes(m_path), "");
    EXPECT_TRUE(m_progress.done.empty());
}

TEST_F(Download, NoContentLengthCountsAnyCompleteBody) {
    const std::string content = PatternBytes(MiB + 17, 5);
    m_server.PutFile(L"nolength.bin", content);
    m_server.Fault("/nolength.bin", "[{\"no_content_length\": true}]");
    EXPECT_EQ(Fetch(L"nolength.bin"), S_OK);
    EXPECT_TRUE(ReadFileBytes(m_path) == content);
    ASSERT_FALSE(m_progress.totals.empty());
    EXPECT_EQ(m_progress.totals.back(), kUnknownLength);
}

TEST_F(Download, SendsTheDefaultUserAgent) {
    m_server.PutFile(L"agent.bin", "x");
    EXPECT_EQ(Fetch(L"agent.bin"), S_OK);
    auto requests = m_server.WaitForRequests("/agent.bin", 1);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].Header("User-Agent"), "TARNHTTP/1.1");
}

TEST(ComputePercent, Cases) {
    struct Case {
        ULONGLONG done, total;
        HRESULT hr;
        ULONG percent;
    };
    const Case cases[] = {
        {0, 100, S_OK, 0},          {50, 200, S_OK, 25},  {199, 200, S_OK, 99},   {200, 200, S_OK, 100},
        {300, 200, S_OK, 100},      {5, kUnknownLength, S_OK, 0},
        {~0ull / 50, ~0ull - 1, static_cast<HRESULT>(0x80070216), 0},
    };
    for (const Case& c : cases) {
        ULONG percent = 12345;
        EXPECT_EQ(ComputePercent(c.done, c.total, &percent), c.hr) << c.done << "/" << c.total;
        if (c.hr == S_OK) {
            EXPECT_EQ(percent, c.percent) << c.done << "/" << c.total;
        }
    }
}

TEST(CreateTempFileStream, MakesAnEmptyUniqueFileInTheTemporaryFolder) {
    ComPtr<IStream> first, second;
    std::wstring firstPath, secondPath;
    ASSERT_EQ(CreateTempFileStream(L"twu", first.Receive(), firstPath), S_OK);
    ASSERT_EQ(CreateTempFileStream(L"twu", second.Receive(), secondPath), S_OK);
    EXPECT_NE(firstPath, secondPath);
    EXPECT_NE(firstPath.find(L"twu"), std::wstring::npos);
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    EXPECT_EQ(firstPath.rfind(folder, 0), 0u);
    first.Reset();
    second.Reset();
    EXPECT_EQ(ReadFileBytes(firstPath), "");
    DeleteFileW(firstPath.c_str());
    DeleteFileW(secondPath.c_str());
}
}  // namespace
