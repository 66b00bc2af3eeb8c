// Links and pre-planted names against the elevated program's files: Unix
// symbolic links made inside the Wine prefix stand in for the platform's
// junctions and symbolic links (Wine follows them the same way).
#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <iterator>

#include "TestSupport.h"
#include "framework/GuidText.h"
#include "framework/ProtectedFolder.h"
#include "framework/ScopedHandles.h"
#include "payload/BzFile.h"
#include "payload/SignatureVerification.h"
#include "payload/VerifiedFile.h"

namespace {
std::string ReadAll(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

class ProtectedFolder : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(IsRunningUnderWine()) << "the links are made with the Unix ln";
        CreateDirectoryW(m_private.c_str(), nullptr);
        WriteBytes(m_victim, "127.0.0.1 localhost\n");
    }
    void TearDown() override {
        for (const std::wstring& link : m_links) RemoveUnixLink(link);
    }
    // A link at link to target, removed again at the end of the test.
    bool Link(const std::wstring& target, const std::wstring& link) {
        m_links.push_back(link);
        return MakeUnixLink(target, link);
    }
    TemporaryDirectory m_folder;
    std::vector<std::wstring> m_links;
    const std::wstring m_private = m_folder.File(L"private");        // where a link leads
    const std::wstring m_victim = m_folder.File(L"private\\hosts");  // a file a link aims at
};

// A link on the way to a folder: the new folder would be made where the link
// leads; the handle's real path shows it, the folder is refused and removed.
TEST_F(ProtectedFolder, APathThroughALinkIsRefusedAndNothingStaysWhereItLed) {
    ASSERT_TRUE(Link(m_private, m_folder.File(L"public")));
    CProtectedFolder folder;
    EXPECT_EQ(folder.Open(m_folder.File(L"public\\work"), CProtectedFolder::RefuseExisting), kPathThroughLink);
    EXPECT_FALSE(folder.IsOpen());
    EXPECT_FALSE(Exists(m_private + L"\\work"));
    // The link itself as the folder: refused too.
    EXPECT_EQ(folder.Open(m_folder.File(L"public"), CProtectedFolder::AcceptProtectedExisting), kPathThroughLink);
}

// A folder that another user planted, or may write, is never used; one of
// ours is, and is held: it can be neither renamed nor removed while in use.
TEST_F(ProtectedFolder, ExistingFoldersOthersMayWriteAreRefusedOursAreHeld) {
    const std::wstring planted = m_folder.File(L"planted");
    ASSERT_TRUE(CreateDirectoryW(planted.c_str(), nullptr));
    ASSERT_TRUE(SetUnixMode(planted, "777"));
    CProtectedFolder folder;
    EXPECT_EQ(folder.Open(planted, CProtectedFolder::AcceptProtectedExisting), kFolderNotProtected);
    EXPECT_EQ(folder.Open(planted, CProtectedFolder::RefuseExisting), HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS));

    const std::wstring ours = m_folder.File(L"ours");
    ASSERT_EQ(folder.Open(ours, CProtectedFolder::RefuseExisting), S_OK);
    EXPECT_FALSE(MoveFileW(ours.c_str(), m_folder.File(L"moved").c_str()));
    EXPECT_FALSE(RemoveDirectoryW(ours.c_str()));
    folder.Close();
    CProtectedFolder again;
    EXPECT_EQ(again.Open(ours, CProtectedFolder::AcceptProtectedExisting), S_OK);
}

// A link planted at the name of a file about to be made: the creation fails
// and the file the link aims at keeps its content (the hosts-file attack).
TEST_F(ProtectedFolder, ALinkPlantedAtAFileNameIsNeverFollowed) {
    const std::wstring name = m_folder.File(L"nox1A2B.tmp");
    ASSERT_TRUE(Link(m_victim, name));
    ScopedHandle file;
    EXPECT_EQ(CreateExclusiveFile(name, GENERIC_WRITE, 0, file), HRESULT_FROM_WIN32(ERROR_FILE_EXISTS));
    EXPECT_FALSE(file.IsValid());

    // A dangling link (the target does not exist yet) is not followed either.
    const std::wstring dangling = m_folder.File(L"twu9C8D.tmp.msi");
    ASSERT_TRUE(Link(m_private + L"\\created-by-link", dangling));
    EXPECT_EQ(CreateExclusiveFile(dangling, GENERIC_WRITE, 0, file), HRESULT_FROM_WIN32(ERROR_FILE_EXISTS));
    EXPECT_FALSE(Exists(m_private + L"\\created-by-link"));

    // Extraction into a planted name stops before it writes a byte.
    const std::wstring compressed = WindowsPathFromEnvironment("WRENSTALL_FIXTURES") + L"\\offer-A.exe.bz2";
    bool raised = false;
    try {
        DecompressFile(compressed, name);
    } catch (CException* e) {
        raised = true;
        e->Delete();
    }
    EXPECT_TRUE(raised);
    EXPECT_EQ(ReadAll(m_victim), "127.0.0.1 localhost\n");
}

// The file to run, held and checked: read through a link it is refused;
// held, it can be neither replaced, renamed nor deleted until let go; a
// rejected download is deleted.
TEST_F(ProtectedFolder, TheCheckedFileIsHeldAndARejectedDownloadDeleted) {
    const std::wstring fixtures = WindowsPathFromEnvironment("WRENSTALL_FIXTURES");
    SetDefaultSignerFile(fixtures + L"\\signer-A.exe");
    const std::wstring payload = m_private + L"\\setup.exe";
    WriteBytes(payload, ReadAll(fixtures + L"\\offer-A.exe"));
    ASSERT_TRUE(Link(m_private, m_folder.File(L"public")));

    CVerifiedFile verified;
    EXPECT_EQ(verified.HoldAndVerify(m_folder.File(L"public\\setup.exe")), kPathThroughLink);
    ASSERT_TRUE(Link(payload, m_folder.File(L"linked.exe")));
    EXPECT_EQ(verified.HoldAndVerify(m_folder.File(L"linked.exe")), kPathThroughLink);

    ASSERT_EQ(verified.HoldAndVerify(payload), S_OK);
    EXPECT_FALSE(DeleteFileW(payload.c_str()));
    EXPECT_FALSE(MoveFileW(payload.c_str(), m_folder.File(L"away.exe").c_str()));
    HANDLE writer = CreateFileW(payload.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
    if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
    verified.Release();

    const std::wstring foreign = m_private + L"\\foreign.exe";
    WriteBytes(foreign, ReadAll(fixtures + L"\\offer-C.exe"));
    EXPECT_TRUE(FAILED(verified.HoldAndVerify(foreign, true)));
    EXPECT_FALSE(Exists(foreign));
    SetDefaultSignerFile(L"");
}

TEST(ProductCodeSyntax, OnlyABracedGuidMayBecomePartOfAPath) {
    const std::pair<const wchar_t*, bool> cases[] = {
        {L"{6C1B5C2E-2F7A-4C59-9A57-5E0F2D6B7A11}", true},
        {L"{6c1b5c2e-2f7a-4c59-9a57-5e0f2d6b7a11}", true},
        {L"6C1B5C2E-2F7A-4C59-9A57-5E0F2D6B7A11", false},
        {L"{6C1B5C2E-2F7A-4C59-9A57-5E0F2D6B7A1}", false},
        {L"{6C1B5C2E-2F7A-4C59-9A57-5E0F2D6B7A11}x", false},
        {L"{6C1B5C2E-2F7A-4C59-9A57-5E0F2D6B7A1G}", false},
        {L"{6C1B5C2E+2F7A-4C59-9A57-5E0F2D6B7A11}", false},
        {L"..\\..\\..\\..\\windows\\system32\\drivers\\etc", false},
        {L"{..\\..\\..\\-....-....-....-............}", false},
        {L"", false},
    };
    for (const auto& [text, valid] : cases) EXPECT_EQ(IsBracedGuidText(text), valid) << ToUtf8(text);
}
}  // namespace
