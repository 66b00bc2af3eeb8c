#include "engine/Installation.h"

#include <objbase.h>

#include <cstdio>
#include <new>

#include "config/BuildConfig.h"
#include "config/InstallerDataServerUpdate.h"
#include "config/InstallerDataStore.h"
#include "framework/ExceptionCodes.h"
#include "engine/InstallerProperties.h"
#include "config/ServerEndpoints.h"
#include "framework/DiagnosticOutput.h"
#include "framework/Exceptions.h"
#include "framework/ModulePath.h"
#include "framework/PostedError.h"
#include "framework/ResourceStrings.h"
#include "framework/ScopedHandles.h"
#include "framework/Win32Error.h"
#include "payload/PayloadVersionCheck.h"
#include "services/EventTracker.h"
#include "services/MakerKeys.h"
#include "services/PackedVersion.h"
#include "services/TrackingParameters.h"
#include "engine/ByteFormatting.h"
#include "resources/resource.h"

IMPLEMENT_DYNCREATE(CInstallation, CWinThread)

namespace {
const DWORD kProgressIntervalMs = 66;
}  // namespace

std::vector<std::wstring> CInstallation::PayloadParts() const {
    const wchar_t* payload = Host().Configuration().Get(L"Payload");
    if (!payload) ThrowResourceException();
    std::vector<std::wstring> parts;
    SplitString(payload, L"|", parts);
    if (parts.size() < 2) ThrowResourceException();
    return parts;
}

CInstallation::CInstallation() { m_bAutoDelete = false; }

CInstallation::~CInstallation() = default;

BOOL CInstallation::InitInstance() {
    Host().PrepareControllerThread();
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
    m_proxy.NextTask(percent, FormatResourceMessage(stringId, {Host().ProductName().c_str()}));
}

void CInstallation::ReportStepProgress(UINT stringId, int value) {
    m_proxy.ChangeProgress(m_nProgressBase + MulDiv(value, m_nProgressSpan, 100),
                           FormatResourceMessage(stringId, {Host().ProductName().c_str()}));
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
    HWND target = page ? page->GetPageWindow() : Host().MainWindow();
    UINT message = page ? static_cast<UINT>(WM_PAGE_RESULT) : static_cast<UINT>(WM_MAIN_RESULT);
    PostErrorMessage(target, message, error);  // nobody to receive it: the error is freed
}

void CInstallation::OnUnhandledException(CException* error) noexcept { PostResult(error); }

void CInstallation::PostCurrentError() noexcept { PostResult(CaptureCurrentException()); }

void CInstallation::Cancel() {
    WriteDiagnostic(L"Cancel: the controller stops\n");
    Host().Run().RequestStop();
    m_requestCancellation.Cancel();
    m_proxy.Cancel();
}

bool CInstallation::ShouldStop() const { return Host().Run().ShouldStop(); }

HRESULT CInstallation::OnDownloadProgress(ULONGLONG done, ULONGLONG total, ULONG percent, void* context) {
    auto* progress = static_cast<DownloadProgressContext*>(context);
    if (!progress) return S_OK;
    if ((progress->declined && *progress->declined) || progress->installation->ShouldStop()) {
        return HResultFromWin32(ERROR_CANCELLED);
    }
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
    IInstallationHost& host = Host();
    std::wstring programPath;
    GetModulePath(nullptr, programPath);
    try {
        FetchInstallerDataFromServer(host.InstallerData(), GetRpcEndpoint(host.Configuration()), programPath,
                                     host.MachineId(), host.Tracker(), host.ProductName(), &host.Configuration(),
                                     &host.InstallerDataGuard());
        host.OnInstallerDataFetched();
    } catch (...) {
        // Without tracking the wizard would wait for the page order forever: the error ends it instead.
        PostCurrentError();
    }
}

HRESULT ChoosePayloadUrl(IInstallationHost& host, const std::wstring& configuredUrl, std::wstring& expanded) {
    // The installer data may choose among the build configuration's hosts, never name a new one.
    if (const wchar_t* replacement = host.InstallerData().Get(L"PayloadUrl")) {
        if (SUCCEEDED(ExpandUrlTemplate(replacement, host, expanded)) && IsBuildConfigHost(host.Configuration(), expanded)) {
            return S_OK;
        }
        WriteDiagnosticFormat(L"PayloadUrl ignored: not on a host of the build configuration: %ls\n", replacement);
    }
    // A bad template would otherwise download whatever came before the fault.
    HRESULT hr = ExpandUrlTemplate(configuredUrl, host, expanded);
    if (FAILED(hr)) {
        WriteDiagnosticFormat(L"Payload URL template rejected: 0x%08X %ls\n", static_cast<unsigned>(hr), configuredUrl.c_str());
    }
    return hr;
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
            const BuildConfig& config = Host().Configuration();
            PayloadSettings settings;
            settings.productName = Host().ProductName();
            if (const wchar_t* appExe = config.Get(L"AppExe")) settings.appExe = appExe;
            settings.messageClasses = SplitPayloadMessageClasses(config.Get(L"PayloadMessageClasses"));
            if (const wchar_t* version = config.Get(L"PayloadVersion")) {
                settings.minimumVersion = ParseVersion(version);
            }
            m_pExecutor->SetSettings(std::move(settings));
        }
        if (m_pExecutor->IsDownloaded() || ShouldStop()) return;
        m_nProgressBase = 0;
        m_nProgressSpan = 100;
        ReportTask(25, IDS_DOWNLOADING);
        std::wstring expanded;
        HRESULT chosen = ChoosePayloadUrl(Host(), parts.back(), expanded);
        if (FAILED(chosen)) ThrowOleException(chosen);
        WriteDiagnosticFormat(L"Payload download: %ls (executor %ls)\n", expanded.c_str(), parts.front().c_str());
        DWORD now = GetTickCount();
        DownloadProgressContext context = {this, nullptr, now, now};
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
    if (!m_pExecutor || !m_pExecutor->IsDownloaded() || ShouldStop()) return false;
    bool ran = false;
    IInstallationHost& host = Host();
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
        // Out of memory here ends the run with that error: an installer run
        // without its properties would install something other than asked.
        std::wstring commandLine = parts.size() > 2 ? parts[1] : L"";
        AppendInstallerDataProperties(commandLine, host.InstallerData(), m_pExecutor->GetFolderProperties(),
                                      m_pExecutor->TakesProgramArguments() ? kProgramArgumentQuoting : kInstallerQuoting);

        // A stop that came while the payload was checked (the check of a large
        // file takes a while) is still in time: the installer never starts.
        if (ShouldStop()) {
            WriteDiagnostic(L"Installation stopped before the installer ran\n");
            m_proxy.Cancel();
            host.OnPayloadInstalled(false);
            return false;
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
            host.OnPayloadInstalled(false);
            return false;
        }
        ran = true;
        // The installer's own result decides: a cancel that reached it ended
        // above as 1602; one that came too late leaves the product installed.
        host.OnPayloadInstalled(true);

        std::wstring productKey = std::wstring(kMakerKeyPath) + L"\\" + host.ProductName();
        if (const wchar_t* partner = host.Configuration().Get(L"PartnerId")) {
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
        HRESULT saved = host.InstallerData().Save(productKey.c_str());
        if (FAILED(saved)) WriteDiagnosticFormat(L"Saving the installer data under HKLM\\%ls failed: %ls\n", productKey.c_str(), DescribeHresult(saved).c_str());
        ULONGLONG payloadVersion = 0;
        m_pExecutor->GetPayloadVersion(payloadVersion);
        host.OnInstallerFinished(payloadVersion);

        if (const wchar_t* eventName = host.Configuration().Get(L"InstallScanEvent")) {
            host.OnInstallScanStarted(true);
            m_nProgressBase = 0;
            m_nProgressSpan = 100;
            ReportTask(75, IDS_INSTALLING);
            if (FAILED(InstallScan(eventName))) host.OnInstallScanStarted(false);
        } else {
            host.OnInstallScanStarted(false);
            ReportStepProgress(IDS_INSTALLING, 100);
        }
    } catch (...) {
        PostCurrentError();
    }
    return ran;
}

void CInstallation::ReportDowngrade() {
    EventTracker* tracker = Host().Tracker();
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
