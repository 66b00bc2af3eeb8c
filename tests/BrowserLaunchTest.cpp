// The preferred browser, the browser's command line and the un-elevated
// launch, with a stand-in browser that records its command line and token
// elevation, and registry values and files the tests create in their prefix.
#include <gtest/gtest.h>

#include <shlobj.h>
#include <shlwapi.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "TestSupport.h"
#include "app/Program.h"
#include "framework/PlatformSessions.h"
#include "framework/ScopedHandles.h"
#include "services/BrowserLaunch.h"
#include "services/DesktopUserLaunch.h"
#include "services/SystemProbes.h"

namespace {
const wchar_t kProduct[] = L"WrenstallBrowserTest";

std::wstring StandInBrowser() { return WindowsPathFromEnvironment("WRENSTALL_BROWSER_EXE"); }

std::string ReadAll(const std::wstring& path) {
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// One record line of the stand-in browser: elevation, elevation type, command line.
struct BrowserStart {
    std::string elevation, type, commandLine;
};

// A copy of the stand-in browser at a path of the test's choice, removed with its record.
class PlacedBrowser {
public:
    explicit PlacedBrowser(const std::wstring& path) : m_path(path) {
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        EXPECT_TRUE(CopyFileW(StandInBrowser().c_str(), path.c_str(), FALSE)) << ToUtf8(path);
    }
    ~PlacedBrowser() {
        for (int i = 0; i < 50 && !DeleteFileW(m_path.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND; ++i) Sleep(100);
        DeleteFileW(Record().c_str());
    }
    PlacedBrowser(const PlacedBrowser&) = delete;
    PlacedBrowser& operator=(const PlacedBrowser&) = delete;

    const std::wstring& Path() const { return m_path; }
    std::wstring Record() const { return m_path + L".record"; }
    // The first start, waiting for the stand-in to write it.
    BrowserStart WaitForStart() const {
        std::string text;
        for (int i = 0; i < 200 && text.find('\n') == std::string::npos; ++i) {
            Sleep(50);
            text = ReadAll(Record());
        }
        BrowserStart start;
        size_t first = text.find('\t'), second = text.find('\t', first + 1), end = text.find('\n');
        if (first == std::string::npos || second == std::string::npos || end == std::string::npos) return start;
        start.elevation = text.substr(0, first);
        start.type = text.substr(first + 1, second - first - 1);
        start.commandLine = text.substr(second + 1, end - second - 1);
        return start;
    }

private:
    std::wstring m_path;
};

// The installed product's "browser" value, under a product name of the tests' own.
class PreferredBrowserValue {
public:
    PreferredBrowserValue() { m_program.m_strAppName = kProduct; }
    ~PreferredBrowserValue() { DeleteRegistryTree(HKEY_LOCAL_MACHINE, KeyPath()); }
    void Set(const std::wstring& value) const {
        ScopedRegKey key;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, (KeyPath() + L"\\InstallerData").c_str(), 0, nullptr, 0,
                                  KEY_WRITE, nullptr, key.Receive(), nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExW(key.Get(), L"browser", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                 static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))),
                  ERROR_SUCCESS);
    }
    void Remove() const { DeleteRegistryTree(HKEY_LOCAL_MACHINE, KeyPath()); }

private:
    static std::wstring KeyPath() { return std::wstring(kMakerKeyPath) + L"\\" + kProduct; }
    CProgram m_program;
};

// Replaces the machine's handler of a URL scheme (Software\Classes\SCHEME)
// for the test's lifetime: command empty removes the association.
class SchemeHandler {
public:
    SchemeHandler(const std::wstring& scheme, const std::wstring& command) : m_scheme(scheme) {
        DeleteRegistryTree(HKEY_CURRENT_USER, Backup());
        ScopedRegKey backup;
        RegCreateKeyExW(HKEY_CURRENT_USER, Backup().c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, backup.Receive(),
                        nullptr);
        m_saved = RegCopyTreeW(HKEY_LOCAL_MACHINE, Classes().c_str(), backup.Get()) == ERROR_SUCCESS;
        DeleteRegistryTree(HKEY_LOCAL_MACHINE, Classes());
        if (command.empty()) return;
        ScopedRegKey key;
        EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, (Classes() + L"\\shell\\open\\command").c_str(), 0, nullptr, 0,
                                  KEY_WRITE, nullptr, key.Receive(), nullptr),
                  ERROR_SUCCESS);
        RegSetValueExW(key.Get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                       static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
        ScopedRegKey root;
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, Classes().c_str(), 0, KEY_WRITE, root.Receive());
        RegSetValueExW(root.Get(), L"URL Protocol", 0, REG_SZ, reinterpret_cast<const BYTE*>(L""), sizeof(wchar_t));
    }
    ~SchemeHandler() {
        DeleteRegistryTree(HKEY_LOCAL_MACHINE, Classes());
        if (m_saved) {
            ScopedRegKey restored;
            RegCreateKeyExW(HKEY_LOCAL_MACHINE, Classes().c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            restored.Receive(), nullptr);
            RegCopyTreeW(HKEY_CURRENT_USER, Backup().c_str(), restored.Get());
        }
        DeleteRegistryTree(HKEY_CURRENT_USER, Backup());
    }
    SchemeHandler(const SchemeHandler&) = delete;
    SchemeHandler& operator=(const SchemeHandler&) = delete;

private:
    std::wstring Classes() const { return L"Software\\Classes\\" + m_scheme; }
    std::wstring Backup() const { return L"Software\\WrenstallTestBackup\\" + m_scheme; }
    std::wstring m_scheme;
    bool m_saved = false;
};

// COM on the calling thread, as the wizard's main thread has it, so that the
// desktop-shell route is really tried.
class ComApartment {
public:
    ComApartment() { m_apartment.Initialize(); }

private:
    ScopedComApartment m_apartment;
};

// A stand-in browser in a folder of its own, registered as the handler of scheme.
class SchemeBrowser {
public:
    explicit SchemeBrowser(const std::wstring& scheme)
        : m_browser(m_folder.File(scheme + L".exe")), m_handler(scheme, L"\"" + m_browser.Path() + L"\" \"%1\"") {}
    const PlacedBrowser& Browser() const { return m_browser; }

private:
    TemporaryDirectory m_folder;
    PlacedBrowser m_browser;
    SchemeHandler m_handler;
};

std::wstring SystemFolder() {
    wchar_t folder[MAX_PATH];
    UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    return std::wstring(folder, length);
}

std::string OwnElevation() {
    ScopedHandle token;
    TOKEN_ELEVATION elevation = {};
    DWORD size = 0;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Receive()) ||
        !GetTokenInformation(token.Get(), TokenElevation, &elevation, sizeof(elevation), &size)) {
        return "unknown";
    }
    return elevation.TokenIsElevated ? "elevated" : "not-elevated";
}

TEST(BrowserLaunch, CommandLines) {
    struct Case {
        const wchar_t* browser;
        bool fromDefaultHandler;
        const wchar_t* expected;
    };
    const wchar_t* url = L"http://127.0.0.1/reg?a=1&b=2";
    const Case cases[] = {
        {L"C:\\B\\chrome.exe", false, L"\"C:\\B\\chrome.exe\" \"http://127.0.0.1/reg?a=1&b=2\""},
        {L"C:\\B\\chrome.exe", true, L"\"C:\\B\\chrome.exe\" \"http://127.0.0.1/reg?a=1&b=2\""},
        {L"\"C:\\W\\cmd.exe\" /C start microsoft-edge:", false,
         L"\"C:\\W\\cmd.exe\" /C start microsoft-edge:\"http://127.0.0.1/reg?a=1&b=2\""},
        {L"\"C:\\W\\cmd.exe\" /C start Microsoft-EDGE:", false,
         L"\"C:\\W\\cmd.exe\" /C start Microsoft-EDGE:\"http://127.0.0.1/reg?a=1&b=2\""},
        // the http handler's executable is always quoted, whatever its name says
        {L"C:\\x\\microsoft-edge.exe", true, L"\"C:\\x\\microsoft-edge.exe\" \"http://127.0.0.1/reg?a=1&b=2\""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(BuildBrowserCommandLine(c.browser, url, c.fromDefaultHandler), c.expected) << ToUtf8(c.browser);
    }
}

TEST(BrowserLaunch, SplitCommandLine) {
    struct Case {
        const wchar_t* line;
        const wchar_t* program;
        const wchar_t* arguments;
    };
    const Case cases[] = {
        {L"\"C:\\a b\\c.exe\" \"u\"", L"C:\\a b\\c.exe", L"\"u\""},
        {L"C:\\c.exe  /C start x:\"u\"", L"C:\\c.exe", L"/C start x:\"u\""},
        {L"\"C:\\c.exe\"", L"C:\\c.exe", L""},
        {L"\"C:\\unterminated", L"C:\\unterminated", L""},
        {L"", L"", L""},
    };
    for (const Case& c : cases) {
        std::wstring program, arguments;
        SplitCommandLine(c.line, program, arguments);
        EXPECT_EQ(program, c.program) << ToUtf8(c.line);
        EXPECT_EQ(arguments, c.arguments) << ToUtf8(c.line);
    }
}

TEST(BrowserLaunch, PreferredBrowserFromTheRecordedValue) {
    PreferredBrowserValue value;
    EXPECT_EQ(FindPreferredBrowser(kProduct), L"") << "no key";

    const std::wstring localChrome = ExpandEnvironment(L"%LOCALAPPDATA%\\Google\\Chrome\\Application\\chrome.exe");
    const std::wstring firefox = ExpandEnvironment(L"%ProgramFiles%\\Mozilla Firefox\\firefox.exe");
    const std::wstring internetExplorer = ExpandEnvironment(L"%ProgramFiles%\\Internet Explorer\\iexplore.exe");
    TemporaryDirectory folder;
    const std::wstring opera = folder.File(L"opera.exe");
    WriteBytes(opera, "opera");
    ScopedRegKey appPath;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\opera.exe",
                              0, nullptr, 0, KEY_WRITE, nullptr, appPath.Receive(), nullptr),
              ERROR_SUCCESS);
    const std::wstring quoted = L"\"" + opera + L"\"";
    RegSetValueExW(appPath.Get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(quoted.c_str()),
                   static_cast<DWORD>((quoted.size() + 1) * sizeof(wchar_t)));
    {
        PlacedBrowser chrome(localChrome);
        struct Case {
            const wchar_t* value;
            std::wstring expected;
        };
        const Case cases[] = {
            {L"chrome", localChrome},  // not under the program folder: the second candidate
            {L"Chrome", L""},          // names compare case-sensitively
            {L"ff", L""},              // no Firefox
            {L"ie", PathFileExistsW(internetExplorer.c_str()) ? internetExplorer : L""},  // Wine ships one
            {L"opera", opera},  // App Paths value without its quotes
            {L"edge", L"\"" + SystemFolder() + L"\\cmd.exe\" /C start microsoft-edge:"},
            {L"", L""},
            {L"safari", L""},
        };
        for (const Case& c : cases) {
            value.Set(c.value);
            EXPECT_EQ(FindPreferredBrowser(kProduct), c.expected) << ToUtf8(c.value);
        }
        PlacedBrowser placedFirefox(firefox);
        value.Set(L"ff");
        EXPECT_EQ(FindPreferredBrowser(kProduct), firefox);
    }
    RegDeleteValueW(appPath.Get(), nullptr);
    value.Set(L"opera");
    EXPECT_EQ(FindPreferredBrowser(kProduct), L"") << "no App Paths value and no Opera launcher";
    appPath.Reset();
    DeleteRegistryTree(HKEY_CURRENT_USER, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\opera.exe");
}

TEST(BrowserLaunch, ChromeUnderLocalApplicationDataOpensTheUrl) {
    ComApartment com;
    PreferredBrowserValue value;
    value.Set(L"chrome");
    PlacedBrowser chrome(ExpandEnvironment(L"%LOCALAPPDATA%\\Google\\Chrome\\Application\\chrome.exe"));
    const std::wstring url = L"http://127.0.0.1/register?upl=a%2Bb&machineId=X";
    ASSERT_EQ(OpenUrlInBrowser(kProduct, url), S_OK);
    BrowserStart start = chrome.WaitForStart();
    EXPECT_EQ(start.commandLine, ToUtf8(L"\"" + chrome.Path() + L"\" \"" + url + L"\""));
    // Without a desktop shell (Wine registers none) the launch falls back to
    // a start as this process, with this process's elevation.
    EXPECT_EQ(start.elevation, OwnElevation());
}

TEST(BrowserLaunch, UnknownValueUsesTheDefaultHttpHandler) {
    ComApartment com;
    PreferredBrowserValue value;
    value.Set(L"Chrome");
    SchemeBrowser http(L"http");
    const PlacedBrowser& handler = http.Browser();
    EXPECT_EQ(FindDefaultHttpHandler(), handler.Path());
    const std::wstring url = L"http://127.0.0.1/page";
    ASSERT_EQ(OpenUrlInBrowser(kProduct, url), S_OK);
    EXPECT_EQ(handler.WaitForStart().commandLine, ToUtf8(L"\"" + handler.Path() + L"\" \"" + url + L"\""));
}

TEST(BrowserLaunch, EdgeRunsTheSystemCommandInterpreter) {
    ComApartment com;
    PreferredBrowserValue value;
    value.Set(L"edge");
    SchemeBrowser edge(L"microsoft-edge");
    const std::wstring url = L"http://127.0.0.1/edge";
    ASSERT_EQ(OpenUrlInBrowser(kProduct, url), S_OK);
    // cmd.exe's "start" hands "microsoft-edge:URL" to the scheme's handler.
    BrowserStart start = edge.Browser().WaitForStart();
    EXPECT_NE(start.commandLine.find("microsoft-edge:http://127.0.0.1/edge"), std::string::npos) << start.commandLine;
}

TEST(BrowserLaunch, WithoutAnyBrowserTheUrlGoesToTheShell) {
    ComApartment com;
    PreferredBrowserValue value;
    SchemeHandler http(L"http", L"");
    EXPECT_EQ(FindDefaultHttpHandler(), L"");
    SchemeBrowser scheme(L"wrenstall-test");
    ASSERT_EQ(OpenUrlInBrowser(kProduct, L"wrenstall-test://page?x=1"), S_OK);
    EXPECT_NE(scheme.Browser().WaitForStart().commandLine.find("wrenstall-test://page?x=1"), std::string::npos);

    EXPECT_EQ(OpenUrlInBrowser(kProduct, L""), E_INVALIDARG);
    EXPECT_EQ(OpenUrlInBrowser(kProduct, L"http://127.0.0.1/\" --new-arg"), E_INVALIDARG);
}

TEST(DesktopUserLaunch, RoutesAndTheirElevation) {
    ComApartment com;
    TemporaryDirectory folder;
    {
        PlacedBrowser browser(folder.File(L"plain.exe"));
        LaunchRoute route = LaunchRoute::None;
        ASSERT_EQ(StartAsDesktopUser(L"\"" + browser.Path() + L"\" \"u1\"", SW_SHOWMAXIMIZED, &route), S_OK);
        // Whether Wine's desktop process offers the shell's window list
        // depends on the prefix; without it the fallback starts the program.
        EXPECT_TRUE(route == LaunchRoute::DesktopShell || route == LaunchRoute::Installer)
            << "route " << static_cast<int>(route);
        BrowserStart start = browser.WaitForStart();
        EXPECT_EQ(start.commandLine, ToUtf8(L"\"" + browser.Path() + L"\" \"u1\""));
        EXPECT_EQ(start.elevation, OwnElevation());
    }

    // With a shell window registered by a helper process, the program gets
    // the helper's token: the desktop's user.
    const std::wstring helper = WindowsPathFromEnvironment("WRENSTALL_SHELL_HELPER_EXE");
    ScopedHandle ready(CreateEventW(nullptr, TRUE, FALSE, L"WrenstallBrowserShellReady"));
    ScopedHandle quit(CreateEventW(nullptr, TRUE, FALSE, L"WrenstallBrowserShellQuit"));
    ChildProcess shell(L"\"" + helper + L"\" WrenstallBrowserShellReady WrenstallBrowserShellQuit");
    ASSERT_EQ(WaitForSingleObject(ready.Get(), 20000), WAIT_OBJECT_0) << "the helper registered no shell window";
    {
        PlacedBrowser browser(folder.File(L"token.exe"));
        LaunchRoute route = LaunchRoute::None;
        EXPECT_EQ(StartAsDesktopUser(L"\"" + browser.Path() + L"\" \"u2\"", SW_SHOWMAXIMIZED, &route), S_OK);
        // The desktop shell comes first when it answers; otherwise the shell's token.
        EXPECT_TRUE(route == LaunchRoute::DesktopShell || route == LaunchRoute::ShellToken)
            << "route " << static_cast<int>(route);
        BrowserStart start = browser.WaitForStart();
        EXPECT_EQ(start.commandLine, ToUtf8(L"\"" + browser.Path() + L"\" \"u2\""));
        std::printf("shell-token route under this platform: %s (%s); this process: %s\n", start.elevation.c_str(),
                    start.type.c_str(), OwnElevation().c_str());
    }
    SetEvent(quit.Get());
    ProcessResult result;
    EXPECT_TRUE(shell.Wait(20000, result));
}
}  // namespace
