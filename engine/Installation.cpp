#include "engine/Installation.h"

#include <objbase.h>

#include <cstdio>
#include <new>

#include "framework/ExceptionCodes.h"
#include "app/Program.h"
#include "app/UserLanguage.h"
#include "config/InstallerDataServerUpdate.h"
#include "engine/InstallerProperties.h"
#include "config/ServerEndpoints.h"
#include "framework/DiagnosticOutput.h"
#include "framework/Exceptions.h"
#include "framework/ModulePath.h"
#include "framework/ResourceStrings.h"
#include "framework/ScopedHandles.h"
#include "framework/Win32Error.h"
#include "payload/PayloadVersionCheck.h"
#include "services/PackedVersion.h"
#include "services/TrackingParameters.h"
#include "engine/ByteFormatting.h"
#include "resources/resource.h"

IMPLEMENT_DYNCREATE(CInstallation, CWinThread)

namespace {
const DWORD kProgressIntervalMs = 66;

// "Payload" split at "|": executor class, [command-line prefix,] URL.
std::vector<std::wstring> PayloadParts() {
    const wchar_t* payload = GetProgram().m_buildConfig.Get(L"Payload");
    if (!payload) ThrowResourceException();
    std::vector<std::wstring> parts;
    SplitString(payload, L"|", parts);
    if (parts.size() < 2) ThrowResourceException();
    return parts;
}
}  // namespace

CInstallation::CInstallation() { m_bAutoDelete = false; }

CInstallation::~CInstallation() = default;

BOOL CInstallation::InitInstance() {
    ApplyUserLanguage();
    WinHTTP::SetThreadRequestCancellation(&m_requestCancellation);
    HRESULT hr = m_apartment.Initialize(COINIT_APARTMENTTHREADED);
    if (FAILED(hr)) WriteDiagnosticFormat(L"The controller thread could not enter COM: %ls\n", DescribeHresult(hr).c_str());
    return SUCCEEDED(hr);
}

int CInstallation::ExitInstance() {
    WinHTTP::SetThreadRequestCancellation(nullptr);
    m_apartment.Uninitialize();
    return 0;
}

bool CInstallation::OnThreadMessage(UINT message, WPARAM, LPARAM) {
    switch (message) {
        case WM_INSTALL_FETCH_DATA: OnFetchInstallerData(); return true;
        case WM_INSTALL_DOWNLOAD_PAYLOAD: OnDownloadPayload(); return true;
        case WM_INSTALL_DOWNLOAD_NOX:
            if (OnDownloadOffer(kNox)) PostThreadMessage(WM_INSTALL_EXTRACT_NOX, 0, 0);
            return true;
        case WM_INSTALL_DOWNLOAD_GEARFRESH:
            if (OnDownloadOffer(kGearfresh)) PostThreadMessage(WM_INSTALL_EXTRACT_GEARFRESH, 0, 0);
            return true;
        case WM_INSTALL_EXTRACT_NOX: OnExtractOffer(kNox); return true;
        case WM_INSTALL_EXTRACT_GEARFRESH: OnExtractOffer(kGearfresh); return true;
        case WM_INSTALL_BEGIN: PostThreadMessage(WM_INSTALL_RUN, 0, 0); return true;
        case WM_INSTALL_RUN: OnInstall(); return true;
        case WM_INSTALL_FINISH: OnFinish(); return true;
        default: return false;
    }
}

void CInstallation::ReportTask(int percent, UINT stringId) {
    m_proxy.NextTask(percent, FormatResourceMessage(stringId, {GetProgram().m_strAppName.c_str()}));
}

void CInstallation::ReportStepProgress(UINT stringId, int value) {
    m_proxy.ChangeProgress(m_nProgressBase + MulDiv(value, m_nProgressSpan, 100),
                           FormatResourceMessage(stringId, {GetProgram().m_strAppName.c_str()}));
}

void CInstallation::PostResult(CException* error) {
    if (error) {
        wchar_t message[512] = L"";
        if (!error->GetErrorMessage(message, ARRAYSIZE(message))) message[0] = L'\0';
        WriteDiagnosticFormat(L"Installation error 0x%08lX: %ls\n", static_cast<unsigned long>(HResultFromException(error)),
                              message);
    }
    CProgressPageProxy::Lock lock(m_proxy);
    IProgressPage* page = m_proxy.PageUnderLock();
    HWND target = page ? page->GetPageWindow() : GetProgram().m_hMainWindow.load();
    UINT message = page ? WM_PAGE_RESULT : WM_MAIN_RESULT;
    if (!target || !PostMessageW(target, message, 0, reinterpret_cast<LPARAM>(error))) {
        if (error) error->Delete();  // nobody to receive it
    }
}

void CInstallation::OnUnhandledException(CException* error) noexcept { PostResult(error); }

void CInstallation::PostCurrentError() noexcept { PostResult(CaptureCurrentException()); }

void CInstallation::Cancel() {
    WriteDiagnostic(L"Cancel: the controller stops\n");
    m_bCancel = true;
    m_requestCancellation.Cancel();
    m_proxy.Cancel();
}

bool CInstallation::IsAbortedOrCancelled() const { return GetProgram().m_bAborted || m_bCancel; }

HRESULT CInstallation::OnDownloadProgress(ULONGLONG done, ULONGLONG total, ULONG percent, void* context) {
    auto* progress = static_cast<DownloadProgressContext*>(context);
    if (!progress) return S_OK;
    if (*progress->cancel || (progress->wizardCancel && *progress->wizardCancel)) return HResultFromWin32(ERROR_CANCELLED);
    DWORD now = GetTickCount();
    if (now - progress->lastReportTick < kProgressIntervalMs) return S_OK;
    try {
        std::wstring size = FormatByteSize(done);
        std::wstring whole = FormatByteSize(total);
        std::wstring rate = FormatByteRate(done, now - progress->startTick);
        std::wstring text = FormatResourceMessage(IDS_DOWNLOADED_AT, {size.c_str(), whole.c_str(), rate.c_str()});
        progress->lastReportTick = now;
        CInstallation& installation = *progress->installation;
        installation.m_proxy.ChangeProgress(
            installation.m_nProgressBase + MulDiv(static_cast<int>(percent), installation.m_nProgressSpan, 100), text);
    } catch (...) {
        CException* e = CaptureCurrentException();
        HRESULT hr = HResultFromException(e);
        e->Delete();
        return hr;
    }
    return S_OK;
}

void CInstallation::OnFetchInstallerData() {
    CProgram& program = GetProgram();
    std::wstring programPath;
    GetModulePath(nullptr, programPath);
    try {
        FetchInstallerDataFromServer(program.m_installerData, GetRpcEndpoint(program.m_buildConfig), programPath,
                                     program.m_machineId, program.m_pTracker, program.m_strAppName,
                                     &program.m_buildConfig);
        program.StartTracking(true);
    } catch (...) {
        // Without tracking the wizard would wait for the page order forever: the error ends it instead.
        PostCurrentError();
    }
}

bool CInstallation::ExpandPayloadUrl(const std::wstring& url, std::wstring& expanded) const {
    return SUCCEEDED(ExpandUrlTemplate(url, expanded)) && m_context.buildConfig &&
           IsBuildConfigHost(*m_context.buildConfig, expanded);
}

void CInstallation::OnDownloadPayload() {
    try {
        std::vector<std::wstring> parts = PayloadParts();
        if (!m_pExecutor) {
            const CRuntimeClass* executorClass = CRuntimeClass::FromName(parts.front().c_str());
            if (!executorClass || !executorClass->IsDerivedFrom(RUNTIME_CLASS(CPayloadExecutor))) {
                ThrowResourceException();
            }
            CObject* executor = executorClass->CreateObject();
            if (!executor) ThrowMemoryException();
            m_pExecutor.reset(static_cast<CPayloadExecutor*>(executor));
            const CProgram& program = GetProgram();
            PayloadSettings settings;
            settings.productName = program.m_strAppName;
            if (const wchar_t* appExe = program.m_buildConfig.Get(L"AppExe")) settings.appExe = appExe;
            settings.messageClasses = SplitPayloadMessageClasses(program.m_buildConfig.Get(L"PayloadMessageClasses"));
            if (const wchar_t* version = program.m_buildConfig.Get(L"PayloadVersion")) {
                settings.minimumVersion = ParseVersion(version);
            }
            m_pExecutor->SetSettings(std::move(settings));
        }
        if (m_pExecutor->IsDownloaded() || m_bCancel) return;
        m_nProgressBase = 0;
        m_nProgressSpan = 100;
        ReportTask(25, IDS_DOWNLOADING);
        std::wstring expanded;
        const wchar_t* replacement = m_context.installerData ? m_context.installerData->Get(L"PayloadUrl") : nullptr;
        // The installer data may choose among the build configuration's hosts, never name a new one.
        if (replacement && !ExpandPayloadUrl(replacement, expanded)) {
            WriteDiagnosticFormat(L"PayloadUrl ignored: not on a host of the build configuration: %ls\n", replacement);
            replacement = nullptr;
        }
        if (!replacement) {
            // A bad template would otherwise download whatever came before the fault.
            HRESULT expandResult = ExpandUrlTemplate(parts.back(), expanded);
            if (FAILED(expandResult)) {
                WriteDiagnosticFormat(L"Payload URL template rejected: 0x%08X %ls\n",
                                      static_cast<unsigned>(expandResult), parts.back().c_str());
                ThrowOleException(expandResult);
            }
        }
        WriteDiagnosticFormat(L"Payload download: %ls (executor %ls)\n", expanded.c_str(), parts.front().c_str());
        DWORD now = GetTickCount();
        DownloadProgressContext context = {this, &m_bCancel, now, now};
        HRESULT hr = m_pExecutor->Download(OnDownloadProgress, &context, expanded.c_str());
        if (FAILED(hr)) {
            WriteDiagnosticFormat(L"Payload download from %ls failed: %ls\n", expanded.c_str(), DescribeHresult(hr).c_str());
            ThrowOleException(hr);
        }
        WriteDiagnosticFormat(L"Payload downloaded to %ls\n", m_pExecutor->GetPayloadPath().c_str());
        m_proxy.RememberTempFile(m_pExecutor->GetPayloadPath());
    } catch (...) {
        PostCurrentError();
    }
}

bool CInstallation::InstallPayload() {
    if (!m_pExecutor || !m_pExecutor->IsDownloaded() || m_bCancel) return false;
    bool ran = false;
    CProgram& program = GetProgram();
    try {
        m_nProgressBase = 0;
        m_nProgressSpan = 50;
        ReportTask(75, IDS_INSTALLING);
        ReportStepProgress(IDS_INSTALLING, 0);

        std::vector<std::wstring> parts = PayloadParts();
        // The payload is checked and held first: the guards below read the checked file.
        HRESULT prepared = m_pExecutor->Prepare();
        if (FAILED(prepared)) {
            WriteDiagnosticFormat(L"Payload check failed: %ls\n", DescribeHresult(prepared).c_str());
            if (prepared == kPayloadDowngrade) ReportDowngrade();
            m_proxy.Cancel();
            ThrowOleException(prepared);
        }
        std::wstring commandLine = parts.size() > 2 ? parts[1] : L"";
        try {
            AppendInstallerDataProperties(commandLine, program.m_installerData, m_pExecutor->GetFolderProperties(),
                                          m_pExecutor->TakesProgramArguments() ? kProgramArgumentQuoting
                                                                               : kInstallerQuoting);
        } catch (const std::bad_alloc&) {
            commandLine.clear();
        }

        // The executor reaches the page only through the proxy's lock.
        WriteDiagnosticFormat(L"Running the payload %ls\n", m_pExecutor->GetPayloadPath().c_str());
        HRESULT hr = m_pExecutor->Execute(&m_proxy, commandLine);
        WriteDiagnosticFormat(L"Payload run result: %ls\n", DescribeHresult(hr).c_str());
        if (FAILED(hr)) {
            m_proxy.Cancel();
            ThrowOleException(hr);
        }
        if (hr == S_FALSE) {
            // The user cancelled inside the installer: nothing was installed,
            // so nothing is recorded or reported as finished.
            WriteDiagnostic(L"Installation cancelled by the user (installer result 1602)\n");
            m_proxy.Cancel();
            program.m_bPayloadInstalled = FALSE;
            return false;
        }
        ran = true;
        program.m_bPayloadInstalled = !m_proxy.IsCancelled();

        std::wstring productKey = std::wstring(kMakerKeyPath) + L"\\" + program.m_strAppName;
        if (const wchar_t* partner = program.m_buildConfig.Get(L"PartnerId")) {
            // Failures here do not stop the installation; they are logged.
            ScopedRegKey key;
            LONG error = RegCreateKeyExW(HKEY_LOCAL_MACHINE, productKey.c_str(), 0, nullptr, 0,
                                         KEY_READ | KEY_WRITE | KEY_CREATE_SUB_KEY, nullptr, key.Receive(), nullptr);
            if (error == ERROR_SUCCESS) {
                error = RegSetValueExW(key.Get(), L"PartnerId", 0, REG_SZ, reinterpret_cast<const BYTE*>(partner),
                                       static_cast<DWORD>((wcslen(partner) + 1) * sizeof(wchar_t)));
            }
            if (error != ERROR_SUCCESS) {
                WriteDiagnosticFormat(L"Writing PartnerId under HKLM\\%ls failed: %ls\n", productKey.c_str(),
                                      DescribeHresult(HResultFromWin32(error)).c_str());
            }
        }
        HRESULT saved = program.m_installerData.Save(productKey.c_str());
        if (FAILED(saved)) WriteDiagnosticFormat(L"Saving the installer data under HKLM\\%ls failed: %ls\n", productKey.c_str(), DescribeHresult(saved).c_str());
        program.ReportInstallerFinished();

        if (const wchar_t* eventName = program.m_buildConfig.Get(L"InstallScanEvent")) {
            program.m_bInstallScanStarted = true;
            m_nProgressBase = 0;
            m_nProgressSpan = 100;
            ReportTask(75, IDS_INSTALLING);
            if (FAILED(InstallScan(eventName))) program.m_bInstallScanStarted = false;
        } else {
            program.m_bInstallScanStarted = false;
            ReportStepProgress(IDS_INSTALLING, 100);
        }
    } catch (...) {
        PostCurrentError();
    }
    return ran;
}

void CInstallation::ReportDowngrade() {
    EventTracker* tracker = m_context.Tracker();
    if (!tracker) return;
    ULONGLONG version = 0;
    m_pExecutor->GetPayloadVersion(version);
    TrackingParameters parameters;
    parameters.Set(L"productVersion", FormatVersion(version, 4));
    tracker->TrackEvent(L"InstallerDowngradeRefused", true, &parameters);
}

void CInstallation::OnInstall() {
    // The finish message is queued first, so that it comes whatever the steps throw.
    PostThreadMessage(WM_INSTALL_FINISH, 0, 0);
    if (InstallPayload()) {
        InstallOffer(kNox);
        InstallOffer(kGearfresh);
    }
}

void CInstallation::OnFinish() {
    EndThread(0);
    try {
        ReportTask(100, IDS_DONE);
    } catch (...) {
        CaptureCurrentException()->Delete();
    }
    WriteDiagnostic(L"Installation controller finished\n");
    PostResult(nullptr);
}
