// Start-up of the real wizard, run as a separate process in the test's Wine
// prefix: registry identifiers, build number, brand extender and the
// single-instance guard.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestServer.h"
#include "TestSupport.h"
#include "framework/ScopedHandles.h"

namespace {
const wchar_t kMakerKey[] = L"SOFTWARE\\Tarnwell Utilities Inc";
const wchar_t kProductKey[] = L"SOFTWARE\\Tarnwell Utilities Inc\\Kelvora";
const wchar_t kMutexName[] = L"{042B0D65-EF5B-4E3F-ADFF-86C726E4F053}";

using ConfigPairs = std::vector<std::pair<std::wstring, std::wstring>>;

struct RegistryValue {
    DWORD type = REG_NONE;
    std::string bytes;
    bool exists = false;
};

RegistryValue ReadValue(const wchar_t* keyPath, const wchar_t* name) {
    RegistryValue value;
    ScopedRegKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_READ, key.Receive()) != ERROR_SUCCESS) return value;
    char data[256];
    DWORD size = sizeof(data);
    if (RegQueryValueExW(key.Get(), name, nullptr, &value.type, reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS) {
        return value;
    }
    value.exists = true;
    value.bytes.assign(data, size);
    return value;
}

void WriteValue(const wchar_t* keyPath, const wchar_t* name, DWORD type, const std::string& bytes) {
    ScopedRegKey key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Receive(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key.Get(), name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                             static_cast<DWORD>(bytes.size())),
              ERROR_SUCCESS);
}

struct WizardWindows {
    DWORD processId;
    HWND box;
    HWND frame;
};

BOOL CALLBACK MatchWizardWindow(HWND window, LPARAM param) {
    auto* found = reinterpret_cast<WizardWindows*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != found->processId || !IsWindowVisible(window)) return TRUE;
    wchar_t className[32] = {};
    GetClassNameW(window, className, 32);
    if (std::wstring(className) != L"#32770") return TRUE;
    if (GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_APPWINDOW) {
        found->frame = window;
    } else if (GetDlgItem(window, 0xFFFF)) {
        found->box = window;  // the program's message box
    }
    return TRUE;
}

void CloseWizardWindows(DWORD processId) {
    WizardWindows found = {processId, nullptr, nullptr};
    EnumWindows(MatchWizardWindow, reinterpret_cast<LPARAM>(&found));
    if (found.box) {
        int answer = GetDlgItem(found.box, IDYES) ? IDYES : IDOK;
        PostMessageW(found.box, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(found.box, answer)));
    } else if (found.frame) {
        PostMessageW(found.frame, WM_SYSCOMMAND, SC_CLOSE, 0);
    }
}

class Startup : public testing::Test {
protected:
    void SetUp() override {
        m_wizard = WindowsPathFromEnvironment("WRENSTALL_EXE");
        ASSERT_FALSE(m_wizard.empty()) << "WRENSTALL_EXE is not set";
        DeleteRegistryTree(HKEY_LOCAL_MACHINE, kMakerKey);
    }
    void TearDown() override { DeleteRegistryTree(HKEY_LOCAL_MACHINE, kMakerKey); }

    // Runs the wizard to its end: its window runs modally, so boxes are
    // answered (Yes, else OK) and the frame is closed from its title bar
    // until the process ends.
    ProcessResult Run(const std::wstring& program) {
        ChildProcess child(L"\"" + program + L"\"");
        ScopedHandle process(OpenProcess(SYNCHRONIZE, FALSE, child.Id()));
        for (int round = 0; process && round < 300; ++round) {
            if (WaitForSingleObject(process.Get(), 200) == WAIT_OBJECT_0) break;
            CloseWizardWindows(child.Id());
        }
        ProcessResult result;
        EXPECT_TRUE(child.Wait(30000, result)) << "the wizard did not end";
        return result;
    }

    // Copies keep a short page order unless the test gives one: the
    // finished page alone, which the title bar's close box finishes.
    std::wstring CopyWizard(ConfigPairs pairs) {
        bool hasPageOrder = false;
        for (const auto& pair : pairs) hasPageOrder = hasPageOrder || pair.first == L"PageOrder";
        if (!hasPageOrder) pairs.emplace_back(L"PageOrder", L"CFinishedPage");
        // Endpoints of this test's own, never the built-in ones: a server of
        // its own (StartupTracking) or a port it holds that refuses.
        for (const wchar_t* endpoint : {L"TrackingEndpoint", L"RpcEndpoint"}) {
            bool given = false;
            for (const auto& pair : pairs) given = given || pair.first == endpoint;
            if (!given) pairs.emplace_back(endpoint, RefusingEndpoint());
        }
        std::wstring copy = m_folder.File(L"setup-" + std::to_wstring(++m_copies) + L".exe");
        CopyWithBuildConfig(m_wizard, copy, pairs);
        return copy;
    }

    std::wstring m_wizard;
    TemporaryDirectory m_folder;
    int m_copies = 0;
};

TEST_F(Startup, MachineIdIsCreatedOnceAndReused) {
    // The shipped configuration with the short page order (the wizard's window runs modally).
    const std::wstring wizard = CopyWizard({{L"ProductCode", L"TW6"}});
    ProcessResult first = Run(wizard);
    EXPECT_EQ(first.exitCode, 0u) << first.output;
    RegistryValue created = ReadValue(kMakerKey, L"MachineID");
    ASSERT_TRUE(created.exists);
    EXPECT_EQ(created.type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(created.bytes.size(), 16u);
    EXPECT_NE(created.bytes, std::string(16, '\0'));

    Run(wizard);
    EXPECT_EQ(ReadValue(kMakerKey, L"MachineID").bytes, created.bytes);
}

TEST_F(Startup, MalformedMachineIdIsReplaced) {
    struct Case {
        const char* name;
        DWORD type;
        std::string bytes;
    };
    const Case cases[] = {
        {"15 bytes", REG_BINARY, std::string(15, '\x11')},
        {"17 bytes", REG_BINARY, std::string(17, '\x11')},
        {"16 bytes of another type", REG_SZ, std::string(16, '\x11')},
    };
    const std::wstring wizard = CopyWizard({{L"ProductCode", L"TW6"}});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteValue(kMakerKey, L"MachineID", c.type, c.bytes);
        Run(wizard);
        RegistryValue replaced = ReadValue(kMakerKey, L"MachineID");
        EXPECT_EQ(replaced.type, static_cast<DWORD>(REG_BINARY));
        EXPECT_EQ(replaced.bytes.size(), 16u);
        EXPECT_NE(replaced.bytes, std::string(16, '\x11'));
    }
}

TEST_F(Startup, BuildNumberTakesTheLeadingDigits) {
    struct Case {
        const wchar_t* text;
        DWORD expected;
    };
    const Case cases[] = {{L"1234", 1234}, {L"42abc", 42}, {L"abc", 0}, {L"", 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(ToUtf8(c.text));
        std::wstring wizard = CopyWizard({{L"ProductCode", L"TW6"}, {L"BuildNumber", c.text}});
        ProcessResult result = Run(wizard);
        EXPECT_EQ(result.exitCode, 0u) << result.output;
        RegistryValue stored = ReadValue(kProductKey, L"BuildNumber");
        ASSERT_TRUE(stored.exists);
        EXPECT_EQ(stored.type, static_cast<DWORD>(REG_DWORD));
        ASSERT_EQ(stored.bytes.size(), 4u);
        EXPECT_EQ(*reinterpret_cast<const DWORD*>(stored.bytes.data()), c.expected);
    }
}

TEST_F(Startup, NoBuildNumberWritesNone) {
    Run(CopyWizard({{L"ProductCode", L"TW6"}}));
    EXPECT_FALSE(ReadValue(kProductKey, L"BuildNumber").exists);
    EXPECT_TRUE(ReadValue(kMakerKey, L"MachineID").exists);
}

TEST_F(Startup, BrandExtenderIsCreatedByClassName) {
    ProcessResult known = Run(CopyWizard({{L"BrandExtender", L"CDefaultBrandExtender"}}));
    EXPECT_EQ(known.exitCode, 0u) << known.output;
    EXPECT_TRUE(ReadValue(kMakerKey, L"MachineID").exists);

    DeleteRegistryTree(HKEY_LOCAL_MACHINE, kMakerKey);
    for (const wchar_t* name : {L"NoSuchExtender", L"CException", L"cdefaultbrandextender"}) {
        SCOPED_TRACE(ToUtf8(name));
        ProcessResult unknown = Run(CopyWizard({{L"BrandExtender", name}}));
        EXPECT_EQ(unknown.exitCode, 1u) << unknown.output;
        EXPECT_NE(unknown.output.find("Start-up stopped"), std::string::npos) << unknown.output;
        EXPECT_FALSE(ReadValue(kMakerKey, L"MachineID").exists);
    }
}

TEST_F(Startup, LoadsTheDataFileBesideItself) {
    std::wstring wizard = CopyWizard({{L"ProductCode", L"TW6"}, {L"InstallerData", L"x b=2"}});
    WriteBytes(wizard + L".installer_data", "a=1\r\n?secret=hunter2\r\n");
    ProcessResult result = Run(wizard);
    EXPECT_NE(result.output.find("installer data: source file, 3 entries, ready"), std::string::npos) << result.output;
    // The diagnostic lines are the run log's: private values appear masked.
    EXPECT_NE(result.output.find("  a=1\n"), std::string::npos) << result.output;
    EXPECT_NE(result.output.find("  secret=(private, masked)"), std::string::npos) << result.output;
    EXPECT_EQ(result.output.find("hunter2"), std::string::npos) << result.output;

    ProcessResult bare = Run(CopyWizard({{L"ProductCode", L"TW6"}}));
    EXPECT_NE(bare.output.find("installer data: source none, 0 entries, to be fetched from the server"),
              std::string::npos)
        << bare.output;
}

TEST_F(Startup, SecondInstanceIsRefusedWithMessage3019) {
    // The first instance: this test process holds the wizard's mutex.
    ScopedHandle mutex(CreateMutexW(nullptr, FALSE, kMutexName));
    ASSERT_TRUE(mutex);

    ChildProcess second(L"\"" + m_wizard + L"\"");
    HWND box = nullptr;
    for (int i = 0; i < 400 && !box; ++i) {
        Sleep(50);
        box = FindVisibleDialog(second.Id());
    }
    ASSERT_NE(box, nullptr) << "no message box appeared (is a display available?)";
    wchar_t caption[128] = {};
    wchar_t text[512] = {};
    GetWindowTextW(box, caption, 128);
    GetDlgItemTextW(box, 0xFFFF, text, 512);
    EXPECT_STREQ(caption, L"Kelvora");
    EXPECT_STREQ(text,
                 L"A software installation program is already running, wait for it to complete and run the Kelvora "
                 L"setup again.");
    PostMessageW(box, WM_COMMAND, IDOK, 0);

    ProcessResult result;
    EXPECT_TRUE(second.Wait(30000, result));
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_FALSE(ReadValue(kMakerKey, L"MachineID").exists) << "a refused instance must not touch the registry";
}
}  // namespace

namespace {
// Wizard copies whose build configuration names this test's stand-in server
// as their tracking and RPC endpoint.
class StartupTracking : public Startup {
protected:
    void SetUp() override {
        Startup::SetUp();
        ASSERT_TRUE(m_server.Available()) << "run under tests/server/with-server.sh";
        m_server.Reset();
    }
    // A wizard copy with local installer data, so that start-up sends its first event.
    std::wstring ServedWizard(ConfigPairs pairs) {
        pairs.emplace_back(L"TrackingEndpoint", m_server.Url(L""));
        pairs.emplace_back(L"RpcEndpoint", m_server.Url(L""));
        return CopyWizard(pairs);
    }
    std::wstring WizardWithData(const ConfigPairs& pairs) {
        std::wstring wizard = ServedWizard(pairs);
        WriteBytes(wizard + L".installer_data", "@upl=campaign+1\r\n");
        return wizard;
    }
    TestServer m_server;
};

TEST_F(StartupTracking, InstallerInvokedReachesTheEndpoint) {
    ProcessResult result = Run(WizardWithData({{L"ProductCode", L"TW6"}}));
    EXPECT_EQ(result.exitCode, 0u) << result.output;
    auto events = m_server.WaitForRequests("ev=InstallerInvoked", 1);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_NE(events[0].target.find("&upl=campaign%2B1&machineId="), std::string::npos) << events[0].target;
    EXPECT_NE(events[0].target.find("&product=TW6"), std::string::npos);
    EXPECT_TRUE(events[0].target.ends_with("&msBclVersion=NoneInstalled")) << events[0].target;
    EXPECT_EQ(events[0].Header("User-Agent").rfind("Kelvora Installer/2.21.0 (os:windows; ver:", 0), 0u)
        << events[0].Header("User-Agent");
}

TEST_F(StartupTracking, UnifiedLoggingDisableSendsNothing) {
    Run(WizardWithData({{L"ProductCode", L"TW6"}, {L"UnifiedLogging", L"Disable"}}));
    EXPECT_EQ(m_server.WaitForRequests("ev=InstallerInvoked", 1).size(), 1u) << "only \"disable\" itself switches off";
    m_server.Reset();
    Run(WizardWithData({{L"ProductCode", L"TW6"}, {L"UnifiedLogging", L"disable"}}));
    // The wizard has ended: once its connections are handled, all it sent is recorded.
    ASSERT_TRUE(m_server.Settled());
    EXPECT_FALSE(m_server.HasRequest("/ulc.php"));
}

TEST_F(StartupTracking, NoLocalDataSendsNoEventAtStartUp) {
    Run(ServedWizard({{L"ProductCode", L"TW6"}}));
    // Start-up itself sends nothing: the first event follows the server fetch
    // of the installer data, which the wizard's first page asks for.
    std::vector<RecordedRequest> requests = m_server.Requests();
    size_t fetch = requests.size(), invoked = requests.size();
    for (size_t i = requests.size(); i-- > 0;) {
        if (requests[i].target.starts_with("/rpc/")) fetch = i;
        if (requests[i].target.find("ev=InstallerInvoked") != std::string::npos) invoked = i;
    }
    ASSERT_LT(fetch, requests.size()) << "no server fetch";
    EXPECT_TRUE(invoked == requests.size() || invoked > fetch) << "InstallerInvoked came before the server fetch";
}

TEST_F(StartupTracking, MissingProductCodeStopsStartUp) {
    ProcessResult result = Run(WizardWithData({{L"PageOrder", L"CWelcomePage"}}));
    EXPECT_EQ(result.exitCode, 1u) << result.output;
    ASSERT_TRUE(m_server.Settled());
    EXPECT_FALSE(m_server.HasRequest("/ulc.php"));
}
}  // namespace
