// DownloadToStream against the stand-in server: resume, restarts, length and
// range checks, changed files, retries, cancellation, and a short seeded pass
// of the fault matrix (bench/fault-matrix.sh runs the long one).
#include <gtest/gtest.h>
#include <shlwapi.h>

#include <fstream>
#include <random>
#include <iterator>
#include <vector>

#include "TestServer.h"
#include "TestSupport.h"
#include "framework/ComPtr.h"
#include "framework/ProtectedFolder.h"
#include "http/DownloadToStream.h"
#include "http/ResponseHeaders.h"

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

    // Requests for the file, and one of their headers ("" when none).
    std::vector<std::string> Headers(const std::string& name, const std::string& header) {
        std::vector<std::string> values;
        for (const RecordedRequest& request : m_server.Requests()) {
            if (request.target == "/" + name) values.push_back(request.Header(header));
        }
        return values;
    }
    std::vector<std::string> Ranges(const std::string& name) { return Headers(name, "Range"); }

    // A fresh target in place of the last one, whose file goes.
    void NewTarget() {
        m_target.Reset();
        DeleteFileW(m_path.c_str());
        ASSERT_EQ(CreateTempFileStream(L"twu", m_target.Receive(), m_path), S_OK);
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

// Each case ends with exactly the bytes the server holds at the end, after
// the requests listed (their Range headers).
struct FaultCase {
    const char* name;
    size_t size;
    std::string faults;
    std::vector<std::string> ranges;
};

TEST_F(Download, FaultsEndWithTheServedBytes) {
    const size_t breakAt = 3 * MiB + 5;
    const std::string resume = "bytes=" + std::to_string(breakAt) + "-";
    const std::string cut = "{\"close_after\": " + std::to_string(breakAt);
    const FaultCase cases[] = {
        // Without a total nothing received can be checked: start over, no Range.
        {"nolength-broken", 8 * MiB, "[" + cut + ", \"no_content_length\": true, \"reset\": true}]", {"", ""}},
        {"range-from-elsewhere", 8 * MiB, "[" + cut + "}, {\"range_shift\": -4096}]", {"", resume, ""}},
        {"range-beyond", 8 * MiB, "[" + cut + "}, {\"range_shift\": 1}]", {"", resume, ""}},
        {"changed-between-attempts", 8 * MiB, "[" + cut + ", \"change_file\": true}]", {"", resume}},
        {"changed-weak-etag", 8 * MiB, "[" + cut + ", \"change_file\": true, \"weak_etag\": true}, {\"weak_etag\": true}]",
         {"", resume}},
        {"lying-longer-first", 4 * MiB, "[{\"content_length\": " + std::to_string(5 * MiB) + "}]",
         {"", "bytes=" + std::to_string(4 * MiB) + "-", ""}},
    };
    unsigned seed = 20;
    for (const FaultCase& c : cases) {
        SCOPED_TRACE(c.name);
        m_server.Reset();
        const std::wstring file = L"case-" + std::to_wstring(seed) + L".bin";
        const std::string name = ToUtf8(file);
        m_server.PutFile(file, PatternBytes(c.size, seed++));
        m_server.Fault("/" + name, c.faults);
        NewTarget();
        EXPECT_EQ(Fetch(file), S_OK);
        EXPECT_TRUE(ReadFileBytes(m_path) == m_server.ReadRootFile(file)) << "wrong bytes reported as success";
        EXPECT_EQ(Ranges(name), c.ranges);
        DeleteFileW(m_path.c_str());
    }
}

TEST_F(Download, ResumesWithIfRangeNamingTheStartedVersion) {
    // The strong ETag when there is one, else the Last-Modified date.
    for (const bool weak : {false, true}) {
        SCOPED_TRACE(weak ? "weak ETag" : "strong ETag");
        m_server.Reset();
        m_server.PutFile(L"versions.bin", PatternBytes(3 * MiB, 30));
        const std::string weakFlag = weak ? ", \"weak_etag\": true" : "";
        m_server.Fault("/versions.bin", "[{\"close_after\": 1000000" + weakFlag + "}, {\"close_after\": 500000" +
                                            weakFlag + "}, {" + weakFlag.substr(weak ? 2 : 0) + "}]");
        NewTarget();
        EXPECT_EQ(Fetch(L"versions.bin"), S_OK);
        EXPECT_TRUE(ReadFileBytes(m_path) == m_server.ReadRootFile(L"versions.bin"));
        EXPECT_EQ(Ranges("versions.bin"), (std::vector<std::string>{"", "bytes=1000000-", "bytes=1500000-"}));
        auto validators = Headers("versions.bin", "If-Range");
        ASSERT_EQ(validators.size(), 3u);
        EXPECT_EQ(validators[0], "");
        EXPECT_EQ(validators[1], validators[2]);
        if (weak) {
            EXPECT_TRUE(validators[1].ends_with(" GMT")) << validators[1];
        } else {
            EXPECT_TRUE(validators[1].starts_with("\"")) << validators[1];
        }
        DeleteFileW(m_path.c_str());
    }
}

TEST_F(Download, ProgressComesAsTheBytesArrive) {
    const std::string content = PatternBytes(2 * MiB, 31);
    m_server.PutFile(L"slow.bin", content);
    m_server.Fault("/slow.bin", "[{\"trickle_ms\": 15}]");
    EXPECT_EQ(Fetch(L"slow.bin"), S_OK);
    ASSERT_GE(m_progress.done.size(), 32u);
    ULONGLONG previous = 0;
    for (ULONGLONG done : m_progress.done) {
        EXPECT_LE(done - previous, 64u * 1024) << "a read waited for more than 64 KiB";
        previous = done;
    }
    EXPECT_EQ(previous, content.size());
}

TEST_F(Download, TheFragmentIsNotSent) {
    m_server.PutFile(L"fragment.bin", "abc");
    EXPECT_EQ(Fetch(L"fragment.bin?x=1#part"), S_OK);
    auto requests = m_server.WaitForRequests("/fragment.bin", 1);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].target, "/fragment.bin?x=1");
}

// A short seeded pass of the fault matrix: every scenario of the server with
// random break points, each ending with the exact served bytes.
TEST_F(Download, SeededFaultMatrix) {
    const char* scenarios[] = {"clean",       "break_resume", "ignore_range",  "lying_length", "wrong_range",
                               "no_length",   "changed_file", "server_error",  "stall"};
    std::mt19937 random(1013);
    const size_t size = 2 * MiB;
    for (int round = 0; round < 2; ++round) {
        for (const char* scenario : scenarios) {
            const size_t breakAt = std::uniform_int_distribution<size_t>(1, size - 1)(random);
            SCOPED_TRACE(std::string(scenario) + " at " + std::to_string(breakAt));
            m_server.Reset();
            m_server.PutFile(L"matrix.bin", PatternBytes(size, static_cast<unsigned>(breakAt)));
            m_server.Scenario("/matrix.bin", scenario, breakAt, static_cast<unsigned>(random()));
            NewTarget();
            EXPECT_EQ(Fetch(L"matrix.bin"), S_OK);
            EXPECT_TRUE(ReadFileBytes(m_path) == m_server.ReadRootFile(L"matrix.bin")) << "wrong bytes";
            DeleteFileW(m_path.c_str());
        }
    }
}

TEST(ContentRange, Parsing) {
    struct Case {
        const wchar_t* text;
        bool parsed;
        ULONGLONG first, last, complete;
    };
    const Case cases[] = {
        {L"bytes 0-99/100", true, 0, 99, 100},
        {L"BYTES  5-5/6", true, 5, 5, 6},
        {L"bytes 10-19/*", true, 10, 19, kUnknownLength},
        {L"bytes 10-19/19", false, 0, 0, 0},
        {L"bytes 20-19/100", false, 0, 0, 0},
        {L"bytes */100", false, 0, 0, 0},
        {L"items 0-1/2", false, 0, 0, 0},
        {L"bytes0-1/2", false, 0, 0, 0},
        {L"bytes 0-1/2x", false, 0, 0, 0},
        {L"bytes -1-2/3", false, 0, 0, 0},
        {L"bytes 0-18446744073709551616/1", false, 0, 0, 0},
        {L"", false, 0, 0, 0},
    };
    for (const Case& c : cases) {
        ContentRange range;
        EXPECT_EQ(ParseContentRange(c.text, range), c.parsed) << ToUtf8(c.text);
        if (c.parsed) {
            EXPECT_EQ(range.first, c.first);
            EXPECT_EQ(range.last, c.last);
            EXPECT_EQ(range.complete, c.complete);
        }
    }
    ULONGLONG value = 0;
    EXPECT_TRUE(ParseDecimal(L"18446744073709551615", value));
    EXPECT_EQ(value, ~0ull);
    EXPECT_FALSE(ParseDecimal(L"18446744073709551616", value));
    EXPECT_FALSE(ParseDecimal(L"+5", value));
    EXPECT_FALSE(ParseDecimal(L"", value));
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

TEST(CreateTempFileStream, MakesAnEmptyUniqueFileInTheProtectedWorkFolder) {
    ComPtr<IStream> first, second;
    std::wstring firstPath, secondPath;
    ASSERT_EQ(CreateTempFileStream(L"twu", first.Receive(), firstPath), S_OK);
    ASSERT_EQ(CreateTempFileStream(L"twu", second.Receive(), secondPath), S_OK);
    EXPECT_NE(firstPath, secondPath);
    EXPECT_NE(firstPath.find(L"\\twu"), std::wstring::npos);
    std::wstring folder;
    ASSERT_EQ(GetWorkFolder(folder), S_OK);
    EXPECT_EQ(firstPath.rfind(folder + L"\\", 0), 0u) << ToUtf8(firstPath);
    // While the download fills it nobody else may write, delete or rename it.
    HANDLE writer = CreateFileW(firstPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
    if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
    EXPECT_FALSE(DeleteFileW(firstPath.c_str()));
    ULONG written = 0;
    ASSERT_EQ(first->Write("abc", 3, &written), S_OK);
    first.Reset();
    second.Reset();
    EXPECT_EQ(ReadFileBytes(firstPath), "abc");
    EXPECT_EQ(ReadFileBytes(secondPath), "");
    DeleteFileW(firstPath.c_str());
    DeleteFileW(secondPath.c_str());
}
}  // namespace
