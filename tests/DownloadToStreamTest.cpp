// DownloadToStream against the stand-in server: resume, restarts, length and
// range checks, changed files, retries, cancellation, and a short seeded pass
// of the fault matrix (bench/fault-matrix.sh runs the long one).
#include <gtest/gtest.h>
#include <shlwapi.h>
#include <winhttp.h>

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
#include "http/RetryPolicy.h"

namespace {
const size_t MiB = 1024 * 1024;

struct Progress {
    std::vector<ULONGLONG> done;
    std::vector<ULONGLONG> totals;
    HRESULT answer = S_OK;

    // Every report holds at least as many bytes as the one before.
    bool OnlyRises() const {
        for (size_t i = 1; i < done.size(); ++i) {
            if (done[i] < done[i - 1]) return false;
        }
        return true;
    }
};

// The retry numbers of the program with pauses short enough for many cases
// in one test run; the real pauses are used where a test says so.
DownloadOptions QuickRetries() {
    DownloadOptions options;
    options.retry.firstPauseMs = 10;
    options.retry.maxPauseMs = 40;
    options.retry.maxRetryAfterMs = 40;
    return options;
}

DownloadOptions WithoutLength() {
    DownloadOptions options = QuickRetries();
    options.requireLength = false;
    return options;
}

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

    HRESULT Fetch(const std::wstring& name, const DownloadOptions& options = QuickRetries()) {
        HRESULT hr = DownloadToStream(m_server.Url(L"/" + name).c_str(), m_target.Get(), Record, &m_progress, options);
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
    // Progress counts the bytes of the whole file the target holds: it goes
    // on from 3 MiB on the second response and ends at the whole length.
    ASSERT_FALSE(m_progress.done.empty());
    EXPECT_TRUE(m_progress.OnlyRises());
    EXPECT_EQ(m_progress.done.back(), 10 * MiB);
    EXPECT_EQ(m_progress.totals.back(), 10 * MiB);
}

// More drops than the attempts a download has without progress, each after
// some progress, with the program's own pauses: the file still arrives.
TEST_F(Download, DropsAfterProgressDoNotUseUpTheAttempts) {
    const std::string content = PatternBytes(8 * MiB, 40);
    m_server.PutFile(L"drops.bin", content);
    std::string faults = "[";
    for (int i = 0; i < 7; ++i) faults += std::string(i ? ", " : "") + "{\"close_after\": " + std::to_string(MiB) + "}";
    m_server.Fault("/drops.bin", faults + "]");
    EXPECT_EQ(Fetch(L"drops.bin", DownloadOptions{}), S_OK);
    EXPECT_TRUE(ReadFileBytes(m_path) == content);
    auto ranges = Ranges("drops.bin");
    ASSERT_EQ(ranges.size(), 8u);
    for (size_t i = 1; i < ranges.size(); ++i) EXPECT_EQ(ranges[i], "bytes=" + std::to_string(i * MiB) + "-");
    EXPECT_TRUE(m_progress.OnlyRises());
}

// A resume answered with the whole file of a new, longer version: that
// answer is the download, no further request.
TEST_F(Download, AWholeNewFileAnsweringAResumeIsUsedAsItIs) {
    m_server.PutFile(L"grown.bin", PatternBytes(4 * MiB, 41));
    m_server.Fault("/grown.bin", "[{\"close_after\": 1000000, \"change_file\": true, \"grow\": 5000}]");
    EXPECT_EQ(Fetch(L"grown.bin"), S_OK);
    EXPECT_EQ(ReadFileBytes(m_path).size(), 4 * MiB + 5000);
    EXPECT_TRUE(ReadFileBytes(m_path) == m_server.ReadRootFile(L"grown.bin"));
    EXPECT_EQ(Ranges("grown.bin"), (std::vector<std::string>{"", "bytes=1000000-"}));
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

// Answers that do not change when asked again end the download at once;
// the others are asked again until five attempts in a row made no progress.
TEST_F(Download, StatusAnswersAndTheirRetries) {
    struct Case {
        int status;
        size_t requests;
    };
    const Case cases[] = {{404, 1}, {410, 1}, {403, 1}, {400, 1}, {408, 5}, {429, 5}, {500, 5}, {503, 5}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
        m_server.Reset();
        m_server.Respond("/status.bin", c.status, "no");
        NewTarget();
        m_progress = Progress{};
        EXPECT_EQ(Fetch(L"status.bin"), static_cast<HRESULT>(0x80190000u | c.status));
        EXPECT_EQ(Ranges("status.bin").size(), c.requests);
        EXPECT_TRUE(m_progress.done.empty() || m_progress.done.back() == 0);
    }
}

TEST_F(Download, RetryAfterAndTheTimeBound) {
    m_server.PutFile(L"busy.bin", "after the wait");
    m_server.Fault("/busy.bin", "[{\"status\": 429, \"retry_after\": 0}, {\"status\": 503, \"retry_after\": \"soon\"}]");
    EXPECT_EQ(Fetch(L"busy.bin"), S_OK);
    EXPECT_EQ(ReadFileBytes(m_path), "after the wait");
    EXPECT_EQ(Ranges("busy.bin").size(), 3u);

    // No attempt starts past the download's time bound.
    m_server.Reset();
    m_server.Fault("/busy.bin", "[{\"status\": 503}]");
    NewTarget();
    DownloadOptions noTime = QuickRetries();
    noTime.retry.maxTotalMs = 0;
    EXPECT_EQ(Fetch(L"busy.bin", noTime), static_cast<HRESULT>(0x801901F7));
    EXPECT_EQ(Ranges("busy.bin").size(), 1u);
}

TEST_F(Download, ACancelIsHeardDuringThePause) {
    m_server.PutFile(L"pause.bin", "x");
    m_server.Fault("/pause.bin", "[{\"status\": 503}]");
    m_progress.answer = E_ABORT;
    EXPECT_EQ(Fetch(L"pause.bin", DownloadOptions{}), E_ABORT);
    EXPECT_EQ(Ranges("pause.bin").size(), 1u);
    EXPECT_EQ(m_progress.done, std::vector<ULONGLONG>{0});
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

TEST_F(Download, NoContentLengthIsRefusedWhereALengthIsNeeded) {
    m_server.PutFile(L"nolength.bin", PatternBytes(MiB + 17, 5));
    std::string faults = "[";
    for (int i = 0; i < 5; ++i) faults += std::string(i ? ", " : "") + "{\"no_content_length\": true}";
    m_server.Fault("/nolength.bin", faults + "]");
    EXPECT_EQ(Fetch(L"nolength.bin"), kDownloadLengthUnknown);
    EXPECT_EQ(Ranges("nolength.bin").size(), 5u);
    EXPECT_EQ(ReadFileBytes(m_path), "");
}

// Without a length the end of the body is confirmed by asking for what
// follows it: a 416 answer makes the file complete.
TEST_F(Download, AnUnknownLengthIsConfirmedPastTheEnd) {
    const std::string content = PatternBytes(MiB + 17, 5);
    m_server.PutFile(L"nolength.bin", content);
    m_server.Fault("/nolength.bin", "[{\"no_content_length\": true}]");
    EXPECT_EQ(Fetch(L"nolength.bin", WithoutLength()), S_OK);
    EXPECT_TRUE(ReadFileBytes(m_path) == content);
    EXPECT_EQ(Ranges("nolength.bin"), (std::vector<std::string>{"", "bytes=" + std::to_string(content.size()) + "-"}));
    ASSERT_FALSE(m_progress.totals.empty());
    EXPECT_EQ(m_progress.totals.front(), kUnknownLength);
}

// A response cut inside its head (after the status line, before or inside
// the length) never leaves a short file as success.
TEST_F(Download, AResponseCutInItsHeadIsNotAFile) {
    const std::string content = PatternBytes(3 * MiB, 42);
    for (const bool needLength : {true, false}) {
        for (const int cut : {20, 40, 100, 130, 190}) {
            SCOPED_TRACE(std::to_string(cut) + (needLength ? " with length needed" : " without"));
            m_server.Reset();
            m_server.PutFile(L"head.bin", content);
            m_server.Fault("/head.bin", "[{\"header_cut\": " + std::to_string(cut) + "}]");
            NewTarget();
            EXPECT_EQ(Fetch(L"head.bin", needLength ? QuickRetries() : WithoutLength()), S_OK);
            EXPECT_TRUE(ReadFileBytes(m_path) == content) << ReadFileBytes(m_path).size() << " bytes";
            EXPECT_GE(Ranges("head.bin").size(), 2u);
        }
    }
}

TEST_F(Download, AContentCodingFailsWithItsOwnCode) {
    m_server.PutFile(L"coded.bin", PatternBytes(1000, 43));
    m_server.Fault("/coded.bin", "[{\"content_encoding\": \"gzip\"}]");
    EXPECT_EQ(Fetch(L"coded.bin"), kDownloadContentEncoded);
    EXPECT_EQ(Ranges("coded.bin").size(), 1u);
    EXPECT_EQ(ReadFileBytes(m_path), "");

    m_server.Reset();
    m_server.Fault("/coded.bin", "[{\"content_encoding\": \"identity\"}]");
    NewTarget();
    EXPECT_EQ(Fetch(L"coded.bin"), S_OK);
    EXPECT_TRUE(ReadFileBytes(m_path) == m_server.ReadRootFile(L"coded.bin"));
}

TEST_F(Download, NoDownloadGrowsPastItsBound) {
    m_server.PutFile(L"big.bin", PatternBytes(5000, 44));
    DownloadOptions bounded = QuickRetries();
    bounded.maxBytes = 1000;
    EXPECT_EQ(Fetch(L"big.bin", bounded), kDownloadTooLarge);
    EXPECT_EQ(ReadFileBytes(m_path), "");
    EXPECT_EQ(Ranges("big.bin").size(), 1u);

    // Without a length it stops once the bound is reached.
    m_server.Reset();
    m_server.Fault("/big.bin", "[{\"no_content_length\": true}]");
    NewTarget();
    bounded.requireLength = false;
    EXPECT_EQ(Fetch(L"big.bin", bounded), kDownloadTooLarge);
    EXPECT_LE(ReadFileBytes(m_path).size(), 1000u);
    EXPECT_EQ(Ranges("big.bin").size(), 1u);
}

// Each case ends with exactly the bytes the server holds at the end, after
// the requests listed (their Range headers).
struct FaultCase {
    const char* name;
    size_t size;
    std::string faults;
    std::vector<std::string> ranges;  // empty: not checked (the client's reading of a reset decides)
    bool needLength = true;
};

TEST_F(Download, FaultsEndWithTheServedBytes) {
    const size_t breakAt = 3 * MiB + 5;
    const std::string resume = "bytes=" + std::to_string(breakAt) + "-";
    const std::string cut = "{\"close_after\": " + std::to_string(breakAt);
    const FaultCase cases[] = {
        // Without a total the end is confirmed (or a broken read starts over).
        {"nolength-broken", 8 * MiB, "[" + cut + ", \"no_content_length\": true, \"reset\": true}]", {}, false},
        {"nolength-closed", 8 * MiB, "[" + cut + ", \"no_content_length\": true}]", {"", resume}, false},
        {"nolength-needed", 8 * MiB, "[" + cut + ", \"no_content_length\": true}]", {"", ""}},
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
        EXPECT_EQ(Fetch(file, c.needLength ? QuickRetries() : WithoutLength()), S_OK);
        EXPECT_TRUE(ReadFileBytes(m_path) == m_server.ReadRootFile(file)) << "wrong bytes reported as success";
        if (!c.ranges.empty()) {
            EXPECT_EQ(Ranges(name), c.ranges);
        }
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
                               "no_length",   "changed_file", "server_error",  "stall",        "header_cut",   "many_drops"};
    std::mt19937 random(1013);
    const size_t size = 2 * MiB;
    // The first round needs a length (the payload and offers), the second
    // confirms unknown lengths.
    for (int round = 0; round < 2; ++round) {
        for (const char* scenario : scenarios) {
            const size_t breakAt = std::uniform_int_distribution<size_t>(1, size - 1)(random);
            SCOPED_TRACE(std::string(scenario) + " at " + std::to_string(breakAt));
            m_server.Reset();
            m_server.PutFile(L"matrix.bin", PatternBytes(size, static_cast<unsigned>(breakAt)));
            m_server.Scenario("/matrix.bin", scenario, breakAt, static_cast<unsigned>(random()));
            NewTarget();
            EXPECT_EQ(Fetch(L"matrix.bin", round == 0 ? QuickRetries() : WithoutLength()), S_OK);
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

TEST(ContentRange, UnsatisfiedRanges) {
    ULONGLONG complete = 0;
    EXPECT_TRUE(ParseUnsatisfiedRange(L"bytes */1234", complete));
    EXPECT_EQ(complete, 1234u);
    EXPECT_TRUE(ParseUnsatisfiedRange(L" Bytes */0 ", complete));
    EXPECT_EQ(complete, 0u);
    for (const wchar_t* bad : {L"bytes 0-1/2", L"bytes */", L"bytes */x", L"bytes*/5", L"items */5", L""}) {
        EXPECT_FALSE(ParseUnsatisfiedRange(bad, complete)) << ToUtf8(bad);
    }
}

TEST(RetryPolicy, PausesGrowWithinTheirBounds) {
    const RetryPolicy policy;  // the program's own numbers
    struct Case {
        int failures;
        DWORD retryAfterMs;
        DWORD pauseMs;
    };
    const Case cases[] = {
        {1, kNoRetryAfter, 1000},  {2, kNoRetryAfter, 2000}, {3, kNoRetryAfter, 4000}, {4, kNoRetryAfter, 8000},
        {9, kNoRetryAfter, 30000}, {40, kNoRetryAfter, 30000},
        {1, 0, 1000},  // a shorter wish than the pause does not shorten it
        {1, 5000, 5000}, {3, 120000, 60000},  // a longer one is honoured up to a minute
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PauseBeforeNextAttempt(policy, c.failures, c.retryAfterMs), c.pauseMs) << c.failures;
    }
    EXPECT_TRUE(MayTryAgain(policy, 4, 0, 8000));
    EXPECT_FALSE(MayTryAgain(policy, 5, 0, 16000));
    EXPECT_TRUE(MayTryAgain(policy, 0, 3599000, 1000));
    EXPECT_FALSE(MayTryAgain(policy, 0, 3599000, 1001));
}

TEST(RetryPolicy, StatusesAndFailuresThatStay) {
    for (long status : {404L, 410L, 400L, 401L, 403L, 405L, 416L, 451L}) EXPECT_FALSE(IsRetriableStatus(status)) << status;
    for (long status : {408L, 429L, 500L, 502L, 503L, 504L, 304L}) EXPECT_TRUE(IsRetriableStatus(status)) << status;
    EXPECT_TRUE(IsCertificateFailure(HRESULT_FROM_WIN32(ERROR_WINHTTP_SECURE_FAILURE)));
    EXPECT_TRUE(IsCertificateFailure(HRESULT_FROM_WIN32(ERROR_WINHTTP_SECURE_INVALID_CA)));
    EXPECT_FALSE(IsCertificateFailure(HRESULT_FROM_WIN32(ERROR_WINHTTP_CANNOT_CONNECT)));
    EXPECT_FALSE(IsCertificateFailure(static_cast<HRESULT>(0x80192F8F)));
}

TEST(RetryPolicy, RetryAfterValues) {
    SYSTEMTIME now = {2026, 12, 5, 11, 2, 30, 0, 0};  // Fri, 11 Dec 2026 02:30:00 GMT
    struct Case {
        const wchar_t* text;
        bool parsed;
        DWORD delayMs;
    };
    const Case cases[] = {
        {L"0", true, 0},
        {L"120", true, 120000},
        {L"Fri, 11 Dec 2026 02:30:42 GMT", true, 42000},
        {L"Fri, 11 Dec 2026 02:00:00 GMT", true, 0},
        {L"-5", false, 0},
        {L"soon", false, 0},
        {L"", false, 0},
    };
    for (const Case& c : cases) {
        DWORD delay = 12345;
        EXPECT_EQ(ParseRetryAfter(c.text, now, delay), c.parsed) << ToUtf8(c.text);
        if (c.parsed) {
            EXPECT_EQ(delay, c.delayMs) << ToUtf8(c.text);
        }
    }
    DWORD delay = 0;
    EXPECT_TRUE(ParseRetryAfter(L"99999999999999", now, delay));
    EXPECT_GE(delay, 60000u);
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
