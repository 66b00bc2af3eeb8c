// The executable executor, process launching and version resources, with the
// project's stand-in application.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "RacingWriter.h"
#include "RecordingPage.h"
#include "TestSupport.h"
#include "app/Program.h"
#include "framework/ScopedHandles.h"
#include "payload/PayloadExecutor.h"
#include "payload/SignatureVerification.h"
#include "services/FileVersionInfo.h"
#include "services/ProcessLaunching.h"

namespace {
std::wstring StandIn() { return WindowsPathFromEnvironment("WRENSTALL_STANDIN_EXE"); }

std::string ReadAll(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class TestExeExecutor : public CExeExecutor {
public:
    void SetPayload(const std::wstring& path) { m_strPayloadPath = path; }
};

TEST(ExeExecutor, QuotesThePathAndMapsExitCodes) {
    TemporaryDirectory folder;
    const std::wstring record = folder.File(L"command.txt");
    TestExeExecutor executor;
    executor.SetPayload(StandIn());
    RecordingPage page;
    EXPECT_EQ(executor.Run(&page, L"/S --record " + record + L" --exit 2"), static_cast<HRESULT>(0xA0040002));
    EXPECT_EQ(ReadAll(record), ToUtf8(L"\"" + StandIn() + L"\" /S --record " + record + L" --exit 2") + "\n");
    ASSERT_FALSE(page.Messages().empty());
    EXPECT_EQ(page.Messages()[0].message, static_cast<UINT>(WM_PAGE_STEP_PROGRESS));
    EXPECT_EQ(page.Messages()[0].wParam, 25);
    EXPECT_EQ(executor.Run(&page, L""), S_OK);
}

TEST(ExeExecutor, CancelledPageStopsWaiting) {
    TestExeExecutor executor;
    executor.SetPayload(StandIn());
    RecordingPage page;
    page.m_bCancelled = true;
    EXPECT_EQ(executor.Run(&page, L"--sleep 5000"), static_cast<HRESULT>(0x800704C7));
}

TEST(ExeExecutor, WindowClassesComeFromTheBuildConfiguration) {
    EXPECT_EQ(SplitPayloadMessageClasses(L"A;;B;"), (std::vector<std::wstring>{L"A", L"", L"B"}));
    EXPECT_TRUE(SplitPayloadMessageClasses(nullptr).empty());
    std::unique_ptr<CObject> created(CRuntimeClass::FromName(L"CExeExecutor")->CreateObject());
    EXPECT_TRUE(created->IsKindOf(RUNTIME_CLASS(CPayloadExecutor)));
}

// A writer rewrites the payload between a signed program and an unsigned one
// as fast as it can while the executor checks and starts it. The signed one
// records its start; the unsigned one (this project's check tool, which
// answers the arguments with its usage and exit code 2) records nothing.
TEST(ExeExecutor, ARacingWriterNeverGetsItsProgramStarted) {
    const std::wstring fixtures = WindowsPathFromEnvironment("WRENSTALL_FIXTURES");
    const std::string signedProgram = ReadAll(fixtures + L"\\offer-A.exe");
    const std::string foreignProgram = ReadAll(WindowsPathFromEnvironment("WRENSTALL_CHECK_EXE"));
    ASSERT_FALSE(signedProgram.empty());
    ASSERT_FALSE(foreignProgram.empty());
    SetDefaultSignerFile(fixtures + L"\\signer-A.exe");
    TemporaryDirectory folder;
    const std::wstring payload = folder.File(L"payload.exe");
    const std::wstring record = folder.File(L"started.txt");
    WriteBytes(payload, signedProgram);

    int started = 0;
    int foreign = 0;
    size_t recorded = 0;
    {
        // Alternates the signed and the foreign content for as long as the runs last.
        RacingWriter writer(payload, signedProgram, foreignProgram, 400, OPEN_EXISTING);
        for (int run = 0; run < 50; ++run) {
            TestExeExecutor executor;
            executor.SetPayload(payload);
            RecordingPage page;
            const HRESULT result = executor.Execute(&page, L"--record " + record);
            const std::string starts = ReadAll(record);
            const size_t lines = static_cast<size_t>(std::count(starts.begin(), starts.end(), '\n'));
            const bool signedOneRan = lines > recorded;
            recorded = lines;
            if (result == S_OK && signedOneRan) {
                ++started;
            } else if (SUCCEEDED(result) || (static_cast<ULONG>(result) & 0xFFFF0000u) == 0xA0040000u) {
                ++foreign;
                ADD_FAILURE() << "run " << run << " started a program that was not checked: " << std::hex << result;
            }
        }
    }
    SetDefaultSignerFile(L"");
    EXPECT_EQ(foreign, 0);
    EXPECT_GT(started, 0) << "the signed program never got through; the race was not run";
}

// A Cancel answered while the payload was being checked stops before the
// program runs; the same payload runs when nobody cancelled.
TEST(ExeExecutor, ACancelDuringTheCheckRunsNothing) {
    const std::wstring fixtures = WindowsPathFromEnvironment("WRENSTALL_FIXTURES");
    SetDefaultSignerFile(fixtures + L"\\signer-A.exe");
    TemporaryDirectory folder;
    const std::wstring payload = folder.File(L"payload.exe");
    const std::wstring record = folder.File(L"started.txt");
    WriteBytes(payload, ReadAll(fixtures + L"\\offer-A.exe"));
    for (bool cancelled : {true, false}) {
        TestExeExecutor executor;
        executor.SetPayload(payload);
        RecordingPage page;
        page.m_bCancelled = cancelled;
        EXPECT_EQ(executor.Execute(&page, L"--record " + record), cancelled ? HRESULT_FROM_WIN32(ERROR_CANCELLED) : S_OK);
        EXPECT_EQ(ReadAll(record).empty(), cancelled) << "cancelled: " << cancelled;
    }
    SetDefaultSignerFile(L"");
}

TEST(ProcessLaunching, StartAndFindProcesses) {
    std::wstring name;
    EXPECT_EQ(GetApplicationName(L"", name), static_cast<HRESULT>(0xA0010002));
    EXPECT_EQ(GetApplicationName(L"\"C:\\a b\\c.exe\" -x", name), S_OK);
    EXPECT_EQ(name, L"C:\\a b\\c.exe");

    ScopedHandle process = StartProcess(L"\"" + StandIn() + L"\" --sleep 3000 --exit 3");
    ASSERT_TRUE(process);
    EXPECT_TRUE(IsProcessRunning(L"STANDINAPP.EXE"));
    EXPECT_FALSE(IsProcessRunning(L"NoSuchProgram.exe"));
    EXPECT_FALSE(IsProcessRunning(L""));
    ASSERT_EQ(WaitForSingleObject(process.Get(), 10000), WAIT_OBJECT_0);
    DWORD exitCode = 0;
    ASSERT_TRUE(GetExitCodeProcess(process.Get(), &exitCode));
    EXPECT_EQ(exitCode, 3u);
    EXPECT_FALSE(StartProcess(L"\"C:\\no\\such\\program.exe\""));
}

// A bare program name (as in "MsiExec.exe /X{...}") comes from the system
// folder, never from the current folder, even when a program of that name lies there.
TEST(ProcessLaunching, BareNamesComeFromTheSystemFolderOnly) {
    TemporaryDirectory folder;
    ASSERT_TRUE(CopyFileW(StandIn().c_str(), folder.File(L"cmd.exe").c_str(), FALSE));
    ASSERT_TRUE(CopyFileW(StandIn().c_str(), folder.File(L"localonly.exe").c_str(), FALSE));
    wchar_t previous[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryW(folder.Path().c_str()));

    ScopedHandle system = StartProcess(L"cmd.exe /c exit 7");
    ScopedHandle withoutExtension = StartProcess(L"cmd /c exit 8");
    ScopedHandle local = StartProcess(L"localonly.exe --exit 4");
    const DWORD localError = GetLastError();
    SetCurrentDirectoryW(previous);

    for (auto [process, expected] : {std::pair{system.Get(), 7u}, std::pair{withoutExtension.Get(), 8u}}) {
        ASSERT_NE(process, nullptr);
        ASSERT_EQ(WaitForSingleObject(process, 20000), WAIT_OBJECT_0);
        DWORD exitCode = 0;
        ASSERT_TRUE(GetExitCodeProcess(process, &exitCode));
        EXPECT_EQ(exitCode, expected) << "the copy in the current folder ran instead of the system's program";
    }
    EXPECT_FALSE(local);
    EXPECT_EQ(localError, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(ProcessLaunching, WithoutAShellWindowTheShellRoutesFail) {
    // Wine's desktop registers no shell window.
    EXPECT_EQ(LaunchWithShellToken(L"\"" + StandIn() + L"\""), E_FAIL);
}

TEST(ProcessLaunching, InstalledAppFallsBackToAPlainStart) {
    TemporaryDirectory folder;
    CProgram program;
    const std::wstring record = folder.File(L"launch.txt");
    std::wstring image = L"AppExe";
    image += L'\0';
    image += StandIn();
    image += L'\0';
    image += L"LaunchAs";
    image += L'\0';
    image += L"AsInvoker";
    image += L'\0';
    program.m_buildConfig.ParseResource(image.data(), image.size() * sizeof(wchar_t));
    EXPECT_EQ(LaunchInstalledApp(program.InstalledApplication(), false, L" --record " + record), S_OK);
    for (int i = 0; i < 100 && ReadAll(record).empty(); ++i) Sleep(50);
    EXPECT_EQ(ReadAll(record), ToUtf8(L"\"" + StandIn() + L"\" --record " + record) + "\n");

    EXPECT_EQ(LaunchInstalledApp(InstalledApp{}, false, L""), E_INVALIDARG);
    EXPECT_FALSE(IsAppRunning(L""));
}

TEST(FileVersionInfo, ReadsTheStandInsResource) {
    CFileVersionInfo info;
    ASSERT_TRUE(info.Create(StandIn(), 0x0409));  // only a Japanese block: the first entry is used
    EXPECT_EQ(info.GetString(CFileVersionInfo::FileVersion), L"2.4.1.7");
    EXPECT_EQ(info.GetString(CFileVersionInfo::ProductName), L"Kelvora");
    EXPECT_EQ(info.GetString(CFileVersionInfo::SpecialBuild), L"");
    EXPECT_EQ(info.GetFixedInfo().dwFileVersionMS, 0x00020004u);
    EXPECT_EQ(GetFileVersion(StandIn()), MakePackedVersion(2, 4, 1, 7));
    EXPECT_EQ(GetFileVersion(L"C:\\no\\such\\file.exe"), 0u);

    TemporaryDirectory folder;
    WriteBytes(folder.File(L"plain.txt"), "no resource");
    EXPECT_FALSE(info.Create(folder.File(L"plain.txt")));
    EXPECT_EQ(info.GetString(CFileVersionInfo::FileVersion), L"");
}

TEST(FileVersionInfo, TranslationChoice) {
    auto entry = [](WORD language) { return static_cast<DWORD>(language) | 1200u << 16; };
    struct Case {
        std::vector<DWORD> entries;
        LANGID user;
        WORD chosen;
    };
    const Case cases[] = {
        {{entry(0x0411)}, 0x0409, 0x0411},                  // nothing matches: the first entry
        {{entry(0x0411), entry(0x0809)}, 0x0409, 0x0809},   // same primary language
        {{entry(0x0809), entry(0x0409)}, 0x0409, 0x0409},   // exact match first
        {{entry(0x0411), entry(0x0000)}, 0x0407, 0x0000},   // neutral
        {{entry(0x0411), entry(0x0009)}, 0x0407, 0x0009},   // English neutral
    };
    for (const Case& c : cases) {
        DWORD chosen = CFileVersionInfo::ChooseTranslation(c.entries.data(), c.entries.size(), c.user);
        EXPECT_EQ(LOWORD(chosen), c.chosen);
    }
}
}  // namespace

namespace {
TEST(ShellToken, LaunchesWithTheShellProcessToken) {
    const std::wstring helper = WindowsPathFromEnvironment("WRENSTALL_SHELL_HELPER_EXE");
    ASSERT_FALSE(helper.empty());
    ScopedHandle ready(CreateEventW(nullptr, TRUE, FALSE, L"WrenstallShellReady"));
    ScopedHandle quit(CreateEventW(nullptr, TRUE, FALSE, L"WrenstallShellQuit"));
    ChildProcess shell(L"\"" + helper + L"\" WrenstallShellReady WrenstallShellQuit");
    ASSERT_EQ(WaitForSingleObject(ready.Get(), 20000), WAIT_OBJECT_0) << "the helper registered no shell window";

    TemporaryDirectory folder;
    const std::wstring record = folder.File(L"token.txt");
    EXPECT_EQ(LaunchWithShellToken(L"\"" + StandIn() + L"\" --record " + record), S_OK);
    for (int i = 0; i < 100 && ReadAll(record).empty(); ++i) Sleep(50);
    EXPECT_EQ(ReadAll(record), ToUtf8(L"\"" + StandIn() + L"\" --record " + record) + "\n");

    SetEvent(quit.Get());
    ProcessResult result;
    EXPECT_TRUE(shell.Wait(20000, result));
}
}  // namespace
