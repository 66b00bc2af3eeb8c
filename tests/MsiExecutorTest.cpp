// The installer UI handler's record tables, and real installations through
// msi.dll under Wine with packages built by wixl.
#include <gtest/gtest.h>

#include <windows.h>
#include <msi.h>

#include <msiquery.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

#include "RacingWriter.h"
#include "RecordingPage.h"
#include "TestSupport.h"
#include "app/Program.h"
#include "framework/ScopedHandles.h"
#include "payload/MsiPackageQueries.h"
#include "payload/MsiUiHandler.h"
#include "payload/PayloadExecutor.h"
#include "payload/PayloadVersionCheck.h"
#include "payload/SignatureVerification.h"
#include "services/SystemProbes.h"

namespace {
const UINT kProgress = 0x0A000000;
const UINT kCommonData = 0x0B000000;
const UINT kActionData = 0x09000000;
const wchar_t kKelvoraProductCode[] = L"{6C1B5C2E-2F7A-4C59-9A57-5E0F2D6B7A11}";

std::string ReadFileBytes(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A copy of package at path with Property table values changed (msi.dll in
// transacted mode), signed with key signer of the fixtures' test PKI unless
// signer is empty. True when made.
bool MakePackageVariant(const std::wstring& package, const std::wstring& path,
                        const std::vector<std::pair<std::wstring, std::wstring>>& properties, const char* signer) {
    const std::wstring changed = signer ? path + L".unsigned.msi" : path;
    if (!CopyFileW(package.c_str(), changed.c_str(), FALSE)) return false;
    MSIHANDLE database = 0;
    if (MsiOpenDatabaseW(changed.c_str(), MSIDBOPEN_TRANSACT, &database) != ERROR_SUCCESS) return false;
    bool done = true;
    for (const auto& [name, value] : properties) {
        std::wstring query = L"UPDATE `Property` SET `Value`='" + value + L"' WHERE `Property`='" + name + L"'";
        MSIHANDLE view = 0;
        done = done && MsiDatabaseOpenViewW(database, query.c_str(), &view) == ERROR_SUCCESS &&
               MsiViewExecute(view, 0) == ERROR_SUCCESS;
        if (view) MsiCloseHandle(view);
    }
    done = done && MsiDatabaseCommit(database) == ERROR_SUCCESS;
    MsiCloseHandle(database);
    if (!done || !signer) return done;
    const std::wstring pki = WindowsPathFromEnvironment("WRENSTALL_FIXTURES") + L"\\pki\\";
    const std::wstring key(signer, signer + strlen(signer));
    return RunUnixTool(L"Z:\\usr\\bin\\osslsigncode",
                       {"sign", "-certs", UnixPathOf(pki + key + L"-chain.crt"), "-key", UnixPathOf(pki + key + L".key"),
                        "-h", "sha256", "-in", UnixPathOf(changed), "-out", UnixPathOf(path)}) &&
           GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

class UiHandler : public testing::Test {
protected:
    void SetUp() override {
        m_context.page = &m_page;
    }
    int Send(UINT type, const wchar_t* text) { return MsiUiHandler(&m_context, type, text); }
    MsiUiContext m_context;
    RecordingPage m_page;
};

TEST_F(UiHandler, ForwardProgressMovesTheStepBar) {
    Send(kProgress, L"1: 0 2: 1000 3: 0 4: 0 ");
    for (int i = 0; i < 10; ++i) EXPECT_EQ(Send(kProgress, L"1: 2 2: 100 "), IDOK);
    EXPECT_EQ(m_page.StepPercents(), (std::vector<int>{0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100}));
}

TEST_F(UiHandler, BackwardProgressAndStepTicks) {
    Send(kProgress, L"1: 0 2: 1000 3: 1 4: 0 ");
    Send(kProgress, L"1: 2 2: 250 ");
    EXPECT_EQ(m_page.StepPercents(), (std::vector<int>{0, 75}));

    Send(kProgress, L"1: 0 2: 1000 3: 0 4: 1 ");  // script: the bar shows 100
    Send(kProgress, L"1: 1 2: 5 3: 1 ");
    Send(kProgress, L"1: 2 2: 4 ");
    EXPECT_EQ(m_context.ticksDone, 20);
    EXPECT_EQ(m_page.StepPercents(), (std::vector<int>{0, 75, 100, 2}));
}

TEST_F(UiHandler, RecordParsing) {
    struct Case {
        const wchar_t* text;
        bool valid;
        int fields[4];
    };
    const Case cases[] = {
        {L"1: 0 2: 1000 3: 0 4: 0 ", true, {0, 1000, 0, 0}},
        {L"1: 2 2: 100 3: 7 ", true, {2, 100, 0, 0}},   // type 2 stops after field 2
        {L"1: 1 2: 5 3: 1 4: 9 ", true, {1, 5, 1, 0}},  // type 1 stops after field 3
        {L"1: 2 2: -40", true, {2, -40, 0, 0}},
        {L"", false, {}},
        {L"1: x 2: 5 ", false, {}},
        {L"1: 12 2: 5 ", false, {}},
        {L"1: 0 5: 3 ", false, {}},
        {L"2: 1000 3: 0 4: 0 ", false, {}},  // no field 1: no type
    };
    for (const Case& c : cases) {
        int fields[4] = {};
        EXPECT_EQ(ParseProgressRecord(c.text, fields), c.valid) << ToUtf8(c.text);
        if (c.valid) {
            for (int i = 0; i < 4; ++i) EXPECT_EQ(fields[i], c.fields[i]) << ToUtf8(c.text) << " field " << i + 1;
        }
    }
}

TEST_F(UiHandler, RecordsWithoutATypeChangeNothingAndTheBarStopsAtFull) {
    Send(kProgress, L"1: 0 2: 1000 3: 0 4: 0 ");
    Send(kProgress, L"1: 2 2: 600 ");
    EXPECT_EQ(Send(kProgress, L"2: 50 3: 0 4: 0 "), IDOK);  // would read as a reset of 50 ticks
    EXPECT_EQ(m_context.totalTicks, 1000);
    Send(kProgress, L"1: 2 2: 600 ");  // past the announced total
    EXPECT_EQ(m_page.StepPercents(), (std::vector<int>{0, 60, 100}));
}

TEST_F(UiHandler, CancelledPageAnswersCancelEvenForInvalidRecords) {
    m_page.m_bCancelled = true;
    EXPECT_EQ(Send(kProgress, L"1: 0 5: 3 "), IDCANCEL);
    EXPECT_EQ(Send(kProgress, L"1: 2 2: 1 "), IDCANCEL);
    EXPECT_TRUE(m_page.StepPercents().empty());
}

TEST_F(UiHandler, CommonDataShowsAndHidesCancelAndActionTextsFollowTicks) {
    Send(kCommonData, L"1: 2 2: 0 ");
    Send(kCommonData, L"1: 2 2: 1 ");
    Send(kCommonData, L"1: 1 2: 0 ");  // type 1 is ignored
    Send(kActionData, L"ignored before a reset");
    Send(kProgress, L"1: 0 2: 100 3: 0 4: 0 ");
    Send(kActionData, L"Copying Kelvora.exe");
    std::vector<std::pair<UINT, int>> seen;
    std::wstring text;
    for (const PageMessage& m : m_page.Messages()) {
        seen.emplace_back(m.message, m.wParam);
        if (m.hasText) text = m.text;
    }
    EXPECT_EQ(seen, (std::vector<std::pair<UINT, int>>{{WM_PAGE_SHOW_CANCEL, 0},
                                                        {WM_PAGE_SHOW_CANCEL, 1},
                                                        {WM_PAGE_STEP_PROGRESS, 0},
                                                        {WM_PAGE_STEP_PROGRESS, -1}}));
    EXPECT_EQ(text, L"Copying Kelvora.exe");
}

// Installs fixture packages for real. The executor gets its package path as
// a download would leave it.
class TestMsiExecutor : public CMsiExecutor {
public:
    void SetPackage(const std::wstring& path) { m_strPayloadPath = path; }
    // The package counts as this executor's own download (a rejected one is deleted).
    void SetDownloadedPackage(const std::wstring& path) {
        m_strPayloadPath = path;
        m_bOwnDownload = true;
    }
};

class MsiInstall : public testing::Test {
protected:
    void SetUp() override {
        m_fixtures = WindowsPathFromEnvironment("WRENSTALL_FIXTURES");
        ASSERT_FALSE(m_fixtures.empty());
        Uninstall();
    }
    void TearDown() override { Uninstall(); }
    static void Uninstall() {
        MsiSetInternalUI(INSTALLUILEVEL_NONE, nullptr);
        MsiSetExternalUIW(nullptr, 0, nullptr);
        if (MsiQueryProductStateW(kKelvoraProductCode) == INSTALLSTATE_DEFAULT) {
            std::wstring package = WindowsPathFromEnvironment("WRENSTALL_FIXTURES") + L"\\KelvoraPackage.msi";
            MsiInstallProductW(package.c_str(), L"REMOVE=ALL");
        }
    }
    std::wstring InstalledApp() const {
        wchar_t programFiles[MAX_PATH];
        GetEnvironmentVariableW(L"ProgramFiles", programFiles, MAX_PATH);
        return std::wstring(programFiles) + L"\\Kelvora\\Kelvora.exe";
    }
    std::wstring m_fixtures;
    RecordingPage m_page;
};

TEST_F(MsiInstall, PackageQueries) {
    const std::wstring package = m_fixtures + L"\\KelvoraPackage.msi";
    EXPECT_EQ(ReadPackageProperty(package, L"ProductCode"), kKelvoraProductCode);
    EXPECT_EQ(FormatVersion(ReadPackageVersion(package), 4), L"2.4.1.7");
    EXPECT_EQ(ReadPackageVersion(m_fixtures + L"\\missing.msi"), 0u);
    std::wstring code;
    EXPECT_FALSE(IsProductInstalled(package, L"", code));
    EXPECT_EQ(code, kKelvoraProductCode);
}

TEST_F(MsiInstall, InstallsWithProgressAndKeepsACopy) {
    SetDefaultSignerFile(m_fixtures + L"\\signer-A.exe");
    TemporaryDirectory folder;
    const std::wstring download = folder.File(L"twu1.tmp.msi");
    WriteBytes(download, ReadFileBytes(m_fixtures + L"\\package-A.msi"));
    TestMsiExecutor executor;
    executor.SetPackage(download);
    EXPECT_EQ(executor.Execute(&m_page, L"REBOOT=ReallySuppress"), S_OK);
    EXPECT_EQ(GetFileAttributesW(InstalledApp().c_str()) != INVALID_FILE_ATTRIBUTES, true);
    std::wstring code;
    EXPECT_TRUE(IsProductInstalled(m_fixtures + L"\\KelvoraPackage.msi", L"", code));
    EXPECT_FALSE(m_page.StepPercents().empty()) << "the installer reported no progress";
    std::wstring copy = GetCommonDocumentsFolder() + L"\\Downloaded Installers\\" + kKelvoraProductCode + L"\\setup.msi";
    EXPECT_EQ(ReadFileBytes(copy), ReadFileBytes(download)) << ToUtf8(copy);

    // Installed already: nothing runs again, and that is success.
    RecordingPage again;
    EXPECT_EQ(executor.Run(&again, L""), S_OK);
    EXPECT_TRUE(again.StepPercents().empty());
    SetDefaultSignerFile(L"");
}

TEST_F(MsiInstall, TheHandlerOutlivesTheRunButNotItsPage) {
    {
        RecordingPage shortLived;
        TestMsiExecutor executor;
        executor.SetPackage(m_fixtures + L"\\KelvoraPackage.msi");
        EXPECT_EQ(executor.Run(&shortLived, L""), S_OK);
    }
    // msi.dll still calls the registered handler for a later installation in
    // the process; the page of the finished run is gone by then.
    EXPECT_EQ(GetMsiUiContext().page, nullptr);
    EXPECT_EQ(MsiInstallProductW((m_fixtures + L"\\KelvoraPackage.msi").c_str(), L"REMOVE=ALL"),
              static_cast<UINT>(ERROR_SUCCESS));
}

// The attack on the kept copy: a writer rewrites "Downloaded Installers\<ProductCode>\setup.msi"
// between the signed package and an unsigned one of another product while
// the executor stages, checks and installs it. The checked file is what installs.
TEST_F(MsiInstall, ARacingWriterNeverGetsItsPackageInstalled) {
    const wchar_t kForeignProductCode[] = L"{3D4C2B1A-5E6F-4A7B-8C9D-0E1F2A3B4C5D}";
    const std::string signedPackage = ReadFileBytes(m_fixtures + L"\\package-A.msi");
    const std::string foreignPackage = ReadFileBytes(m_fixtures + L"\\RebootPackage.msi");
    ASSERT_FALSE(signedPackage.empty());
    ASSERT_FALSE(foreignPackage.empty());
    SetDefaultSignerFile(m_fixtures + L"\\signer-A.exe");
    TemporaryDirectory folder;
    const std::wstring download = folder.File(L"twu1.tmp.msi");
    WriteBytes(download, signedPackage);
    const std::wstring copy =
        GetCommonDocumentsFolder() + L"\\Downloaded Installers\\" + kKelvoraProductCode + L"\\setup.msi";

    int installed = 0;
    int foreign = 0;
    {
        // Alternates the signed and the foreign content for as long as the runs last.
        RacingWriter writer(copy, signedPackage, foreignPackage, 250, OPEN_ALWAYS);
        for (int run = 0; run < 50; ++run) {
            TestMsiExecutor executor;
            executor.SetPackage(download);
            RecordingPage page;
            executor.Execute(&page, L"REBOOT=ReallySuppress");
            if (MsiQueryProductStateW(kForeignProductCode) == INSTALLSTATE_DEFAULT) {
                ++foreign;
                ADD_FAILURE() << "run " << run << " installed the unsigned package";
                MsiInstallProductW((m_fixtures + L"\\RebootPackage.msi").c_str(), L"REMOVE=ALL");
            }
            if (MsiQueryProductStateW(kKelvoraProductCode) == INSTALLSTATE_DEFAULT) {
                ++installed;
                Uninstall();
            }
        }
    }
    SetDefaultSignerFile(L"");
    EXPECT_EQ(foreign, 0);
    EXPECT_GT(installed, 0) << "the signed package never got through; the race was not run";
}

TEST_F(MsiInstall, RestartRequestIsSuccessAndReachesTheMainThread) {
    CProgram program;  // built on this thread, which is therefore the main thread
    TestMsiExecutor executor;
    executor.SetPackage(m_fixtures + L"\\RebootPackage.msi");
    EXPECT_EQ(executor.Run(&m_page, L""), S_OK);
    MSG message;
    ASSERT_TRUE(PeekMessageW(&message, reinterpret_cast<HWND>(-1), WM_APP + 1, WM_APP + 1, PM_REMOVE));
    EXPECT_TRUE(program.HandleThreadMessage(message));
    EXPECT_EQ(program.m_runFlags[L"RebootRequired"], 1);
    MsiInstallProductW((m_fixtures + L"\\RebootPackage.msi").c_str(), L"REMOVE=ALL");
}

TEST_F(MsiInstall, CancelRollsBack) {
    if (IsRunningUnderWine()) {
        GTEST_SKIP() << "Wine's installer service ignores IDCANCEL from progress records and installs to the end; "
                        "the handler's answer is covered by UiHandler.CancelledPageAnswersCancelEvenForInvalidRecords";
    }
    TestMsiExecutor executor;
    executor.SetPackage(m_fixtures + L"\\KelvoraPackage.msi");
    m_page.m_bCancelled = true;
    EXPECT_EQ(executor.Run(&m_page, L""), S_FALSE);
    EXPECT_EQ(GetFileAttributesW(InstalledApp().c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(MsiQueryProductStateW(kKelvoraProductCode), INSTALLSTATE_DEFAULT);
}

TEST_F(MsiInstall, FailureRaisesTheInstallersMessageOrItsResult) {
    TestMsiExecutor executor;
    executor.SetPackage(m_fixtures + L"\\FailingPackage.msi");
    bool raised = false;
    try {
        executor.Run(&m_page, L"");
    } catch (CMsiException* e) {
        // Windows sends the launch condition's message with only an OK button.
        raised = true;
        EXPECT_NE(e->m_strMessage.find(L"never installs"), std::wstring::npos) << ToUtf8(e->m_strMessage);
        e->Delete();
    } catch (COleException* e) {
        // Wine ends with the installer's result alone: HRESULT_FROM_WIN32(1603).
        raised = true;
        EXPECT_EQ(e->m_sc, static_cast<HRESULT>(0x80070643));
        e->Delete();
    }
    EXPECT_TRUE(raised) << "the failing package installed";
    // Through Execute the unsigned package never runs.
    EXPECT_EQ(executor.Execute(&m_page, L""), static_cast<HRESULT>(0x800B0100));
}

TEST_F(UiHandler, MessagesWithOnlyAnOkButtonAreRecorded) {
    EXPECT_EQ(Send(0x01000000 | MB_OK | MB_ICONERROR, L"Disk full"), IDOK);
    ASSERT_TRUE(m_context.recordedError);
    EXPECT_EQ(m_context.recordedError->m_strMessage, L"Disk full");
    EXPECT_EQ(m_context.recordedError->m_nCode, 1);
    EXPECT_EQ(Send(0x02000000, L"Low memory"), IDOK);
    EXPECT_EQ(m_context.recordedError->m_nCode, 2);
    EXPECT_EQ(Send(0x05000000, L"files in use"), 0);
    EXPECT_EQ(Send(0x08000000, L"action start"), 1);
    EXPECT_EQ(Send(0x0F000000, L"unknown type"), 0);
}

// The package copy's folder replaced by a link to a folder of the attacker's
// that holds another product's unsigned package: the copy is not made there
// and the attacker's package never installs; the checked download installs.
// While the copy is in use its folders and file can be neither renamed nor
// replaced (the swap after the check).
TEST_F(MsiInstall, ALinkAtThePackageCopysFolderNeverGetsItsPackageInstalled) {
    const wchar_t kForeignProductCode[] = L"{3D4C2B1A-5E6F-4A7B-8C9D-0E1F2A3B4C5D}";
    SetDefaultSignerFile(m_fixtures + L"\\signer-A.exe");
    TemporaryDirectory folder;
    const std::wstring download = folder.File(L"twu2.tmp.msi");
    WriteBytes(download, ReadFileBytes(m_fixtures + L"\\package-A.msi"));
    const std::wstring installers = GetCommonDocumentsFolder() + L"\\Downloaded Installers";
    const std::wstring productFolder = installers + L"\\" + kKelvoraProductCode;

    // First a run that makes the folders, and proof that they are held while in use.
    {
        TestMsiExecutor executor;
        executor.SetPackage(download);
        ASSERT_EQ(executor.Prepare(), S_OK);
        EXPECT_FALSE(MoveFileW(productFolder.c_str(), folder.File(L"moved").c_str()));
        EXPECT_FALSE(MoveFileW(installers.c_str(), folder.File(L"moved").c_str()));
        EXPECT_FALSE(DeleteFileW((productFolder + L"\\setup.msi").c_str()));
        EXPECT_FALSE(DeleteFileW(download.c_str()));
        // The guards read the checked package.
        std::vector<std::wstring> folders = executor.GetFolderProperties();
        EXPECT_NE(std::find(folders.begin(), folders.end(), L"INSTALLDIR"), folders.end());
        executor.ReleaseStaged();
    }

    // The attacker swaps the product folder for a link to a folder of his own.
    const std::wstring attacker = folder.File(L"attacker");
    ASSERT_TRUE(CreateDirectoryW(attacker.c_str(), nullptr));
    const std::string foreign = ReadFileBytes(m_fixtures + L"\\RebootPackage.msi");
    WriteBytes(attacker + L"\\setup.msi", foreign);
    DeleteFileW((productFolder + L"\\setup.msi").c_str());
    ASSERT_TRUE(RemoveDirectoryW(productFolder.c_str()));
    ASSERT_TRUE(MakeUnixLink(attacker, productFolder));

    TestMsiExecutor executor;
    executor.SetPackage(download);
    EXPECT_EQ(executor.Execute(&m_page, L"REBOOT=ReallySuppress"), S_OK);
    EXPECT_NE(MsiQueryProductStateW(kForeignProductCode), INSTALLSTATE_DEFAULT);
    EXPECT_EQ(MsiQueryProductStateW(kKelvoraProductCode), INSTALLSTATE_DEFAULT);
    EXPECT_EQ(ReadFileBytes(attacker + L"\\setup.msi"), foreign);
    DeleteFileW(productFolder.c_str());  // the link (Wine removes a Unix link like a file)
    RemoveDirectoryW(productFolder.c_str());
    if (MsiQueryProductStateW(kForeignProductCode) == INSTALLSTATE_DEFAULT) {
        MsiInstallProductW((m_fixtures + L"\\RebootPackage.msi").c_str(), L"REMOVE=ALL");
    }
    SetDefaultSignerFile(L"");
}

// A ProductCode that climbs out of "Downloaded Installers" towards a folder
// of the system writes nothing there: unsigned, the package is refused before
// its ProductCode is read; signed by the maker's key, the ProductCode is not
// a braced GUID and never becomes part of a path.
TEST_F(MsiInstall, AProductCodeThatClimbsOutOfItsFolderWritesNothingThere) {
    SetDefaultSignerFile(m_fixtures + L"\\signer-A.exe");
    TemporaryDirectory folder;
    const std::wstring target = folder.File(L"etc");
    ASSERT_TRUE(CreateDirectoryW(target.c_str(), nullptr));
    // From "<common documents>\Downloaded Installers\" up to the drive, then down to target.
    std::wstring climb;
    const std::wstring installers = GetCommonDocumentsFolder() + L"\\Downloaded Installers";
    for (wchar_t c : installers.substr(3)) {
        if (c == L'\\') climb += L"..\\";
    }
    climb += L"..\\" + target.substr(3);

    const std::wstring unsignedPackage = folder.File(L"climbing.msi");
    const std::wstring signedPackage = folder.File(L"climbing-signed.msi");
    ASSERT_TRUE(MakePackageVariant(m_fixtures + L"\\KelvoraPackage.msi", unsignedPackage, {{L"ProductCode", climb}}, nullptr));
    ASSERT_TRUE(MakePackageVariant(m_fixtures + L"\\KelvoraPackage.msi", signedPackage, {{L"ProductCode", climb}}, "A"));
    ASSERT_EQ(ReadPackageProperty(signedPackage, L"ProductCode"), climb);
    ASSERT_EQ(VerifySignature(signedPackage), S_OK) << "the maker-signed fixture was not made";

    for (const std::wstring& package : {unsignedPackage, signedPackage}) {
        SCOPED_TRACE(ToUtf8(package));
        const std::wstring download = folder.File(L"twu3.tmp.msi");
        ASSERT_TRUE(CopyFileW(package.c_str(), download.c_str(), FALSE));
        TestMsiExecutor executor;
        executor.SetDownloadedPackage(download);
        RecordingPage page;
        const HRESULT result = executor.Execute(&page, L"");
        if (package == unsignedPackage) {
            EXPECT_EQ(result, static_cast<HRESULT>(0x800B0100));
            EXPECT_EQ(GetFileAttributesW(download.c_str()), INVALID_FILE_ATTRIBUTES) << "the rejected download stays";
        }
        EXPECT_EQ(GetFileAttributesW((target + L"\\setup.msi").c_str()), INVALID_FILE_ATTRIBUTES);
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW((target + L"\\*").c_str(), &found);
        int entries = 0;
        if (search != INVALID_HANDLE_VALUE) {
            do ++entries;
            while (FindNextFileW(search, &found));
            FindClose(search);
        }
        EXPECT_EQ(entries, 2) << "only . and .. in the target folder";
        DeleteFileW(download.c_str());
    }
    SetDefaultSignerFile(L"");
}

// An older release of the product, signed with the maker's key: refused with
// its own code while a newer one is installed, and when it is older than the
// version the build expects; the installed product stays as it was.
TEST_F(MsiInstall, AnOlderSignedReleaseIsRefusedAsADowngrade) {
    const wchar_t kOldProductCode[] = L"{5A0F3C2B-1D4E-4F60-8A7B-9C0D1E2F3A4B}";
    SetDefaultSignerFile(m_fixtures + L"\\signer-A.exe");
    TemporaryDirectory folder;
    const std::wstring old = folder.File(L"old.msi");
    ASSERT_TRUE(MakePackageVariant(m_fixtures + L"\\KelvoraPackage.msi", old,
                                   {{L"ProductCode", kOldProductCode}, {L"ProductVersion", L"1.0.0.1"}}, "A"));
    ASSERT_EQ(MsiInstallProductW((m_fixtures + L"\\KelvoraPackage.msi").c_str(), L""), static_cast<UINT>(ERROR_SUCCESS));
    {
        TestMsiExecutor executor;
        executor.SetPackage(old);
        RecordingPage page;
        EXPECT_EQ(executor.Execute(&page, L""), kPayloadDowngrade);
        EXPECT_NE(MsiQueryProductStateW(kOldProductCode), INSTALLSTATE_DEFAULT);
        EXPECT_EQ(MsiQueryProductStateW(kKelvoraProductCode), INSTALLSTATE_DEFAULT);
    }
    Uninstall();
    {
        // Nothing installed, but the build expects 2.4.1 or later.
        TestMsiExecutor executor;
        executor.SetPackage(old);
        PayloadSettings settings;
        settings.minimumVersion = ParseVersion(L"2.4.1");
        executor.SetSettings(settings);
        RecordingPage page;
        EXPECT_EQ(executor.Execute(&page, L""), kPayloadDowngrade);
        EXPECT_NE(MsiQueryProductStateW(kOldProductCode), INSTALLSTATE_DEFAULT);
    }
    if (MsiQueryProductStateW(kOldProductCode) == INSTALLSTATE_DEFAULT) MsiInstallProductW(old.c_str(), L"REMOVE=ALL");
    SetDefaultSignerFile(L"");
}

// INSTALLLEVEL=0 (which the installer data may no longer pass) makes the
// installer service answer success having installed nothing: that is no
// success of the wizard.
TEST_F(MsiInstall, SuccessCountsOnlyWhenTheProductIsInstalled) {
    TestMsiExecutor executor;
    executor.SetPackage(m_fixtures + L"\\KelvoraPackage.msi");
    HRESULT result = S_OK;
    try {
        result = executor.Run(&m_page, L"INSTALLLEVEL=0");
    } catch (COleException* e) {
        result = e->m_sc;
        e->Delete();
    }
    EXPECT_EQ(result, kPayloadNotInstalled);
    EXPECT_NE(MsiQueryProductStateW(kKelvoraProductCode), INSTALLSTATE_DEFAULT);
}

}  // namespace
