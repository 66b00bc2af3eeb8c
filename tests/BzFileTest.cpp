// CBzFile and the payload downloaders. Compressed fixtures are made with
// libbzip2's own compressor in the test.
#include <gtest/gtest.h>

#include <bzlib.h>

#include <fstream>
#include <iterator>

#include "TestServer.h"
#include "TestSupport.h"
#include "framework/ProtectedFolder.h"
#include "framework/ErrorTypes.h"
#include "framework/ExceptionCodes.h"
#include "payload/BzFile.h"
#include "payload/PayloadDownloader.h"

namespace {
std::string Compress(const std::string& data) {
    unsigned int size = static_cast<unsigned int>(data.size() + data.size() / 100 + 600);
    std::string out(size, '\0');
    EXPECT_EQ(BZ2_bzBuffToBuffCompress(out.data(), &size, const_cast<char*>(data.data()),
                                       static_cast<unsigned int>(data.size()), 9, 0, 0),
              BZ_OK);
    out.resize(size);
    return out;
}

std::string ReadAll(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The file error that reading path raises, as (cause, OS error).
std::pair<int, LONG> ReadError(const std::wstring& path) {
    try {
        CBzFile file(path.c_str());
        char buffer[65536];
        while (file.Read(buffer, sizeof(buffer)) > 0) {
        }
    } catch (CFileException* e) {
        std::pair<int, LONG> error(e->m_cause, e->m_lOsError);
        e->Delete();
        return error;
    }
    return {0, 0};
}

class BzFile : public testing::Test {
protected:
    TemporaryDirectory m_folder;
};

TEST_F(BzFile, ReadsFullBlocksThenTheShortOneWithTheEnd) {
    const std::string data = PatternBytes(65536 * 3 + 1000, 7);
    const std::string compressed = Compress(data);
    WriteBytes(m_folder.File(L"a.bz2"), compressed);
    CBzFile file(m_folder.File(L"a.bz2").c_str());
    EXPECT_EQ(file.GetCompressedSize(), compressed.size());
    std::string out;
    std::vector<UINT> reads;
    char buffer[65536];
    for (int i = 0; i < 6; ++i) {
        UINT read = file.Read(buffer, sizeof(buffer));
        reads.push_back(read);
        out.append(buffer, read);
    }
    EXPECT_EQ(reads, (std::vector<UINT>{65536, 65536, 65536, 1000, 0, 0}));
    EXPECT_TRUE(out == data);
    EXPECT_EQ(file.GetPosition(), data.size());
    EXPECT_EQ(file.GetCompressedSize(), compressed.size());
}

TEST_F(BzFile, EveryStreamIsReadAndTrailingDataIgnoredLikeTheStandardTool) {
    const std::string large = PatternBytes(200000, 5);
    WriteBytes(m_folder.File(L"many.bz2"), Compress("first") + Compress("") + Compress(large) + "trailing bytes");
    CBzFile file(m_folder.File(L"many.bz2").c_str());
    std::string out;
    char buffer[65536];
    UINT read;
    while ((read = file.Read(buffer, sizeof(buffer))) > 0) out.append(buffer, read);
    EXPECT_TRUE(out == "first" + large) << out.size();
    EXPECT_EQ(file.GetPosition(), out.size());
    EXPECT_EQ(file.Read(buffer, sizeof(buffer)), 0u);

    // A damaged later stream is an error, not an end.
    const std::string damaged = Compress(large);
    WriteBytes(m_folder.File(L"damaged.bz2"), Compress("first") + damaged.substr(0, damaged.size() / 2));
    EXPECT_EQ(ReadError(m_folder.File(L"damaged.bz2")), std::make_pair(int(CFileException::endOfFile), LONG(13)));
}

TEST_F(BzFile, DecompressionStopsAtTheLimitAndWhenItsCheckSaysSo) {
    // 16 streams of 1 MiB of zeros: a few kilobytes that expand to 16 MiB.
    std::string bomb;
    const std::string stream = Compress(std::string(1 << 20, '\0'));
    for (int i = 0; i < 16; ++i) bomb += stream;
    WriteBytes(m_folder.File(L"bomb.bz2"), bomb);
    const std::wstring output = m_folder.File(L"out.bin");
    LONG osError = 0;
    try {
        DecompressFile(m_folder.File(L"bomb.bz2"), output, nullptr, 4 << 20);
    } catch (CFileException* e) {
        osError = e->m_lOsError;
        e->Delete();
    }
    EXPECT_EQ(osError, ERROR_FILE_TOO_LARGE);
    WIN32_FILE_ATTRIBUTE_DATA attributes = {};
    ASSERT_TRUE(GetFileAttributesExW(output.c_str(), GetFileExInfoStandard, &attributes));
    EXPECT_LE(attributes.nFileSizeLow, 4u << 20) << "wrote past the limit";
    ASSERT_TRUE(DeleteFileW(output.c_str()));  // the output is always created new

    int checks = 0;
    HRESULT stoppedWith = S_OK;
    try {
        DecompressFile(m_folder.File(L"bomb.bz2"), output, [&](ULONGLONG done, ULONGLONG total) -> HRESULT {
            EXPECT_EQ(total, bomb.size());
            EXPECT_GT(done, 0u);
            return ++checks == 3 ? static_cast<HRESULT>(0x800704C7) : S_OK;
        });
    } catch (COleException* e) {
        stoppedWith = e->m_sc;
        e->Delete();
    }
    EXPECT_EQ(stoppedWith, static_cast<HRESULT>(0x800704C7));
    EXPECT_EQ(checks, 3);
}

TEST_F(BzFile, BadInputRaisesFileErrors) {
    struct Case {
        const char* name;
        std::string bytes;
        int cause;
        LONG osError;
    };
    const std::string valid = Compress(PatternBytes(200000, 3));
    const Case cases[] = {
        {"empty", "", CFileException::endOfFile, 13},
        {"not bzip2", "this is not compressed at all", CFileException::invalidFile, 13},
        {"truncated", valid.substr(0, valid.size() / 2), CFileException::endOfFile, 13},
        {"corrupted", valid.substr(0, 40) + std::string(64, 'Z') + valid.substr(104), CFileException::invalidFile, 13},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteBytes(m_folder.File(L"bad.bz2"), c.bytes);
        EXPECT_EQ(ReadError(m_folder.File(L"bad.bz2")), std::make_pair(c.cause, c.osError));
    }
    EXPECT_EQ(ReadError(m_folder.File(L"missing.bz2")).first, CFileException::fileNotFound);
}

TEST_F(BzFile, UnsupportedOperationsRaiseNotSupported) {
    WriteBytes(m_folder.File(L"a.bz2"), Compress("x"));
    CBzFile file(m_folder.File(L"a.bz2").c_str());
    int raised = 0;
    auto expectNotSupported = [&](auto operation) {
        try {
            operation();
        } catch (CException* e) {
            raised += e->IsKindOf(RUNTIME_CLASS(CNotSupportedException)) ? 1 : 0;
            e->Delete();
        }
    };
    expectNotSupported([&] { file.Seek(0, CFile::begin); });
    expectNotSupported([&] { file.GetLength(); });
    expectNotSupported([&] { file.SetLength(0); });
    expectNotSupported([&] { file.LockRange(0, 1); });
    expectNotSupported([&] { file.Duplicate(); });
    std::wstring line;
    expectNotSupported([&] { file.ReadString(line); });
    EXPECT_EQ(raised, 6);
}

TEST(ExceptionCodes, MapExceptionObjects) {
    CFileException file(CFileException::invalidFile, 13);
    COleException ole(static_cast<HRESULT>(0x80041234));
    CWindowsException windows(5);
    CToolkitException toolkit(L"x");
    EXPECT_EQ(HResultFromException(&file), static_cast<HRESULT>(0x8007000D));
    EXPECT_EQ(HResultFromException(&ole), static_cast<HRESULT>(0x80041234));
    EXPECT_EQ(HResultFromException(&windows), static_cast<HRESULT>(0x10000005));
    EXPECT_EQ(HResultFromException(&toolkit), static_cast<HRESULT>(0xA0010001));
}

TEST(PayloadDownloaderChoice, ByThePathExtension) {
    EXPECT_TRUE(IsBzip2Url(L"http://h/files/setup.msi.bz2?x=1"));
    EXPECT_TRUE(IsBzip2Url(L"http://h/Setup.BZ2"));
    EXPECT_FALSE(IsBzip2Url(L"http://h/files/setup.msi?name=a.bz2"));
    EXPECT_FALSE(IsBzip2Url(L"http://h/download"));
    EXPECT_FALSE(IsBzip2Url(L"not a url.bz2"));
}

class Downloaders : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_server.Available()) << "run under tests/server/with-server.sh";
        m_server.Reset();
    }
    // Files left in the working folder with the downloaders' prefix.
    static size_t TemporaryLeftovers() {
        std::wstring folder;
        if (FAILED(GetWorkFolder(folder))) {
            ADD_FAILURE() << "no working folder";
            return 0;
        }
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW((folder + L"\\twu*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) return 0;
        size_t count = 0;
        do ++count;
        while (FindNextFileW(search, &found));
        FindClose(search);
        return count;
    }
    TestServer m_server;
};

HRESULT CancelAtOnce(ULONGLONG, ULONGLONG, ULONG, void*) { return static_cast<HRESULT>(0x800704C7); }

TEST_F(Downloaders, Bzip2BodyBecomesAnMsiFile) {
    const std::string data = PatternBytes(300000, 9);
    m_server.PutFile(L"setup.msi.bz2", Compress(data));
    CBz2Downloader downloader;
    std::wstring path;
    const size_t before = TemporaryLeftovers();
    EXPECT_EQ(downloader.Download(nullptr, nullptr, m_server.Url(L"/setup.msi.bz2?x=1").c_str(), path), S_OK);
    EXPECT_TRUE(path.ends_with(L".msi")) << ToUtf8(path);
    EXPECT_TRUE(ReadAll(path) == data);
    DeleteFileW(path.c_str());
    EXPECT_EQ(TemporaryLeftovers(), before) << "the compressed download was not removed";
}

TEST_F(Downloaders, PlainBodyBecomesAnExeFile) {
    m_server.PutFile(L"download", "MZ plain");
    CPlainDownloader downloader;
    std::wstring path;
    EXPECT_EQ(downloader.Download(nullptr, nullptr, m_server.Url(L"/download").c_str(), path), S_OK);
    EXPECT_TRUE(path.ends_with(L".exe"));
    EXPECT_EQ(ReadAll(path), "MZ plain");
    DeleteFileW(path.c_str());
}

TEST_F(Downloaders, FailuresLeaveNothingBehind) {
    m_server.PutFile(L"big.bin.bz2", Compress(PatternBytes(100000, 1)));
    m_server.PutFile(L"broken.msi.bz2", "not bzip2");
    m_server.PutFile(L"empty.msi.bz2", Compress(""));
    const size_t before = TemporaryLeftovers();
    std::wstring path;
    CBz2Downloader bzip2;
    EXPECT_EQ(bzip2.Download(CancelAtOnce, nullptr, m_server.Url(L"/big.bin.bz2").c_str(), path),
              static_cast<HRESULT>(0x800704C7));
    EXPECT_TRUE(path.empty());
    EXPECT_EQ(bzip2.Download(nullptr, nullptr, m_server.Url(L"/broken.msi.bz2").c_str(), path),
              static_cast<HRESULT>(0x8007000D));
    EXPECT_TRUE(path.empty());
    EXPECT_EQ(TemporaryLeftovers(), before);

    // A bomb past the limit stops with a clear error and leaves nothing behind.
    std::string bomb;
    const std::string stream = Compress(std::string(1 << 20, '\0'));
    for (int i = 0; i < 8; ++i) bomb += stream;
    m_server.PutFile(L"bomb.msi.bz2", bomb);
    CBz2Downloader limited(2 << 20);
    EXPECT_EQ(limited.Download(nullptr, nullptr, m_server.Url(L"/bomb.msi.bz2").c_str(), path),
              static_cast<HRESULT>(0x800700DF));
    EXPECT_TRUE(path.empty());
    EXPECT_EQ(TemporaryLeftovers(), before);

    EXPECT_EQ(bzip2.Download(nullptr, nullptr, m_server.Url(L"/empty.msi.bz2").c_str(), path), S_OK);
    EXPECT_EQ(ReadAll(path), "");
    DeleteFileW(path.c_str());
}
}  // namespace
