#include "app/Program.h"

#include <commctrl.h>

#include <cstdio>
#include <new>

#include "app/AboutDialog.h"
#include "app/DownloadFailureText.h"
#include "app/FinishWizard.h"
#include "app/RegistryIdentifiers.h"
#include "app/UserLanguage.h"
#include "config/ServerEndpoints.h"
#include "engine/Installation.h"
#include "payload/WizardMessages.h"
#include "framework/DiagnosticOutput.h"
#include "framework/ErrorTypes.h"
#include "framework/ExceptionCodes.h"
#include "framework/HandlerExceptions.h"
#include "framework/ProgramExit.h"
#include "framework/Exceptions.h"
#include "framework/GuidText.h"
#include "framework/ModulePath.h"
#include "framework/ResourceStrings.h"
#include "framework/RunLog.h"
#include "framework/ScopedHandles.h"
#include "framework/Win32Error.h"
#include "http/UserAgent.h"
#include "resources/resource.h"
#include "services/SystemProbes.h"
#include "ui/MainWindow.h"
#include "ui/MessageBox.h"

const wchar_t kWizardVersion[] = L"2.21.0";

namespace {
const wchar_t kSingleInstanceMutex[] = L"{042B0D65-EF5B-4E3F-ADFF-86C726E4F053}";
const wchar_t kMakerName[] = L"Tarnwell Utilities Inc";
const DWORD kAllCommonControlClasses = 0xFF;
// How long the end of the run waits for tracking events still being sent.
const DWORD kPendingEventsWaitMs = 3000;
// How long the end of the run waits for the controller to leave its step
// (a cancelled download stops at its next progress report).
const DWORD kControllerEndWaitMs = 10000;

// The registry keys start-up cannot do without. The program runs elevated,
// so a failure here means a broken machine: end at once, without a message.
void WriteHresultDiagnostic(const wchar_t* what, HRESULT hr) {
    wchar_t line[300];
    std::swprintf(line, ARRAYSIZE(line), L"%ls: 0x%08lX\n", what, static_cast<unsigned long>(hr));
    WriteDiagnostic(line);
}

[[noreturn]] void EndForRegistryFailure(const wchar_t* what, const std::wstring& path, LONG error) {
    wchar_t line[600];
    std::swprintf(line, ARRAYSIZE(line), L"Start-up stopped: %ls failed for HKLM\\%ls (0x%08lX)\n", what, path.c_str(),
                  static_cast<unsigned long>(HResultFromWin32(error)));
    WriteDiagnostic(line);
    ExitProcess(1);
}

ScopedRegKey CreateRequiredKey(HKEY parent, const std::wstring& parentPath, const std::wstring& subkey) {
    ScopedRegKey key;
    LONG error = RegCreateKeyExW(parent, subkey.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, key.Receive(),
                                 nullptr);
    std::wstring path = parentPath.empty() ? subkey : parentPath + L"\\" + subkey;
    if (error != ERROR_SUCCESS) EndForRegistryFailure(L"opening", path, error);
    return key;
}
}  // namespace

CProgram::CProgram() {
    HardenDllSearchPath();
    SetWizardApplication(this);
}

CProgram::~CProgram() {
    if (GetWizardApplication() == static_cast<IWizardApplication*>(this)) SetWizardApplication(nullptr);
}

void CProgram::EndWizard(bool launchApplication, bool finishButton) { FinishWizard(launchApplication, finishButton); }

void CProgram::ShowAboutBox(HWND owner) {
    CAboutDialog about;
    about.DoModal(owner);
}

CProgram& GetProgram() { return static_cast<CProgram&>(*GetApplication()); }

BOOL CProgram::InitInstance() {
    ApplyUserLanguage();
    // The framework's name first: every box from here on, also the networking
    // failure's, has the product name as its caption.
    CWinApp::InitInstance();
    OpenRunLog(m_strFrameworkAppName);
    if (!PrepareProcess()) {
        WriteProgramEnd(L"networking did not start");
        return FALSE;
    }

    if (!AcquireSingleInstance(*m_singleInstance.Receive())) {
        WriteProgramEnd(L"another setup is running");
        return FALSE;
    }
    // Before the controller starts: its restart report must find the window.
    if (!CreateReportWindow()) WriteDiagnostic(L"The report window could not be made; reports travel as thread messages\n");

    std::wstring programPath;
    GetModulePath(nullptr, programPath);
    LoadConfiguration(programPath, nullptr);
    if (!CreateBrandExtender()) {
        WriteProgramEnd(L"the brand extender did not start");
        return FALSE;
    }

    SetRegistryKey(kMakerName);
    m_strAppName = m_strFrameworkAppName;
    StartEngine();
    WriteStartupSummary();

    RunWizard();
    // The wizard is over: whatever the controller still does is no longer
    // wanted; it ends in order (WM_INSTALL_FINISH) and deletes what it downloaded.
    if (m_pInstallation && !m_bFinishReported) m_pInstallation->Cancel();
    // A run that completed its installation and was not failed ends finished.
    m_runState.Finish();
    if (EndInstallation(kControllerEndWaitMs)) WriteDiagnostic(L"The installation controller has ended\n");
    ReleaseSingleInstanceWhenIdle();

    // Events already handed to worker threads get a moment to reach the server.
    if (!EventTracker::WaitForPendingSends(kPendingEventsWaitMs)) {
        WriteDiagnostic(L"Tracking events still on their way are given up\n");
    }
    WriteProgramEnd(RunOutcome());
    m_gdiplus.Shutdown();
    return FALSE;
}

CInstallation* CProgram::StartEngine() {
    InstallUserAgent();
    FixRegistryIdentifiers();
    if (m_bInstallerDataReady) StartTracking(false);
    return StartInstallation();
}

void CProgram::WriteProgramEnd(const wchar_t* outcome) const {
    WriteDiagnostic((std::wstring(L"The program ends: ") + outcome + L"\n").c_str());
}

const wchar_t* CProgram::RunOutcome() const {
    if (m_runState.HasFailed()) return L"ended by an error";
    if (m_bFinishReported) return L"installed";
    if (m_runState.IsAborted()) return L"cancelled by the user";
    return L"ended without installing";
}

void CProgram::RunWizard() {
    CMainWindow window;
    m_pMainWindow = &window;
    window.DoModal(nullptr);
    m_pMainWindow = nullptr;
}

LRESULT CProgram::ProcessWndProcException(CException* e, const MSG* message) {
    if (!e) return 0;
    if (EventTracker* tracker = m_pTracker) {
        std::wstring page;
        if (m_pMainWindow && m_pMainWindow->GetPage()) page = m_pMainWindow->GetPage()->GetRuntimeClass()->m_lpszClassName;
        tracker->TrackException(e, page, L"installing");
    }
    if (e->IsKindOf(RUNTIME_CLASS(CMemoryException)) || e->IsKindOf(RUNTIME_CLASS(CWindowsException))) {
        wchar_t text[512] = {};
        if (!e->GetErrorMessage(text, ARRAYSIZE(text))) wcscpy_s(text, L"Out of memory!");
        e->Delete();
        WriteDiagnostic((std::wstring(L"Fatal error: ") + text + L"\n").c_str());
        const std::wstring& caption = m_strAppName.empty() ? m_strFrameworkAppName : m_strAppName;
        MessageBoxW(nullptr, text, caption.c_str(), MB_OK | MB_ICONERROR);
        ExitProgram(1);
    }
    wchar_t text[512] = {};
    if (e->GetErrorMessage(text, ARRAYSIZE(text))) WriteDiagnostic((std::wstring(L"Error: ") + text + L"\n").c_str());
    m_runState.Fail();
    // The run has failed: the controller stops what it is doing and ends in order.
    if (m_pInstallation) {
        m_pInstallation->Cancel();
        m_pInstallation->PostThreadMessage(WM_INSTALL_FINISH, 0, 0);
    }
    // The box first: the finished page closes a box it finds open, and this
    // one must stay until the user has read it.
    ShowErrorBox(e, message);
    e->Delete();
    if (m_pMainWindow && m_pMainWindow->GetSafeHwnd()) {
        if (CException* failed = CatchHandlerException([&] { m_pMainWindow->ShowFinishedPage(); })) failed->Delete();
    }
    return 0;
}

void CProgram::ShowErrorBox(const CException* e, const MSG* message) {
    wchar_t buffer[512] = {};
    std::wstring text;
    HRESULT code = 0;
    const bool coded = KnownExceptionCode(e, code);
    auto appendCode = [&] {
        wchar_t suffix[24];
        std::swprintf(suffix, ARRAYSIZE(suffix), L" (0x%08lX)", static_cast<unsigned long>(code));
        text += suffix;
    };
    if (UINT words = coded ? DownloadFailureMessageId(code) : 0; words && LoadResourceString(words, text)) {
        // A failed download in words a person can act on, the code after them for support.
        appendCode();
    } else if (e->GetErrorMessage(buffer, ARRAYSIZE(buffer))) {
        text = buffer;
    } else {
        // No text of its own (an HTTP status, a package's own code): the
        // generic text with the code, so that the report can be traced.
        LoadResourceString(message && message->message == WM_COMMAND ? IDP_COMMAND_FAILURE : IDP_INTERNAL_FAILURE, text);
        if (coded) appendCode();
    }
    if (CException* failed = CatchHandlerException([&] { MessageBoxThroughApplication(text.c_str(), MB_OK | MB_ICONERROR, 0); })) {
        failed->Delete();
    }
}

InstalledApp CProgram::InstalledApplication() const {
    InstalledApp app;
    if (const wchar_t* appExe = m_buildConfig.Get(L"AppExe")) app.appExe = appExe;
    const wchar_t* launchAs = m_buildConfig.Get(L"LaunchAs");
    app.launchAsInvoker = launchAs && std::wstring(launchAs) == L"AsInvoker";
    return app;
}

CInstallation* CProgram::StartInstallation() {
    CWinThread* thread = BeginThreadOfClass(CRuntimeClass::FromName(L"CInstallation"), THREAD_PRIORITY_NORMAL,
                                            [this](CWinThread& created) {
                                                static_cast<CInstallation&>(created).SetHost(*this);
                                            });
    m_pInstallation.reset(static_cast<CInstallation*>(thread));
    if (!thread) WriteDiagnostic(L"The installation controller could not be started\n");
    return m_pInstallation.get();
}

bool CProgram::EndInstallation(DWORD waitMs) {
    if (!m_pInstallation) return true;
    m_pInstallation->PostThreadMessage(WM_INSTALL_FINISH, 0, 0);
    if (m_pInstallation->WaitForEnd(waitMs)) {
        m_pInstallation.reset();
        return true;
    }
    // Still inside a step that cannot be interrupted: deleting the object
    // would pull it from under the thread, so it goes with the process.
    WriteDiagnostic(L"The installation controller is still busy; it ends with the process\n");
    (void)m_pInstallation.release();
    return false;
}

bool CProgram::PrepareProcess() {
    int socketError = m_winsock.Start();
    if (socketError != 0) {
        wchar_t line[96];
        std::swprintf(line, ARRAYSIZE(line), L"Windows Sockets did not start: error %d\n", socketError);
        WriteDiagnostic(line);
        std::wstring text;
        LoadResourceString(IDS_NETWORKING_FAILED, text);
        MessageBoxThroughApplication(text.c_str(), MB_ICONERROR | MB_OK, 0);
        return false;
    }
    INITCOMMONCONTROLSEX controls = {sizeof(controls), kAllCommonControlClasses};
    if (!InitCommonControlsEx(&controls)) WriteDiagnostic(L"Common controls did not initialise\n");
    HRESULT ole = m_ole.Initialize();
    if (FAILED(ole)) WriteHresultDiagnostic(L"OLE did not initialise", ole);
    int gdiplus = m_gdiplus.Start();
    if (gdiplus != 0) {
        wchar_t line[96];
        std::swprintf(line, ARRAYSIZE(line), L"GDI+ did not start: status %d\n", gdiplus);
        WriteDiagnostic(line);
    }
    if (!LoadLibraryW(L"RICHED20.DLL")) WriteHresultDiagnostic(L"RICHED20.DLL did not load", FailureFromLastError());
    return true;
}

void CProgram::ReleaseSingleInstanceWhenIdle() {
    if (!m_singleInstance) return;
    if (m_pInstallation && !m_pInstallation->WaitForEnd(0)) return;
    m_singleInstance.Reset();
    WriteDiagnostic(L"Another setup may start now\n");
}

bool CProgram::AcquireSingleInstance(HANDLE& mutex) {
    mutex = CreateMutexW(nullptr, FALSE, kSingleInstanceMutex);
    if (!mutex) ThrowResourceException();
    if (GetLastError() != ERROR_ALREADY_EXISTS) return true;
    std::wstring pattern;
    if (!LoadResourceString(IDS_ALREADY_RUNNING, pattern)) ThrowResourceException();
    std::wstring text = FormatMessageText(pattern, {m_strFrameworkAppName.c_str()});
    MessageBoxThroughApplication(text.c_str(), MB_OK, 0);
    return false;
}

void CProgram::LoadConfiguration(const std::wstring& programPath, HMODULE module) {
    // Without the resource the configuration stays empty; the steps that need a key report its absence.
    HRESULT loaded = LoadBuildConfig(m_buildConfig, module);
    if (loaded != S_OK) WriteHresultDiagnostic(L"No build configuration resource", loaded);
    m_bInstallerDataReady = true;
    InitialInstallerData initial = LoadInitialInstallerData(m_installerData, programPath);
    m_installerDataSource = initial.source;
    m_bInstallerDataReady = initial.ready;
    ApplyBuildArguments(m_installerData, m_buildConfig);
}

bool CProgram::CreateBrandExtender() {
    CObject* extender = nullptr;
    if (const wchar_t* className = m_buildConfig.Get(L"BrandExtender")) {
        const CRuntimeClass* runtimeClass = CRuntimeClass::FromName(className);
        if (!runtimeClass) ThrowResourceException();
        extender = runtimeClass->CreateObject();
        if (!extender) ThrowMemoryException();
        if (!extender->IsKindOf(RUNTIME_CLASS(IBrandExtender))) {
            delete extender;
            ThrowResourceException();
        }
    } else {
        extender = new (std::nothrow) CDefaultBrandExtender;
        if (!extender) ThrowMemoryException();
    }
    m_pBrandExtender.reset(static_cast<IBrandExtender*>(extender));
    return SUCCEEDED(m_pBrandExtender->Initialize());
}

void CProgram::InstallUserAgent() {
    std::wstring agent;
    if (FAILED(WinHTTP::BuildUserAgent(m_strAppName.c_str(), kWizardVersion, agent))) agent = L"TARNHTTP/1.1";
    WinHTTP::SetDefaultUserAgent(agent.c_str());
}

void CProgram::StartTracking(bool notifyWindow) {
    const wchar_t* upl = m_installerData.Get(L"upl");
    const wchar_t* logging = m_buildConfig.Get(L"UnifiedLogging");
    if (!(logging && std::wstring(logging) == L"disable")) {
        const wchar_t* product = m_buildConfig.Get(L"ProductCode");
        if (!product) {
            WriteDiagnostic(L"The build configuration has no ProductCode: tracking cannot start\n");
            ThrowResourceException();
        }
        // Created once: other threads may hold the pointer for the rest of the run.
        if (!m_trackerOwner) {
            m_trackerOwner.reset(new (std::nothrow) EventTracker(upl ? upl : L"", m_installationId, m_machineId,
                                                                 product, GetTrackingEndpoint(m_buildConfig)));
            m_pTracker = m_trackerOwner.get();
        }
        if (EventTracker* tracker = m_pTracker) {
            PackedVersion dotNet = GetDotNetVersion();
            TrackingParameters parameters;
            parameters.Set(L"msBclVersion", dotNet ? FormatVersion(dotNet, 3) : L"NoneInstalled");
            tracker->TrackEvent(L"InstallerInvoked", false, &parameters);
        }
    }
    if (notifyWindow) {
        HWND mainWindow = m_hMainWindow;
        if (mainWindow) PostMessageW(mainWindow, WM_MAIN_INSTALLER_DATA_READY, 0, 0);
    }
}

bool CProgram::HandleThreadMessage(const MSG& message) {
    if (message.hwnd != nullptr) return false;
    return OnApplicationReport(message.message, message.wParam, message.lParam);
}

bool CProgram::OnApplicationReport(UINT message, WPARAM, LPARAM) noexcept {
    if (message != WM_APP_REBOOT_REQUIRED) return false;
    try {
        m_runFlags[L"RebootRequired"] = 1;
    } catch (...) {
        CaptureCurrentException()->Delete();
        WriteDiagnostic(L"The restart report could not be recorded (out of memory)\n");
    }
    return true;
}

void CProgram::PrepareControllerThread() { ApplyUserLanguage(); }

void CProgram::OnPayloadInstalled(bool installed) {
    // Past the point of no return whenever the installer completed, also when
    // the user's stop arrived while it ran (the page then shows the success).
    m_bPayloadInstalled = installed && m_runState.PassPointOfNoReturn();
}

void CProgram::ReportInstallerFinished() {
    ULONGLONG version = 0;
    if (m_pInstallation && m_pInstallation->m_pExecutor) m_pInstallation->m_pExecutor->GetPayloadVersion(version);
    ReportInstallerFinished(version);
}

void CProgram::ReportInstallerFinished(ULONGLONG payloadVersion) {
    if (m_bFinishReported || m_runState.IsAborted()) return;
    std::wstring registrationPath = std::wstring(kMakerKeyPath) + L"\\" + m_strAppName + L"\\Registration";
    ScopedRegKey key;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, registrationPath.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                        key.Receive(), nullptr) == ERROR_SUCCESS) {
        GUID stored = {};
        if (!ReadGuidValue(key.Get(), L"InstallationID", stored)) stored = GUID{};
        bool adopted = false;
        if (memcmp(&stored, &m_installationId, sizeof(GUID)) != 0) {
            m_installationId = stored;
            adopted = true;
        } else if (!m_installerData.Get(L"WS_UPDATE") || IsZeroGuid(m_installationId)) {
            GUID fresh;
            if (SUCCEEDED(CoCreateGuid(&fresh)) && WriteGuidValue(key.Get(), L"InstallationID", fresh) == ERROR_SUCCESS) {
                m_installationId = fresh;
                adopted = true;
            }
        }
        EventTracker* tracker = m_pTracker;
        if (adopted && tracker) tracker->SetInstallationId(m_installationId);
    }
    if (EventTracker* tracker = m_pTracker) {
        TrackingParameters parameters;
        parameters.Set(L"productVersion", FormatVersion(payloadVersion, 4));
        tracker->TrackEvent(L"InstallerFinished", true, &parameters);
    }
    m_bFinishReported = true;
}

void CProgram::FixRegistryIdentifiers() {
    ScopedRegKey makerKey = CreateRequiredKey(HKEY_LOCAL_MACHINE, L"", kMakerKeyPath);
    std::wstring registrationName = m_strAppName + L"\\Registration";
    ScopedRegKey registrationKey = CreateRequiredKey(makerKey.Get(), kMakerKeyPath, registrationName);

    if (!ReadGuidValue(makerKey.Get(), L"MachineID", m_machineId)) CoCreateGuid(&m_machineId);
    LONG error = WriteGuidValue(makerKey.Get(), L"MachineID", m_machineId);
    if (error != ERROR_SUCCESS) EndForRegistryFailure(L"writing MachineID", kMakerKeyPath, error);

    if (!ReadGuidValue(registrationKey.Get(), L"InstallationID", m_installationId)) m_installationId = GUID{};

    if (const wchar_t* buildNumberText = m_buildConfig.Get(L"BuildNumber")) {
        ScopedRegKey productKey = CreateRequiredKey(makerKey.Get(), kMakerKeyPath, m_strAppName);
        DWORD buildNumber = ParseBuildNumber(buildNumberText);
        error = RegSetValueExW(productKey.Get(), L"BuildNumber", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&buildNumber),
                               sizeof(buildNumber));
        if (error != ERROR_SUCCESS) {
            EndForRegistryFailure(L"writing BuildNumber", std::wstring(kMakerKeyPath) + L"\\" + m_strAppName, error);
        }
    }
}

void CProgram::WriteStartupSummary() const {
    std::wstring summary = L"Start-up complete for " + m_strAppName + L"\n";
    summary += L"build configuration: " + std::to_wstring(m_buildConfig.Entries().size()) + L" entries\n";
    summary += L"installer data: source " + std::wstring(InstallerDataSourceName(m_installerDataSource)) + L", " +
               std::to_wstring(m_installerData.Entries().size()) + L" entries, " +
               (m_bInstallerDataReady ? L"ready" : L"to be fetched from the server") + L"\n";
    // Private values (keys with "?" or "@") never reach the log in clear.
    for (const auto& [key, value] : m_installerData.Entries()) {
        summary += L"  " + key + L"=" + (value.isPrivate ? std::wstring(L"(private, masked)") : value.text) + L"\n";
    }
    summary += L"machine id: " + FormatGuidText(m_machineId) + L"\n";
    summary += L"installation id: " + FormatGuidText(m_installationId) + L"\n";
    WriteDiagnostic(summary.c_str());
}

int CProgram::DoMessageBox(LPCWSTR text, UINT type, UINT promptId) {
    HWND owner = GetAncestor(GetActiveWindow(), GA_ROOT);
    if (!owner) owner = m_hMainWindow;
    if (owner) EnableWindow(owner, TRUE);
    if ((type & MB_ICONMASK) == 0) {
        switch (type & MB_TYPEMASK) {
            case MB_OK:
            case MB_OKCANCEL: type |= MB_ICONEXCLAMATION; break;
            case MB_YESNOCANCEL:
            case MB_YESNO: type |= MB_ICONQUESTION; break;
            default: break;
        }
    }
    const std::wstring& caption = m_strAppName.empty() ? m_strFrameworkAppName : m_strAppName;
    CMessageBox box(owner, caption, text ? text : L"", L"", type, promptId);
    INT_PTR result = box.Show();
    // Without its template the program's own box cannot be shown: the message still reaches the user.
    if (result == -1) result = MessageBoxW(owner, text, caption.c_str(), type);
    if (owner) EnableWindow(owner, TRUE);
    return static_cast<int>(result);
}

HRESULT ExpandUrlTemplate(const std::wstring& text, std::wstring& output) {
    if (!GetApplication()) return ExpandUrlTemplate(text, PlaceholderContext{}, output);
    return ExpandUrlTemplate(text, static_cast<IInstallationHost&>(GetProgram()), output);
}
