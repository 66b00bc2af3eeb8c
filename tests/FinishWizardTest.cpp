// The end of the wizard: results switches, registration URL, a run with the
// stand-in application and browser, and a window that keeps answering while
// the fixed pauses run.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "TestServer.h"
#include "TestSupport.h"
#include "app/Program.h"
#include "framework/MessagePumpingWait.h"
#include "framework/ScopedHandles.h"
#include "app/FinishWizard.h"
#include "framework/Dialog.h"
#include "resources/resource.h"
#include "services/InstallResults.h"
#include "services/ProcessLaunching.h"
#include "services/SystemProbes.h"

namespace {
const wchar_t kProduct[] = L"WrenstallFinishTest";
const GUID kMachineId = {0x01234567, 0x89AB, 0xCDEF, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};
const GUID kInstallationId = {0xFEDCBA98, 0x7654, 0x3210, {0xFE, 0xDC, 0xBA, 0x98, 0x76, 0x54, 0x32, 0x10}};
const UINT kPing = WM_APP + 7;

std::string ReadAll(const std::wstring& path) {
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string WaitForLine(const std::wstring& path) {
    std::string text;
    for (int i = 0; i < 200 && text.find('\n') == std::string::npos; ++i) {
        Sleep(50);
        text = ReadAll(path);
    }
    return text;
}

// text in double quotes.
std::string Quoted(const std::string& text) {
    std::string quoted(1, '"');
    quoted += text;
    quoted += '"';
    return quoted;
}

void SetBuildConfig(CProgram& program, const std::vector<std::pair<std::wstring, std::wstring>>& pairs) {
    const std::wstring image = BuildConfigImage(pairs);
    program.m_buildConfig.ParseResource(image.data(), image.size() * sizeof(wchar_t));
}

TEST(FinishWizard, ResultsArguments) {
    struct Case {
        bool launch;
        bool scanStarted;
        const wchar_t* track;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {true, true, L"GF0086", L" -installresults"},  // the scan ran: no scan switch
        {true, false, L"GF0086", L" -installresultsscan"},
        {true, false, L"GF0085", L" -installresultsscan"},
        {true, false, L"gf0086", L" -installresults"},  // codes compare case-sensitively
        {true, true, L"GF0089", L" -installresultsskipupselldlg"},
        {true, false, L"GF0090", L" -installresultsskipupselldlg"},
        {true, false, L"GF0001", L" -installresults"},
        {true, false, nullptr, L" -installresults"},
        {false, false, L"GF0086", L" -installresults -close"},
        {false, true, L"GF0089", L" -installresults -close"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ChooseResultsArguments(c.launch, c.scanStarted, c.track), c.expected)
            << c.launch << c.scanStarted << (c.track ? ToUtf8(c.track) : "null");
    }
}

TEST(FinishWizard, RegistrationUrl) {
    const GUID zero = {};
    const std::wstring machine = L"01234567-89AB-CDEF-0123-456789ABCDEF";
    const std::wstring installation = L"FEDCBA98-7654-3210-FEDC-BA9876543210";
    struct Case {
        const wchar_t* upl;
        GUID machineId, installationId;
        std::wstring expected;
    };
    const Case cases[] = {
        {nullptr, kMachineId, kInstallationId, L"?machineId=" + machine + L"&installId=" + installation},
        {L"a+b=c d", kMachineId, kInstallationId,
         L"?upl=a%2Bb%3Dc%20d&machineId=" + machine + L"&installId=" + installation},
        {nullptr, zero, kInstallationId, L"?installId=" + installation},
        {L"x", zero, zero, L"?upl=x"},
        {nullptr, zero, zero, L""},
        {L"", kMachineId, zero, L"?upl=&machineId=" + machine},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(BuildRegistrationUrl(L"http://127.0.0.1/register", c.upl, c.machineId, c.installationId),
                  L"http://127.0.0.1/register" + c.expected);
    }
}

TEST(MessagePumpingWait, QuitEndsTheWaitAndStaysForTheOuterLoop) {
    PostQuitMessage(7);
    WaitPumpingMessages(60000);  // returns at once: the quit message ends it
    MSG message;
    ASSERT_TRUE(PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "the quit message was swallowed";
    EXPECT_EQ(message.wParam, 7u);
}

// The wait with a condition ends when the condition holds, here set by
// another thread during the wait; without it, at its time.
volatile LONG g_conditionSet = 0;

DWORD WINAPI SetConditionSoon(LPVOID) {
    Sleep(50);
    InterlockedExchange(&g_conditionSet, 1);
    return 0;
}

TEST(MessagePumpingWait, EndsAsSoonAsItsConditionHolds) {
    EXPECT_TRUE(WaitPumpingMessagesUntil(60000, [] { return true; }));
    EXPECT_FALSE(WaitPumpingMessagesUntil(50, [] { return false; }));
    HANDLE setter = CreateThread(nullptr, 0, SetConditionSoon, nullptr, 0, nullptr);
    ASSERT_NE(setter, nullptr);
    EXPECT_TRUE(WaitPumpingMessagesUntil(60000, [] { return InterlockedCompareExchange(&g_conditionSet, 0, 0) == 1; }));
    WaitForSingleObject(setter, INFINITE);
    CloseHandle(setter);
}

// A window of the test's own on this thread, pinged from another thread while
// FinishWizard runs; it counts the pings answered inside FinishWizard.
class PingedWindow {
public:
    PingedWindow() {
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = Procedure;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"WrenstallFinishTestWindow";
        RegisterClassW(&windowClass);
        m_window = CreateWindowExW(0, windowClass.lpszClassName, L"", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                                   GetModuleHandleW(nullptr), nullptr);
        s_self = this;
        m_pinger.Reset(CreateThread(nullptr, 0, Ping, this, 0, nullptr));
    }
    ~PingedWindow() {
        m_stop = true;
        // The pinger may be inside a send to this thread: keep answering until it ends.
        HANDLE thread = m_pinger.Get();
        while (thread && MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0) {
            MSG message;
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        }
        DestroyWindow(m_window);
        s_self = nullptr;
    }

    std::atomic<bool> m_inFinish{false};
    std::atomic<int> m_answeredInFinish{0};
    int m_endCalls = 0;
    INT_PTR m_endResult = -1;

private:
    static DWORD WINAPI Ping(void* context) {
        auto* self = static_cast<PingedWindow*>(context);
        while (!self->m_stop) {
            DWORD_PTR answer = 0;
            SendMessageTimeoutW(self->m_window, kPing, 0, 0, SMTO_NORMAL, 60000, &answer);
            Sleep(20);
        }
        return 0;
    }

    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == kPing && s_self) {
            if (s_self->m_inFinish) {
                ++s_self->m_answeredInFinish;
                // A second finish (say a click dispatched during the pause) does nothing.
                FinishWizard(true, true, [](INT_PTR) { ++s_self->m_endCalls; });
            }
            return 1;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }

    static inline PingedWindow* s_self = nullptr;
    HWND m_window = nullptr;
    std::atomic<bool> m_stop{false};
    ScopedHandle m_pinger;
};

void RunFinish(PingedWindow& window, bool launch, bool finishButton) {
    window.m_inFinish = true;
    FinishWizard(launch, finishButton, [&window](INT_PTR result) {
        ++window.m_endCalls;
        window.m_endResult = result;
    });
    window.m_inFinish = false;
}

// Each run starts the stand-in application (recording its switches through
// WRENSTALL_RECORD_FILE) and may open the registration page in a stand-in
// browser placed where the preferred "chrome" is looked for.
TEST(FinishWizard, RunsWithTheStandInApplicationAndBrowser) {
    TemporaryDirectory folder;
    const std::wstring record = folder.File(L"switches.txt");
    const std::wstring standIn = WindowsPathFromEnvironment("WRENSTALL_STANDIN_EXE");
    const std::wstring chrome = ExpandEnvironment(L"%LOCALAPPDATA%\\Google\\Chrome\\Application\\chrome.exe");
    std::filesystem::create_directories(std::filesystem::path(chrome).parent_path());
    ASSERT_TRUE(CopyFileW(WindowsPathFromEnvironment("WRENSTALL_BROWSER_EXE").c_str(), chrome.c_str(), FALSE));
    const std::wstring productKey = std::wstring(kMakerKeyPath) + L"\\" + kProduct;
    {
        ScopedRegKey key;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, (productKey + L"\\InstallerData").c_str(), 0, nullptr, 0,
                                  KEY_WRITE, nullptr, key.Receive(), nullptr),
                  ERROR_SUCCESS);
        RegSetValueExW(key.Get(), L"browser", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"chrome"), 7 * sizeof(wchar_t));
    }

    const std::pair<std::wstring, std::wstring> scanEvent = {L"InstallScanEvent", L"WrenstallFinishTestScan"};
    const std::pair<std::wstring, std::wstring> scanUrl = {L"InstallScanResultUrl", L"http://127.0.0.1/scan"};
    const std::pair<std::wstring, std::wstring> pageUrl = {L"RegistrationPageUrl", L"http://127.0.0.1/register"};
    const std::wstring data = L"LaunchRegistrationPageOnFinish=true\r\nupl=camp+1\r\n";
    const std::string app = Quoted(ToUtf8(standIn));
    const std::string url = "http://127.0.0.1/register?upl=camp%2B1&machineId=01234567-89AB-CDEF-0123-456789ABCDEF"
                            "&installId=FEDCBA98-7654-3210-FEDC-BA9876543210";
    struct Run {
        std::vector<std::pair<std::wstring, std::wstring>> config;
        std::wstring installerData;
        bool aborted;
        bool launch;
        INT_PTR endResult;
        std::string appLine;      // empty: the application is not started
        std::string browserLine;  // empty: the browser is not started
    };
    const Run runs[] = {
        // The scan is configured but failed: results with a scan; no registration page.
        {{scanEvent, scanUrl, pageUrl, {L"LaunchAs", L"AsInvoker"}}, L"track=GF0086\r\n" + data, false, true, IDOK,
         app + " -installresultsscan", ""},
        {{scanEvent, scanUrl}, L"track=GF0089\r\n", false, false, IDOK, app + " -installresults -close", ""},
        // No scan: the application is simply started, then the registration page opens.
        {{pageUrl}, data, false, true, IDOK, app, Quoted(ToUtf8(chrome)) + " " + Quoted(url)},
        {{pageUrl}, data, true, true, IDCANCEL, "", ""},
    };
    for (const Run& run : runs) {
        SCOPED_TRACE(run.appLine + " | " + run.browserLine);
        CProgram program;
        program.m_strAppName = kProduct;
        std::vector<std::pair<std::wstring, std::wstring>> config = run.config;
        config.push_back({L"AppExe", standIn});
        SetBuildConfig(program, config);
        program.m_installerData.Parse(run.installerData.c_str());
        program.m_machineId = kMachineId;
        program.m_installationId = kInstallationId;
        if (run.aborted) program.m_runState.Cancel();
        DeleteFileW((chrome + L".record").c_str());
        DeleteFileW(record.c_str());
        SetEnvironmentVariableW(L"WRENSTALL_RECORD_FILE", record.c_str());
        {
            PingedWindow window;
            RunFinish(window, run.launch, true);
            EXPECT_EQ(window.m_endCalls, 1);
            EXPECT_EQ(window.m_endResult, run.endResult);
            // The pause before the registration page keeps the window answering; the
            // one after the close ends at once here (no event on its way, no
            // payload windows to release).
            if (!run.browserLine.empty()) {
                EXPECT_GT(window.m_answeredInFinish, 0) << "the window did not answer during the pause";
            }
        }
        SetEnvironmentVariableW(L"WRENSTALL_RECORD_FILE", nullptr);
        if (!run.appLine.empty()) {
            EXPECT_EQ(WaitForLine(record), run.appLine + "\n");
        }
        if (!run.browserLine.empty()) {
            std::string browser = WaitForLine(chrome + L".record");
            EXPECT_NE(browser.find("\t" + run.browserLine + "\n"), std::string::npos) << browser;
        }
        if (run.appLine.empty() || run.browserLine.empty()) {
            // Whatever was started has recorded its start once it has ended.
            EXPECT_TRUE(WaitUntilNotRunning({L"StandInApp.exe", L"chrome.exe"}, 30000));
            if (run.appLine.empty()) {
                EXPECT_EQ(ReadAll(record), "");
            }
            if (run.browserLine.empty()) {
                EXPECT_EQ(ReadAll(chrome + L".record"), "");
            }
        }
    }
    DeleteRegistryTree(HKEY_LOCAL_MACHINE, productKey);
    for (int i = 0; i < 50 && !DeleteFileW(chrome.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND; ++i) Sleep(100);
    DeleteFileW((chrome + L".record").c_str());
}
// The progress page ends the wizard without a callback of its own (hidden in
// the notification area, or "SkipFinishedPage"): the main window's own modal
// run must end, also while the window is hidden.
class HiddenFinishingWindow : public CDialog {
public:
    HiddenFinishingWindow() : CDialog(IDD_EMPTY_BOX) {}
    static const INT_PTR kNotEnded = 4242;

protected:
    BOOL OnInitDialog() override {
        PostMessageW(m_hWnd, kFinishNow, 0, 0);
        SetTimer(m_hWnd, 1, 20000, nullptr);
        return TRUE;
    }
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
        if (message == kFinishNow) {
            ShowWindow(m_hWnd, SW_HIDE);
            GetProgram().m_hMainWindow = m_hWnd;
            FinishWizard(false, false);
            return true;
        }
        if (message == WM_TIMER) {
            EndDialog(kNotEnded);
            return true;
        }
        return CDialog::OnMessage(message, wParam, lParam, result);
    }

private:
    static const UINT kFinishNow = WM_APP + 8;
};

TEST(FinishWizard, EndsTheHiddenMainWindowWithoutACallback) {
    for (bool aborted : {false, true}) {
        CProgram program;
        program.m_strAppName = kProduct;
        if (aborted) program.m_runState.Cancel();
        HiddenFinishingWindow window;
        EXPECT_EQ(window.DoModal(nullptr), aborted ? IDCANCEL : IDOK) << "aborted: " << aborted;
        program.m_hMainWindow = nullptr;
    }
}

// The tracking events of the end of the wizard, as the stand-in server receives them.
TEST(FinishWizardTracking, ResultAndLastEvents) {
    TestServer server;
    ASSERT_TRUE(server.Available()) << "run under tests/server/with-server.sh";
    const std::wstring standIn = WindowsPathFromEnvironment("WRENSTALL_STANDIN_EXE");
    const std::wstring endpoint = L"http://127.0.0.1:" + std::to_wstring(server.Port());
    TemporaryDirectory folder;
    struct Run {
        std::wstring appExe;
        bool aborted;
        bool launch;
        std::string expected;  // in the one result or error event
        bool finishedButtonEvent;
    };
    const Run runs[] = {
        // The application still runs after the launch: the result names how it was asked to end.
        {standIn, false, false, "description=InstallerScan-WS&result=installApplicationClose", true},
        {standIn, false, true, "description=InstallerScan-WS&result=installResultsInitiated", true},
        {folder.File(L"missing.exe"), false, true, "errorCode=80070002&action=installResultsInitiated", true},
        {standIn, true, true, "description=InstallerCancelled&result=userCancelled", false},
    };
    SetEnvironmentVariableW(L"WRENSTALL_STANDIN_LINGER_MS", L"5000");
    for (const Run& run : runs) {
        SCOPED_TRACE(run.expected);
        server.Reset();
        EventTracker tracker(L"u", kInstallationId, kMachineId, L"TW6", endpoint);  // outlives the program
        CProgram program;
        program.m_strAppName = kProduct;
        SetBuildConfig(program, {{L"AppExe", run.appExe},
                                 {L"InstallScanEvent", L"WrenstallFinishTestScan"},
                                 {L"InstallScanResultUrl", L"http://127.0.0.1/scan"}});
        program.m_installerData.Parse(L"track=GF0001\r\n");
        if (run.aborted) program.m_runState.Cancel();
        program.m_pTracker = &tracker;
        FinishWizard(run.launch, true);
        EXPECT_EQ(server.WaitForRequests(run.expected, 1).size(), 1u);
        // Every send handed to a worker has been answered (and so recorded).
        ASSERT_TRUE(EventTracker::WaitForPendingSends(10000));
        EXPECT_EQ(server.HasRequest("ev=InstallerFinishedButton"), run.finishedButtonEvent);
    }
    SetEnvironmentVariableW(L"WRENSTALL_STANDIN_LINGER_MS", nullptr);
    for (int i = 0; i < 200 && IsProcessRunning(L"StandInApp.exe"); ++i) Sleep(50);
}
}  // namespace
