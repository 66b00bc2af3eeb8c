// The installation engine: the progress-page proxy on its own, and the
// controller thread end to end against the stand-in server (named as the
// tracking and RPC endpoint in the build configuration), with signed fixtures.
#include <gtest/gtest.h>

#include <atomic>
#include <bzlib.h>
#include <cstring>
#include <fstream>
#include <iterator>
#include <new>
#include <stdexcept>

#include <windows.h>
#include <shellapi.h>
#include <msi.h>

#include "RecordingPage.h"
#include "TestServer.h"
#include "TestSupport.h"
#include "app/Program.h"
#include "engine/Installation.h"
#include "framework/ScopedHandles.h"
#include "payload/PayloadVersionCheck.h"
#include "payload/SignatureVerification.h"
#include "services/ProcessLaunching.h"
#include "engine/ByteFormatting.h"

namespace {
std::string ReadAll(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(ProgressPageProxy, HoldsTheLatestReportsAndEveryFileUntilThePageAttaches) {
    TemporaryDirectory folder;
    WriteBytes(folder.File(L"one.tmp"), "1");
    WriteBytes(folder.File(L"two.tmp"), "2");
    CProgressPageProxy proxy;
    proxy.NextTask(25, L"first task");
    proxy.NextTask(50, L"second task");
    for (int i = 0; i < 10; ++i) proxy.ChangeProgress(i * 10, L"step " + std::to_wstring(i));
    proxy.RememberTempFile(folder.File(L"one.tmp"));
    proxy.RememberTempFile(folder.File(L"two.tmp"));
    EXPECT_EQ(proxy.Cancel(), 1);
    EXPECT_TRUE(proxy.IsCancelled());

    RecordingPage page;
    proxy.SetPage(&page);
    EXPECT_TRUE(page.IsCancelled());
    auto tasks = page.Of(WM_PAGE_NEXT_TASK);
    ASSERT_EQ(tasks.size(), 1u);
    EXPECT_EQ(tasks[0].wParam, 50);
    EXPECT_EQ(tasks[0].text, L"second task");
    auto steps = page.Of(WM_PAGE_STEP_PROGRESS);
    ASSERT_EQ(steps.size(), 1u);
    EXPECT_EQ(steps[0].text, L"step 9");
    auto files = page.Of(WM_PAGE_REMEMBER_TEMP_FILE);
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0].text, folder.File(L"one.tmp"));
    EXPECT_EQ(files[1].text, folder.File(L"two.tmp"));

    proxy.ChangeProgress(70, L"", false);
    auto later = page.Of(WM_PAGE_STEP_PROGRESS);
    ASSERT_EQ(later.size(), 2u);
    EXPECT_FALSE(later[1].hasText);
    EXPECT_EQ(later[1].wParam, 70);
}

TEST(ProgressPageProxy, UndeliveredFilesAreDeletedWithIt) {
    TemporaryDirectory folder;
    WriteBytes(folder.File(L"left.tmp"), "x");
    {
        CProgressPageProxy proxy;
        proxy.RememberTempFile(folder.File(L"left.tmp"));
    }
    EXPECT_EQ(GetFileAttributesW(folder.File(L"left.tmp").c_str()), INVALID_FILE_ATTRIBUTES);

    // A page whose window is gone never gets the path: the proxy still deletes the file.
    struct GonePage : IProgressPage {
        HWND GetPageWindow() const override { return m_window; }
        bool IsCancelled() const override { return false; }
        void SetCancelled(bool) override {}
        HWND m_window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    } gone;
    ASSERT_NE(gone.m_window, nullptr);
    DestroyWindow(gone.m_window);
    WriteBytes(folder.File(L"lost.tmp"), "x");
    WriteBytes(folder.File(L"queued.tmp"), "x");
    {
        CProgressPageProxy proxy;
        proxy.RememberTempFile(folder.File(L"queued.tmp"));
        proxy.SetPage(&gone);
        proxy.RememberTempFile(folder.File(L"lost.tmp"));
    }
    EXPECT_EQ(GetFileAttributesW(folder.File(L"queued.tmp").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesW(folder.File(L"lost.tmp").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(ByteFormatting, SizesAndRates) {
    SetThreadLocale(MAKELCID(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), SORT_DEFAULT));
    EXPECT_EQ(FormatByteSize(0), L"0 bytes");
    EXPECT_EQ(FormatByteSize(1), L"1 byte");
    EXPECT_EQ(FormatByteSize(1023), L"1023 bytes");
    EXPECT_EQ(FormatByteSize(1536), L"1.5 KB");
    EXPECT_EQ(FormatByteSize(5ull << 32), L"20480.0 MB");
    EXPECT_EQ(FormatByteRate(100, 0), L"an unknown speed");
    EXPECT_EQ(FormatByteRate(1, 1000), L"1 byte/s");
    EXPECT_EQ(FormatByteRate(500, 1000), L"500 bytes/s");
    EXPECT_EQ(FormatByteRate(3 * 1048576, 2000), L"1.50 MB/s");
}

// Each language's own decimal separator in the texts of its table.
TEST(ByteFormatting, LanguageDecimalSeparator) {
    const LCID original = GetThreadLocale();
    struct Case {
        LANGID language;
        const wchar_t* size;
        const wchar_t* rate;
    };
    const Case cases[] = {{MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), L"72.0 KB", L"1.50 MB/s"},
                          {MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN), L"72,0 KB", L"1,50 MB/s"},
                          {MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH), L"72,0 Ko", L"1,50 Mo/s"},
                          {MAKELANGID(LANG_SPANISH, SUBLANG_SPANISH_MODERN), L"72,0 KB", L"1,50 MB/s"},
                          {MAKELANGID(LANG_JAPANESE, SUBLANG_JAPANESE_JAPAN), L"72.0 KB", L"1.50 MB/秒"}};
    for (const Case& c : cases) {
        SetThreadLocale(MAKELCID(c.language, SORT_DEFAULT));
        EXPECT_EQ(FormatByteSize(72 * 1024), c.size) << "language " << c.language;
        EXPECT_EQ(FormatByteRate(3 * 1048576, 2000), c.rate) << "language " << c.language;
    }
    SetThreadLocale(original);
}

class Engine : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_server.Available()) << "run under tests/server/with-server.sh";
        m_server.Reset();
        m_fixtures = WindowsPathFromEnvironment("WRENSTALL_FIXTURES");
        m_standIn = WindowsPathFromEnvironment("WRENSTALL_STANDIN_EXE");
        ASSERT_FALSE(m_fixtures.empty());
        m_server.PutFile(L"setup-A.msi.bz2", ReadAll(m_fixtures + L"\\package-A.msi.bz2"));
        m_server.PutFile(L"setup-C.msi.bz2", ReadAll(m_fixtures + L"\\package-C.msi.bz2"));
        m_server.PutFile(L"nox-A.exe.bz2", ReadAll(m_fixtures + L"\\offer-A.exe.bz2"));
        m_server.PutFile(L"gear-C.exe.bz2", ReadAll(m_fixtures + L"\\offer-C.exe.bz2"));
        SetDefaultSignerFile(m_fixtures + L"\\signer-A.exe");
        SetEnvironmentVariableW(L"WRENSTALL_RECORD_FILE", m_folder.File(L"started.txt").c_str());
        SetEnvironmentVariableW(L"WRENSTALL_SCAN_EVENT", L"WrenstallTestScanEvent");
        SetEnvironmentVariableW(L"WRENSTALL_SCAN_KEY", L"SOFTWARE\\Tarnwell Utilities Inc\\Kelvora");
        DeleteRegistryTree(HKEY_CURRENT_USER, L"SOFTWARE\\Tarnwell Utilities Inc\\Kelvora");
        DeleteRegistryTree(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Tarnwell Utilities Inc\\Kelvora");
        Uninstall();
        m_program.m_strAppName = L"Kelvora";
    }
    void TearDown() override {
        Uninstall();
        SetDefaultSignerFile(L"");
        SetEnvironmentVariableW(L"WRENSTALL_RECORD_FILE", nullptr);
    }
    static void Uninstall() {
        std::wstring package = WindowsPathFromEnvironment("WRENSTALL_FIXTURES") + L"\\KelvoraPackage.msi";
        MsiInstallProductW(package.c_str(), L"REMOVE=ALL");
    }

    void Configure(const std::wstring& payload, const std::vector<std::pair<std::wstring, std::wstring>>& more,
                   const wchar_t* installerData) {
        std::wstring image = std::wstring(L"ProductCode") + L'\0' + L"TW6" + L'\0' + L"Payload" + L'\0' +
                             L"CMsiExecutor|" + m_server.Url(L"/" + payload) + L'\0' + L"TrackingEndpoint" + L'\0' +
                             m_server.Url(L"") + L'\0' + L"RpcEndpoint" + L'\0' + m_server.Url(L"") + L'\0';
        for (const auto& [key, value] : more) image += key + L'\0' + value + L'\0';
        m_program.m_buildConfig.ParseResource(image.data(), image.size() * sizeof(wchar_t));
        m_program.m_installerData.Parse(installerData);
        m_program.StartTracking(false);
    }

    // The build configuration with the payload run by the stand-in executor
    // class named, and, with nox, the Nox offer's address.
    void UseExecutor(const wchar_t* executor, bool nox) {
        std::wstring image = std::wstring(L"Payload") + L'\0' + executor + L"|" + m_server.Url(L"/setup-A.msi.bz2") + L'\0';
        if (nox) image += std::wstring(L"NoxUrl") + L'\0' + m_server.Url(L"/nox-A.exe.bz2") + L'\0';
        image += std::wstring(L"TrackingEndpoint") + L'\0' + m_server.Url(L"") + L'\0' + L"RpcEndpoint" + L'\0' +
                 m_server.Url(L"") + L'\0';
        m_program.m_buildConfig.ParseResource(image.data(), image.size() * sizeof(wchar_t));
    }

    // Starts the controller thread as start-up does; thread receives a handle to wait on.
    CInstallation* StartController(ScopedHandle& thread) {
        CInstallation* installation = m_program.StartInstallation();
        if (installation) thread.Reset(installation->DuplicateHandleForWaiting());
        return installation;
    }

    // Runs the wizard's message sequence; offers accepted as given.
    void Run(bool acceptNox, bool acceptGearfresh, bool cancelDuringDownload = false,
             const wchar_t* cancelOnStep = nullptr, bool cancelDuringOfferDownload = false) {
        ScopedHandle threadOwner;
        CInstallation* installation = StartController(threadOwner);
        ASSERT_NE(installation, nullptr);
        HANDLE thread = threadOwner.Get();
        if (cancelDuringDownload) installation->m_proxy.SetPage(&m_page);
        installation->PostThreadMessage(WM_INSTALL_DOWNLOAD_PAYLOAD, 0, 0);
        if (cancelDuringDownload) {
            for (int i = 0; i < 400 && m_page.Of(WM_PAGE_STEP_PROGRESS).empty(); ++i) Sleep(10);
            installation->Cancel();
        }
        installation->m_bNoxDeclined = acceptNox ? 0 : 1;
        installation->m_bGearfreshDeclined = acceptGearfresh ? 0 : 1;
        if (acceptNox) installation->PostThreadMessage(WM_INSTALL_DOWNLOAD_NOX, 0, 0);
        if (acceptGearfresh) installation->PostThreadMessage(WM_INSTALL_DOWNLOAD_GEARFRESH, 0, 0);
        if (!cancelDuringDownload) installation->m_proxy.SetPage(&m_page);
        if (cancelDuringOfferDownload) {
            // Once the offer's (slow) download is under way.
            m_server.WaitForRequests("slow-nox", 1, 60000);
            Sleep(300);
            installation->Cancel();
            installation->PostThreadMessage(WM_INSTALL_FINISH, 0, 0);
        }
        installation->PostThreadMessage(WM_INSTALL_BEGIN, 0, 0);
        if (cancelOnStep) {
            // The user confirms Cancel once the step shows: the wizard cancels and posts 0x408.
            for (int i = 0; i < 2000; ++i) {
                bool shown = false;
                for (const PageMessage& m : m_page.Of(WM_PAGE_STEP_PROGRESS)) shown |= m.text == cancelOnStep;
                if (shown) break;
                Sleep(10);
            }
            installation->Cancel();
            installation->PostThreadMessage(WM_INSTALL_FINISH, 0, 0);
        }
        ASSERT_TRUE(m_page.PumpUntilEnded(thread, 120000)) << "the controller did not end";
        m_program.m_pInstallation.reset();
        EventTracker::WaitForPendingSends(5000);
    }

    std::vector<HRESULT> Results() {
        std::vector<HRESULT> results;
        for (const PageMessage& m : m_page.Of(WM_PAGE_RESULT)) results.push_back(m.result);
        return results;
    }
    std::wstring LastTask() {
        auto tasks = m_page.Of(WM_PAGE_NEXT_TASK);
        return tasks.empty() ? L"" : tasks.back().text;
    }
    std::wstring InstalledApp() const {
        wchar_t programFiles[MAX_PATH];
        GetEnvironmentVariableW(L"ProgramFiles", programFiles, MAX_PATH);
        return std::wstring(programFiles) + L"\\Kelvora\\Kelvora.exe";
    }

    TestServer m_server;
    TemporaryDirectory m_folder;
    std::wstring m_fixtures;
    std::wstring m_standIn;
    CProgram m_program;
    RecordingPage m_page;
};

TEST_F(Engine, FullRunInstallsPersistsScansAndStartsTheSignedOfferOnly) {
    Configure(L"setup-A.msi.bz2",
              {{L"NoxUrl", m_server.Url(L"/nox-A.exe.bz2")},
               {L"GearfreshEnUrl", m_server.Url(L"/gear-C.exe.bz2")},
               {L"PartnerId", L"P-42"},
               {L"AppExe", m_standIn},
               {L"InstallScanEvent", L"WrenstallTestScanEvent"}},
              L"@upl=campaign1\r\nNoxInstallOnReboot=yes\r\nSI_CHNL=7\r\n?NoxStubId=abc\r\nGearfreshInstallOnReboot=Yes\r\n"
              L"installScanTimeout=10");
    SetEnvironmentVariableW(L"WRENSTALL_SCAN_RESULT", L"dword0");
    Run(true, true);

    EXPECT_EQ(Results(), std::vector<HRESULT>{S_OK});
    EXPECT_EQ(LastTask(), L"Done!");
    // "AppExe" (the stand-in) carries the package's version 2.4.1.7, so the
    // product counts as installed and the package is not run again.
    EXPECT_EQ(GetFileAttributesW(InstalledApp().c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(m_program.m_bPayloadInstalled);
    EXPECT_TRUE(m_program.m_bInstallScanStarted);

    ScopedRegKey product;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Tarnwell Utilities Inc\\Kelvora", 0, KEY_READ, product.Receive()),
              ERROR_SUCCESS);
    wchar_t partner[32] = {};
    DWORD size = sizeof(partner);
    RegQueryValueExW(product.Get(), L"PartnerId", nullptr, nullptr, reinterpret_cast<BYTE*>(partner), &size);
    EXPECT_STREQ(partner, L"P-42");
    ScopedRegKey data;
    ASSERT_EQ(RegOpenKeyExW(product.Get(), L"InstallerData", 0, KEY_READ, data.Receive()), ERROR_SUCCESS);
    wchar_t upl[32] = {};
    size = sizeof(upl);
    RegQueryValueExW(data.Get(), L"upl", nullptr, nullptr, reinterpret_cast<BYTE*>(upl), &size);
    EXPECT_STREQ(upl, L"campaign1");

    auto finished = m_server.WaitForRequests("ev=InstallerFinished", 1);
    ASSERT_EQ(finished.size(), 1u);
    EXPECT_TRUE(finished[0].target.ends_with("&productVersion=2.4.1.7")) << finished[0].target;
    for (const char* stage : {"installScanInitiated", "installScanInProgress", "installScanCompleted"}) {
        EXPECT_EQ(m_server.WaitForRequests(std::string("result=") + stage, 1).size(), 1u) << stage;
    }

    // The Nox setup (our key) started with its properties; Gearfresh (key C) never ran.
    std::string started;
    for (int i = 0; i < 100; ++i) {
        started = ReadAll(m_folder.File(L"started.txt"));
        if (started.find("SI_LAUNCH") != std::string::npos) break;
        Sleep(50);
    }
    EXPECT_NE(started.find(".exe\" SI_LAUNCH=onreboot SI_CHNL=7 @UL_STUBID=abc\n"), std::string::npos) << started;
    EXPECT_EQ(started.find("SI_LAUNCH=immediate"), std::string::npos) << "the unsigned-by-us Gearfresh setup ran";
    auto rejected = m_server.WaitForRequests("errorCode=80092009", 1);
    ASSERT_EQ(rejected.size(), 1u);
    EXPECT_TRUE(rejected[0].target.ends_with("&page=installingSecondaryOffer&action=installing"));

    // Every temporary file was handed to the page, in order: payload, offers, setups.
    std::vector<std::string> kinds;
    std::string files;
    for (const PageMessage& file : m_page.Of(WM_PAGE_REMEMBER_TEMP_FILE)) {
        const std::wstring name = file.text.substr(file.text.find_last_of(L'\\') + 1);
        const bool setup = name.ends_with(L".exe");
        kinds.push_back(name.starts_with(L"twu")   ? "payload"
                        : name.starts_with(L"nox") ? (setup ? "nox setup" : "nox package")
                        : name.starts_with(L"gfp") ? (setup ? "gearfresh setup" : "gearfresh package")
                                                   : "other");
        files += ToUtf8(name) + " ";
    }
    EXPECT_EQ(kinds, (std::vector<std::string>{"payload", "nox package", "gearfresh package", "nox setup",
                                               "gearfresh setup"}))
        << files;
}

TEST_F(Engine, PayloadIsDownloadedVerifiedAndInstalled) {
    Configure(L"setup-A.msi.bz2", {}, L"");
    Run(false, false);
    EXPECT_EQ(Results(), std::vector<HRESULT>{S_OK});
    EXPECT_NE(GetFileAttributesW(InstalledApp().c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(m_program.m_bInstallScanStarted);
    // Without a scan the payload step ends the step bar at 50.
    auto steps = m_page.Of(WM_PAGE_STEP_PROGRESS);
    ASSERT_FALSE(steps.empty());
    EXPECT_EQ(steps.back().wParam, 50);
}

// A PayloadUrl on a host the build configuration does not name (here the same
// server under another name) is never fetched: the build's own URL is.
TEST_F(Engine, APayloadUrlOutsideTheBuildsHostsIsNeverFetched) {
    const std::wstring foreignHost = L"http://localhost:" + std::to_wstring(m_server.Port()) + L"/setup-C.msi.bz2";
    Configure(L"setup-A.msi.bz2", {}, (L"PayloadUrl=" + foreignHost + L"\r\n").c_str());
    Run(false, false);
    EXPECT_EQ(Results(), std::vector<HRESULT>{S_OK});
    EXPECT_NE(GetFileAttributesW(InstalledApp().c_str()), INVALID_FILE_ATTRIBUTES);
    bool ownFetched = false;
    for (const RecordedRequest& request : m_server.Requests()) {
        EXPECT_EQ(request.target.find("setup-C"), std::string::npos) << request.target;
        ownFetched |= request.target.find("setup-A.msi.bz2") != std::string::npos;
    }
    EXPECT_TRUE(ownFetched);
}

// A value that tries to end its argument early gives the offer's setup no
// extra arguments: it arrives as the one argument it is.
TEST_F(Engine, AnOffersSetupGetsEachValueAsOneArgument) {
    const std::wstring value = L"7\\\" /S /INSTALLDIR=C:\\evil";
    Configure(L"setup-A.msi.bz2", {{L"NoxUrl", m_server.Url(L"/nox-A.exe.bz2")}}, (L"SI_CHNL=" + value + L"\r\n").c_str());
    Run(true, false);
    EXPECT_EQ(Results(), std::vector<HRESULT>{S_OK});
    std::string started;
    for (int i = 0; i < 200 && started.find("SI_LAUNCH") == std::string::npos; ++i) {
        Sleep(50);
        started = ReadAll(m_folder.File(L"started.txt"));
    }
    ASSERT_NE(started.find("SI_LAUNCH"), std::string::npos) << "the offer's setup did not start";
    const std::string line = started.substr(0, started.find('\n'));
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(std::wstring(line.begin(), line.end()).c_str(), &count);
    ASSERT_NE(arguments, nullptr);
    ASSERT_EQ(count, 3) << line;
    EXPECT_EQ(std::wstring(arguments[1]), L"SI_LAUNCH=immediate");
    EXPECT_EQ(std::wstring(arguments[2]), L"SI_CHNL=" + value) << line;
    LocalFree(arguments);
}

// A signed payload older than the release the build expects is a downgrade:
// refused with its own code and reported with its own event; nothing is
// installed and no "InstallerFinished" is sent.
TEST_F(Engine, AnOlderPayloadThanTheBuildExpectsIsRefusedAndReported) {
    Configure(L"setup-A.msi.bz2", {{L"PayloadVersion", L"9.0"}}, L"");
    Run(false, false);
    EXPECT_EQ(Results(), (std::vector<HRESULT>{kPayloadDowngrade, S_OK}));
    EXPECT_EQ(GetFileAttributesW(InstalledApp().c_str()), INVALID_FILE_ATTRIBUTES);
    auto refused = m_server.WaitForRequests("ev=InstallerDowngradeRefused", 1);
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_NE(refused[0].target.find("productVersion=2.4.1.7"), std::string::npos) << refused[0].target;
    for (const RecordedRequest& request : m_server.Requests()) {
        EXPECT_EQ(request.target.find("ev=InstallerFinished"), std::string::npos) << request.target;
    }
}

TEST_F(Engine, FailingPayloadStopsTheOffersButEndsWithDone) {
    Configure(L"setup-C.msi.bz2", {{L"NoxUrl", m_server.Url(L"/nox-A.exe.bz2")}}, L"SI_CHNL=1");
    Run(true, false);
    EXPECT_EQ(Results(), (std::vector<HRESULT>{static_cast<HRESULT>(0x80092009), S_OK}));
    EXPECT_EQ(LastTask(), L"Done!");
    EXPECT_EQ(GetFileAttributesW(InstalledApp().c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(ReadAll(m_folder.File(L"started.txt")), "") << "an offer started after a failed payload";
    EXPECT_FALSE(m_program.m_bPayloadInstalled);
}

TEST_F(Engine, CancelDuringTheDownload) {
    // Several 64 KiB reads, so that the cancellation meets a later progress report.
    m_server.PutFile(L"slow-A.msi.bz2", PatternBytes(12 * 1024 * 1024, 5));
    m_server.Fault("/slow-A.msi.bz2", "[{\"trickle_ms\": 10}]");
    Configure(L"slow-A.msi.bz2", {}, L"");
    Run(false, false, true);
    auto results = Results();
    ASSERT_FALSE(results.empty());
    EXPECT_EQ(results.front(), static_cast<HRESULT>(0x800704C7));
    EXPECT_EQ(results.back(), S_OK);
    EXPECT_EQ(GetFileAttributesW(InstalledApp().c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(Engine, InstallerDataCannotMoveOrTransformThePackageAndItsValuesArriveIntact) {
    // Single blanks: Wine's installer service folds runs of blanks inside quotes into one.
    const std::wstring note = L"He said \"hi\" \u2014 na\u00EFve \u65E5\u672C, \"\" and \\ too";
    Configure(L"setup-A.msi.bz2", {},
              (L"INSTALLDIR=" + m_folder.File(L"Evil") + L"\r\nTRANSFORMS=:evil.mst\r\nPATCH=C:\\evil.msp\r\n"
               L"TARGETDIR=C:\\Evil\r\nBAD KEY=1\r\nSI_NOTE=" + note + L"\r\n").c_str());
    Run(false, false);
    EXPECT_EQ(Results(), std::vector<HRESULT>{S_OK});
    EXPECT_NE(GetFileAttributesW(InstalledApp().c_str()), INVALID_FILE_ATTRIBUTES) << "not in its own folder";
    EXPECT_EQ(GetFileAttributesW(m_folder.File(L"Evil").c_str()), INVALID_FILE_ATTRIBUTES);
    // What the installed package recorded of the value it was given.
    ScopedRegKey key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Kelvora Test", 0, KEY_READ, key.Receive()), ERROR_SUCCESS);
    wchar_t recorded[256] = {};
    DWORD size = sizeof(recorded) - sizeof(wchar_t);
    RegQueryValueExW(key.Get(), L"Note", nullptr, nullptr, reinterpret_cast<BYTE*>(recorded), &size);
    EXPECT_EQ(std::wstring(recorded), note) << ToUtf8(recorded);
}

// Stands in for an installer run that the user cancelled (result 1602, which
// Execute reports as S_FALSE): Wine's installer service cannot be made to
// cancel, so the executor answers as CMsiExecutor does then.
class CCancelledRunExecutor : public CPayloadExecutor {
    DECLARE_DYNCREATE(CCancelledRunExecutor)
public:
    HRESULT Execute(IExecutorPage*, const std::wstring&) override { return S_FALSE; }
    HRESULT Run(IExecutorPage*, const std::wstring&) override { return S_FALSE; }
};
IMPLEMENT_DYNCREATE(CCancelledRunExecutor, CPayloadExecutor)

TEST_F(Engine, AnInstallerRunCancelledByTheUserIsNotASuccess) {
    Configure(L"setup-A.msi.bz2", {{L"NoxUrl", m_server.Url(L"/nox-A.exe.bz2")}}, L"@upl=campaign1\r\n");
    UseExecutor(L"CCancelledRunExecutor", true);
    Run(true, false);
    EXPECT_EQ(Results(), std::vector<HRESULT>{S_OK});
    EXPECT_TRUE(m_page.IsCancelled());
    EXPECT_FALSE(m_program.m_bPayloadInstalled);
    EXPECT_EQ(LastTask(), L"Done!");
    ScopedRegKey data;
    EXPECT_NE(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Tarnwell Utilities Inc\\Kelvora\\InstallerData", 0, KEY_READ,
                            data.Receive()),
              ERROR_SUCCESS)
        << "the installer data was persisted";
    // The controller has ended: whatever it started has ended too (and so
    // recorded its start), and every event it sent has been answered.
    ASSERT_TRUE(WaitForChildProcessesToEnd(30000));
    EXPECT_EQ(ReadAll(m_folder.File(L"started.txt")), "") << "an offer started after a cancelled run";
    ASSERT_TRUE(EventTracker::WaitForPendingSends(10000));
    EXPECT_FALSE(m_server.HasRequest("ev=InstallerFinished"));
}

// Stands in for an installer that completes although the user confirmed
// Cancel while it ran: the wizard's stop (as the cancel question's Yes makes
// it) arrives during the run and never reaches the installer.
class CLateCancelExecutor : public CPayloadExecutor {
    DECLARE_DYNCREATE(CLateCancelExecutor)
public:
    HRESULT Execute(IExecutorPage*, const std::wstring&) override {
        CProgram& program = GetProgram();
        program.m_runState.RequestStop();
        if (program.m_pInstallation) program.m_pInstallation->Cancel();
        return S_OK;
    }
    HRESULT Run(IExecutorPage* page, const std::wstring& commandLine) override { return Execute(page, commandLine); }
};
IMPLEMENT_DYNCREATE(CLateCancelExecutor, CPayloadExecutor)

TEST_F(Engine, ACancelThatComesWhileTheInstallerRunsLeavesTheInstallationStanding) {
    Configure(L"setup-A.msi.bz2", {{L"NoxUrl", m_server.Url(L"/nox-A.exe.bz2")}}, L"@upl=campaign1\r\n");
    UseExecutor(L"CLateCancelExecutor", true);
    Run(true, false);
    // The installer reported success: the product stands, and the page is told so.
    EXPECT_TRUE(m_program.m_bPayloadInstalled);
    EXPECT_TRUE(m_program.m_runState.IsPastPointOfNoReturn());
    EXPECT_FALSE(m_program.m_runState.StoppedBeforePointOfNoReturn());
    EXPECT_FALSE(m_program.m_runState.IsAborted());
    ASSERT_TRUE(EventTracker::WaitForPendingSends(10000));
    EXPECT_TRUE(m_server.HasRequest("ev=InstallerFinished"));
    // The stop still holds for what is optional: the accepted offer never starts.
    ASSERT_TRUE(WaitForChildProcessesToEnd(30000));
    EXPECT_EQ(ReadAll(m_folder.File(L"started.txt")), "") << "an offer started after the user's stop";
    EXPECT_TRUE(m_program.m_runState.Finish());
}

// Stands in for a payload whose check takes long enough for the user to
// confirm Cancel meanwhile: the stop arrives after the check began (while the
// checked file's properties are read); its installer run records that it started.
class CStopDuringCheckExecutor : public CPayloadExecutor {
    DECLARE_DYNCREATE(CStopDuringCheckExecutor)
public:
    std::vector<std::wstring> GetFolderProperties() const override {
        GetProgram().m_runState.RequestStop();
        return CPayloadExecutor::GetFolderProperties();
    }
    HRESULT Execute(IExecutorPage*, const std::wstring&) override {
        s_bInstallerStarted = true;
        return S_OK;
    }
    HRESULT Run(IExecutorPage* page, const std::wstring& commandLine) override { return Execute(page, commandLine); }
    static inline bool s_bInstallerStarted = false;
};
IMPLEMENT_DYNCREATE(CStopDuringCheckExecutor, CPayloadExecutor)

TEST_F(Engine, ACancelWhileThePayloadIsCheckedKeepsTheInstallerFromStarting) {
    Configure(L"setup-A.msi.bz2", {}, L"@upl=campaign1\r\n");
    UseExecutor(L"CStopDuringCheckExecutor", false);
    Run(false, false);
    EXPECT_FALSE(CStopDuringCheckExecutor::s_bInstallerStarted);
    EXPECT_FALSE(m_program.m_bPayloadInstalled);
    EXPECT_TRUE(m_program.m_runState.StoppedBeforePointOfNoReturn());
    ASSERT_TRUE(EventTracker::WaitForPendingSends(10000));
    EXPECT_FALSE(m_server.HasRequest("ev=InstallerFinished"));
}

// Stands in for an executor whose installer properties cannot be built
// because memory ran out (the folder properties are read while they are).
class COutOfMemoryPropertiesExecutor : public CPayloadExecutor {
    DECLARE_DYNCREATE(COutOfMemoryPropertiesExecutor)
public:
    static std::atomic<int> s_nExecuted;
    std::vector<std::wstring> GetFolderProperties() const override { throw std::bad_alloc(); }
    HRESULT Execute(IExecutorPage*, const std::wstring&) override {
        ++s_nExecuted;
        return S_OK;
    }
    HRESULT Run(IExecutorPage*, const std::wstring&) override { return S_OK; }
};
IMPLEMENT_DYNCREATE(COutOfMemoryPropertiesExecutor, CPayloadExecutor)
std::atomic<int> COutOfMemoryPropertiesExecutor::s_nExecuted{0};

// Before, the installer ran with an empty property list when memory ran out
// while the list was built; the run now ends with that error instead.
TEST_F(Engine, OutOfMemoryWhileBuildingThePropertiesEndsTheRun) {
    Configure(L"setup-A.msi.bz2", {}, L"SI_CHNL=beta\r\n");
    UseExecutor(L"COutOfMemoryPropertiesExecutor", false);
    COutOfMemoryPropertiesExecutor::s_nExecuted = 0;
    Run(false, false);
    EXPECT_EQ(Results(), (std::vector<HRESULT>{E_OUTOFMEMORY, S_OK}));
    EXPECT_EQ(COutOfMemoryPropertiesExecutor::s_nExecuted, 0) << "the installer ran without its properties";
    EXPECT_FALSE(m_program.m_bPayloadInstalled);
}

TEST_F(Engine, CancelStopsAnOfferDownloadAndRemovesItsFile) {
    m_server.PutFile(L"slow-nox.exe.bz2", PatternBytes(12 * 1024 * 1024, 5));
    m_server.Fault("/slow-nox.exe.bz2", "[{\"trickle_ms\": 10}]");
    Configure(L"setup-A.msi.bz2", {{L"NoxUrl", m_server.Url(L"/slow-nox.exe.bz2")}}, L"");
    const DWORD start = GetTickCount();
    Run(true, false, false, nullptr, /*cancelDuringOfferDownload=*/true);
    EXPECT_LT(GetTickCount() - start, 60000u);
    for (const PageMessage& file : m_page.Of(WM_PAGE_REMEMBER_TEMP_FILE)) {
        if (file.text.find(L"\\nox") == std::wstring::npos) continue;
        EXPECT_EQ(GetFileAttributesW(file.text.c_str()), INVALID_FILE_ATTRIBUTES) << ToUtf8(file.text) << " was left";
    }
    EXPECT_EQ(ReadAll(m_folder.File(L"started.txt")), "");
}

TEST_F(Engine, CancelStopsAnOfferExtractionAndRemovesItsFiles) {
    // 1 GiB of zeros in a few kilobytes: extraction outlasts the cancellation.
    std::string zeros(64 << 20, '\0');
    unsigned int size = 1 << 20;
    std::string stream(size, '\0');
    ASSERT_EQ(BZ2_bzBuffToBuffCompress(stream.data(), &size, zeros.data(), static_cast<unsigned int>(zeros.size()), 9, 0, 0),
              BZ_OK);
    stream.resize(size);
    std::string offer;
    for (int i = 0; i < 16; ++i) offer += stream;
    m_server.PutFile(L"big-nox.exe.bz2", offer);
    Configure(L"setup-A.msi.bz2", {{L"NoxUrl", m_server.Url(L"/big-nox.exe.bz2")}}, L"");
    Run(true, false, false, L"Extracting Kelvora...");
    int offerFiles = 0;
    for (const PageMessage& file : m_page.Of(WM_PAGE_REMEMBER_TEMP_FILE)) {
        if (file.text.find(L"\\nox") == std::wstring::npos) continue;
        ++offerFiles;
        EXPECT_EQ(GetFileAttributesW(file.text.c_str()), INVALID_FILE_ATTRIBUTES) << ToUtf8(file.text) << " was left";
    }
    EXPECT_EQ(offerFiles, 2) << "the offer's package and setup";
    EXPECT_EQ(GetFileAttributesW(InstalledApp().c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(ReadAll(m_folder.File(L"started.txt")), "");
}

TEST_F(Engine, CancelWhileWaitingForTheScanToStart) {
    SetEnvironmentVariableW(L"WRENSTALL_SCAN_RESULT", L"sz");
    SetEnvironmentVariableW(L"WRENSTALL_SCAN_START_DELAY", L"20000");
    Configure(L"setup-A.msi.bz2", {{L"AppExe", m_standIn}, {L"InstallScanEvent", L"WrenstallTestScanEvent"}},
              L"installScanTimeout=60");
    const DWORD start = GetTickCount();
    Run(false, false, false, L"Scanning Your Computer...");
    SetEnvironmentVariableW(L"WRENSTALL_SCAN_START_DELAY", nullptr);
    EXPECT_LT(GetTickCount() - start, 15000u) << "the scan did not notice the cancellation";
    EXPECT_FALSE(m_program.m_bInstallScanStarted);
    auto errors = m_server.WaitForRequests("errorCode=800704C7", 1);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_TRUE(errors[0].target.ends_with("&page=waitingOnAppStart&action=installScanInitiated"));
}

TEST_F(Engine, OffersThatAreDeclinedOrFailToDownloadNeverStart) {
    Configure(L"setup-A.msi.bz2",
              {{L"NoxUrl", m_server.Url(L"/nox-A.exe.bz2")}, {L"GearfreshEnUrl", m_server.Url(L"/missing.exe.bz2")}},
              L"");
    ScopedHandle threadOwner;
    CInstallation* installation = StartController(threadOwner);
    ASSERT_NE(installation, nullptr);
    HANDLE thread = threadOwner.Get();
    installation->PostThreadMessage(WM_INSTALL_DOWNLOAD_PAYLOAD, 0, 0);
    installation->PostThreadMessage(WM_INSTALL_DOWNLOAD_NOX, 0, 0);
    installation->PostThreadMessage(WM_INSTALL_DOWNLOAD_GEARFRESH, 0, 0);
    // The user goes back and declines Nox after its download was requested.
    installation->m_bNoxDeclined = true;
    installation->m_proxy.SetPage(&m_page);
    installation->PostThreadMessage(WM_INSTALL_BEGIN, 0, 0);
    ASSERT_TRUE(m_page.PumpUntilEnded(thread, 120000));
    m_program.m_pInstallation.reset();
    EventTracker::WaitForPendingSends(5000);
    EXPECT_EQ(Results(), std::vector<HRESULT>{S_OK});
    // Whatever the ended controller started has ended, and so recorded its start.
    ASSERT_TRUE(WaitForChildProcessesToEnd(30000));
    EXPECT_EQ(ReadAll(m_folder.File(L"started.txt")), "") << "an offer started";
    auto failed = m_server.WaitForRequests("errorCode=80190194", 1);
    ASSERT_EQ(failed.size(), 1u);
    // A known error class is reported without the caller's page.
    EXPECT_TRUE(failed[0].target.ends_with("&errorCode=80190194&action=installing")) << failed[0].target;
}

// A failed payload step before the progress page exists goes to the main
// window; a bad URL template fails without downloading what came before it.
TEST_F(Engine, ErrorsBeforeThePageExistsGoToTheMainWindow) {
    const struct {
        const wchar_t* payload;
        HRESULT first;
    } cases[] = {
        {L"no-such-payload.msi.bz2", static_cast<HRESULT>(0x80190194)},
        {L"setup-A.msi.bz2?os={OS.VER", E_INVALIDARG},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(ToUtf8(c.payload));
        m_server.Reset();
        RecordingPage mainWindow;
        m_program.m_hMainWindow = mainWindow.GetPageWindow();
        Configure(c.payload, {}, L"");
        ScopedHandle threadOwner;
        CInstallation* installation = StartController(threadOwner);
        ASSERT_NE(installation, nullptr);
        installation->PostThreadMessage(WM_INSTALL_DOWNLOAD_PAYLOAD, 0, 0);
        installation->PostThreadMessage(WM_INSTALL_FINISH, 0, 0);
        ASSERT_TRUE(mainWindow.PumpUntilEnded(threadOwner.Get(), 120000));
        auto results = mainWindow.Of(WM_MAIN_RESULT);
        ASSERT_EQ(results.size(), 2u);
        EXPECT_EQ(results[0].result, c.first);
        EXPECT_EQ(results[1].result, S_OK);
        // The controller downloads on its own thread, which has ended.
        EXPECT_FALSE(m_server.HasRequest("setup-A")) << "a truncated URL was downloaded";
        m_program.m_pInstallation.reset();
        m_program.m_hMainWindow = nullptr;
    }
}

TEST_F(Engine, CancelWhileWaitingForTheScan) {
    SetEnvironmentVariableW(L"WRENSTALL_SCAN_RESULT", L"never");
    Configure(L"setup-A.msi.bz2", {{L"AppExe", m_standIn}, {L"InstallScanEvent", L"WrenstallTestScanEvent"}},
              L"installScanTimeout=60");
    const DWORD start = GetTickCount();
    Run(false, false, false, L"Scanning Your Computer...");
    EXPECT_LT(GetTickCount() - start, 30000u) << "the scan did not notice the cancellation";
    EXPECT_FALSE(m_program.m_bInstallScanStarted);
    EXPECT_EQ(m_server.WaitForRequests("errorCode=800704C7", 1).size(), 1u);
    EXPECT_EQ(LastTask(), L"Done!");
}

TEST_F(Engine, InstallScanOutcomes) {
    struct Case {
        const wchar_t* mode;
        bool started;
        const char* error;  // the error event's code, or null
    };
    const Case cases[] = {
        {L"sz", true, nullptr},
        {L"dwordfail", false, "errorCode=80004005&page=app-side-error&action=installScanCompleted"},
        {L"exit-early", false, "errorCode=8007042B&page=waitingOnAppStart&action=installScanInitiated"},
        {L"never", false, "errorCode=80070102&action=installScanInProgress"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(ToUtf8(c.mode));
        // The previous case's application (and its event) must be gone.
        for (int i = 0; i < 200 && IsProcessRunning(L"StandInApp.exe"); ++i) Sleep(50);
        m_server.Reset();
        SetEnvironmentVariableW(L"WRENSTALL_SCAN_RESULT", c.mode);
        DeleteRegistryTree(HKEY_CURRENT_USER, L"SOFTWARE\\Tarnwell Utilities Inc\\Kelvora");
        m_program.m_bFinishReported = false;
        Configure(L"setup-A.msi.bz2", {{L"AppExe", m_standIn}, {L"InstallScanEvent", L"WrenstallTestScanEvent"}},
                  L"installScanTimeout=1");
        Run(false, false);
        EXPECT_EQ(m_program.m_bInstallScanStarted != 0, c.started);
        if (c.error) {
            EXPECT_EQ(m_server.WaitForRequests(c.error, 1).size(), 1u) << c.error;
        }
    }
}
}  // namespace

namespace {
TEST(UrlTemplate, Placeholders) {
    CProgram program;
    program.m_installerData.Parse(L"x=abc\nchannel=Beta");
    program.m_machineId = {0x01234567, 0x89AB, 0xCDEF, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};
    struct Case {
        const wchar_t* text;
        HRESULT hr;
        const wchar_t* expanded;
    };
    const Case cases[] = {
        {L"http://h/p?c={DATA.channel}", S_OK, L"http://h/p?c=Beta"},
        {L"{u:DATA.x}-{l:DATA.channel}-{q:DATA.x}", S_OK, L"ABC-beta-abc"},
        {L"{{literal}", S_OK, L"{literal}"},
        {L"a{DATA.missing}b", S_OK, L"ab"},
        {L"a{DATA.}b{nodot}c{u:.x}d", S_OK, L"abcd"},
        {L"m={ID.MACH}", S_OK, L"m=01234567-89AB-CDEF-0123-456789ABCDEF"},
        {L"os={OS.ARK}", S_OK, L"os=x86"},
        {L"cut {DATA.x", E_INVALIDARG, L"cut "},
    };
    for (const Case& c : cases) {
        std::wstring expanded;
        EXPECT_EQ(ExpandUrlTemplate(c.text, expanded), c.hr) << ToUtf8(c.text);
        EXPECT_EQ(expanded, c.expanded) << ToUtf8(c.text);
    }
}

// A controller whose handler throws what the real steps could: a C++
// allocation failure or any other C++ exception.
class ThrowingInstallation : public CInstallation {
public:
    static const UINT kThrowBadAlloc = WM_USER + 50;
    static const UINT kThrowRuntimeError = WM_USER + 51;
    bool OnThreadMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == kThrowBadAlloc) throw std::bad_alloc();
        if (message == kThrowRuntimeError) throw std::runtime_error("broken step");
        return CInstallation::OnThreadMessage(message, wParam, lParam);
    }
};

TEST_F(Engine, WhateverEscapesAHandlerReachesTheUserAndTheControllerGoesOn) {
    struct Case {
        UINT message;
        HRESULT expected;
    };
    for (const Case& c : {Case{ThrowingInstallation::kThrowBadAlloc, E_OUTOFMEMORY},
                          Case{ThrowingInstallation::kThrowRuntimeError, E_UNEXPECTED}}) {
        SCOPED_TRACE(c.message);
        Configure(L"setup-A.msi.bz2", {}, L"");
        RecordingPage page;
        auto* installation = new ThrowingInstallation;
        m_program.m_pInstallation.reset(installation);
        ASSERT_TRUE(installation->CreateThread());
        installation->m_proxy.SetPage(&page);
        installation->PostThreadMessage(c.message, 0, 0);
        installation->PostThreadMessage(WM_INSTALL_FINISH, 0, 0);
        ASSERT_TRUE(page.PumpUntilEnded(installation->m_hThread, 60000)) << "the controller did not end";
        std::vector<HRESULT> results;
        for (const PageMessage& m : page.Of(WM_PAGE_RESULT)) results.push_back(m.result);
        EXPECT_EQ(results, (std::vector<HRESULT>{c.expected, S_OK}));
        installation->m_proxy.DetachPage(&page);
        m_program.m_pInstallation.reset();
    }
}

TEST_F(Engine, ABuildWithoutProductCodeEndsTheWaitForInstallerDataWithAnError) {
    RecordingPage mainWindow;
    m_program.m_hMainWindow = mainWindow.GetPageWindow();
    // Its own endpoints, which refuse: the wait must end without a server's answer.
    std::wstring image = std::wstring(L"Payload") + L'\0' + L"CMsiExecutor|" + m_server.Url(L"/setup-A.msi.bz2") + L'\0' +
                         L"TrackingEndpoint" + L'\0' + RefusingEndpoint() + L'\0' + L"RpcEndpoint" + L'\0' +
                         RefusingEndpoint() + L'\0';
    m_program.m_buildConfig.ParseResource(image.data(), image.size() * sizeof(wchar_t));
    ScopedHandle thread;
    CInstallation* installation = StartController(thread);
    ASSERT_NE(installation, nullptr);
    installation->PostThreadMessage(WM_INSTALL_FETCH_DATA, 0, 0);
    installation->PostThreadMessage(WM_INSTALL_FINISH, 0, 0);
    // Before, the controller died here and the wizard waited for ever.
    ASSERT_TRUE(mainWindow.PumpUntilEnded(thread.Get(), 60000)) << "the controller did not end";
    std::vector<HRESULT> results;
    for (const PageMessage& m : mainWindow.Of(WM_MAIN_RESULT)) results.push_back(m.result);
    EXPECT_EQ(results, (std::vector<HRESULT>{static_cast<HRESULT>(0xA0010001), S_OK}));
    m_program.m_pInstallation.reset();
    m_program.m_hMainWindow = nullptr;
}

TEST_F(Engine, APageThatGoesAwayDuringTheInstallerRunIsNeverTouchedAgain) {
    Configure(L"setup-A.msi.bz2", {}, L"");
    ScopedHandle thread;
    CInstallation* installation = StartController(thread);
    ASSERT_NE(installation, nullptr);
    // The page lives in storage that is poisoned once it is gone, so any
    // later call through a stale pointer crashes the test.
    alignas(RecordingPage) static unsigned char storage[sizeof(RecordingPage)];
    auto* page = new (storage) RecordingPage;
    installation->m_proxy.SetPage(page);
    installation->PostThreadMessage(WM_INSTALL_DOWNLOAD_PAYLOAD, 0, 0);
    installation->PostThreadMessage(WM_INSTALL_BEGIN, 0, 0);
    // The installer service reports its own step texts once the package runs.
    bool running = false;
    for (int i = 0; i < 6000 && !running; ++i) {
        for (const PageMessage& m : page->Of(WM_PAGE_STEP_PROGRESS)) {
            running |= m.hasText && !m.text.empty() && m.text != L"Installing Kelvora...";
        }
        if (!running) Sleep(10);
    }
    ASSERT_TRUE(running) << "the installer run never reported";
    installation->m_proxy.DetachPage(page);
    page->~RecordingPage();
    memset(storage, 0xCC, sizeof(storage));

    ASSERT_EQ(WaitForSingleObject(thread.Get(), 120000), WAIT_OBJECT_0) << "the controller did not end";
    EXPECT_NE(GetFileAttributesW(InstalledApp().c_str()), INVALID_FILE_ATTRIBUTES);
    m_program.m_pInstallation.reset();
}

TEST_F(Engine, EndingTheWizardWhileTheControllerDownloads) {
    m_server.PutFile(L"slow-A.msi.bz2", PatternBytes(8 * 1024 * 1024, 7));
    m_server.Fault("/slow-A.msi.bz2", "[{\"trickle_ms\": 20}]");
    Configure(L"slow-A.msi.bz2", {}, L"");
    ScopedHandle thread;
    CInstallation* installation = StartController(thread);
    ASSERT_NE(installation, nullptr);
    installation->m_proxy.SetPage(&m_page);
    installation->PostThreadMessage(WM_INSTALL_DOWNLOAD_PAYLOAD, 0, 0);
    for (int i = 0; i < 1000 && m_page.Of(WM_PAGE_STEP_PROGRESS).empty(); ++i) Sleep(10);
    // The user closes the wizard: the page goes, the controller is cancelled and ended in order.
    installation->Cancel();
    installation->m_proxy.DetachPage(&m_page);
    EXPECT_TRUE(m_program.EndInstallation(60000));
    EXPECT_EQ(m_program.m_pInstallation, nullptr);
    EXPECT_EQ(WaitForSingleObject(thread.Get(), 0), WAIT_OBJECT_0);
}
}  // namespace
