#include "engine/Installation.h"

#include <objbase.h>

#include <cwchar>
#include <new>

#include "app/ExceptionCodes.h"
#include "app/Program.h"
#include "app/UserLanguage.h"
#include "config/InstallerDataServerUpdate.h"
#include "config/ServerEndpoints.h"
#include "framework/DiagnosticOutput.h"
#include "framework/Exceptions.h"
#include "framework/ModulePath.h"
#include "framework/ResourceStrings.h"
#include "framework/ScopedHandles.h"
#include "framework/Win32Error.h"
#include "services/PackedVersion.h"
#include "ui/ByteFormatting.h"

IMPLEMENT_DYNCREATE(CInstallation, CWinThread)

namespace {
const DWORD kProgressIntervalMs = 66;
const UINT IDS_DOWNLOADING = 3001;
const UINT IDS_INSTALLING = 3003;
const UINT IDS_DONE = 3004;
const UINT IDS_DOWNLOADED_AT = 3005;

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

CInstallation::CInstallation() = default;

CInstallation::~CInstallation() = default;

BOOL CInstallation::InitInstance() {
    ApplyUserLanguage();
    return SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
}

int CInstallation::ExitInstance() {
    CoUninitialize();
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
    CProgressPageProxy::Lock lock(m_proxy);
    IProgressPage* page = m_proxy.PageUnderLock();
    HWND target = page ? page->GetPageWindow() : GetProgram().m_hMainWindow;
    UINT message = page ? WM_PAGE_RESULT : WM_MAIN_RESULT;
    if (!target || !PostMessageW(target, message, 0, reinterpret_cast<LPARAM>(error))) {
        if (error) error->Delete();  // nobody to receive it
    }
}

void CInstallation::Cancel() {
    m_bCancel = 1;
    m_proxy.Cancel();
}

bool CInstallation::IsAbortedOrCancelled() const { return GetProgram().m_bAborted || m_bCancel; }

HRESULT CInstallation::OnDownloadProgress(ULONGLONG done, ULONGLONG total, ULONG percent, void* context) {
    auto* progress = static_cast<DownloadProgressContext*>(context);
    if (!progress) return S_OK;
    if (*progress->cancel) return HResultFromWin32(ERROR_CANCELLED);
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
    } catch (CException* e) {
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
    FetchInstallerDataFromServer(program.m_installerData, GetRpcEndpoint(program.m_buildConfig), programPath,
                                 program.m_machineId, program.m_pTracker.get());
    program.StartTracking(true);
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
        }
        if (m_pExecutor->IsDownloaded() || m_bCancel) return;
        m_nProgressBase = 0;
        m_nProgressSpan = 100;
        ReportTask(25, IDS_DOWNLOADING);
        std::wstring url = parts.back();
        if (const wchar_t* replacement = GetProgram().m_installerData.Get(L"PayloadUrl")) url = replacement;
        std::wstring expanded;
        // A bad template would otherwise download whatever came before the fault.
        HRESULT expandResult = ExpandUrlTemplate(url, expanded);
        if (FAILED(expandResult)) {
            wchar_t line[64];
            std::swprintf(line, 64, L"payload URL template rejected: 0x%08X ", static_cast<unsigned>(expandResult));
            WriteDiagnostic((line + url + L"\n").c_str());
            ThrowOleException(expandResult);
        }
        DWORD now = GetTickCount();
        DownloadProgressContext context = {this, &m_bCancel, now, now};
        HRESULT hr = m_pExecutor->Download(OnDownloadProgress, &context, expanded.c_str());
        if (FAILED(hr)) ThrowOleException(hr);
        m_proxy.RememberTempFile(m_pExecutor->GetPayloadPath());
    } catch (CException* e) {
        PostResult(e);
    } catch (const std::bad_alloc&) {
        try {
            ThrowMemoryException();
        } catch (CException* e) {
            PostResult(e);
        }
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
        std::wstring commandLine = parts.size() > 2 ? parts[1] : L"";
        wchar_t** block = nullptr;
        int count = 0;
        if (SUCCEEDED(program.m_installerData.BuildArgumentBlock(&block, &count))) {
            ScopedLocalMemory owner(block);
            for (int i = 0; i < count; ++i) {
                if (!commandLine.empty()) commandLine += L' ';
                commandLine += block[i];
            }
        } else {
            commandLine.clear();
        }

        IProgressPage* page;
        {
            CProgressPageProxy::Lock lock(m_proxy);
            page = m_proxy.PageUnderLock();
        }
        HRESULT hr = m_pExecutor->Execute(page, commandLine);
        if (FAILED(hr)) {
            m_proxy.Cancel();
            ThrowOleException(hr);
        }
        ran = true;
        program.m_bPayloadInstalled = !m_proxy.IsCancelled();

        std::wstring productKey = std::wstring(kMakerKeyPath) + L"\\" + program.m_strAppName;
        if (const wchar_t* partner = program.m_buildConfig.Get(L"PartnerId")) {
            ScopedRegKey key;
            if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, productKey.c_str(), 0, nullptr, 0,
                                KEY_READ | KEY_WRITE | KEY_CREATE_SUB_KEY, nullptr, key.Receive(), nullptr) == ERROR_SUCCESS) {
                RegSetValueExW(key.Get(), L"PartnerId", 0, REG_SZ, reinterpret_cast<const BYTE*>(partner),
                               static_cast<DWORD>((wcslen(partner) + 1) * sizeof(wchar_t)));
            }
        }
        program.m_installerData.Save(productKey.c_str());
        program.ReportInstallerFinished();

        if (const wchar_t* eventName = program.m_buildConfig.Get(L"InstallScanEvent")) {
            program.m_bInstallScanStarted = TRUE;
            m_nProgressBase = 0;
            m_nProgressSpan = 100;
            ReportTask(75, IDS_INSTALLING);
            if (FAILED(InstallScan(eventName))) program.m_bInstallScanStarted = FALSE;
        } else {
            program.m_bInstallScanStarted = FALSE;
            ReportStepProgress(IDS_INSTALLING, 100);
        }
    } catch (CException* e) {
        PostResult(e);
    }
    return ran;
}

void CInstallation::OnInstall() {
    if (InstallPayload()) {
        InstallOffer(kNox);
        InstallOffer(kGearfresh);
    }
    PostThreadMessage(WM_INSTALL_FINISH, 0, 0);
}

void CInstallation::OnFinish() {
    try {
        ReportTask(100, IDS_DONE);
    } catch (CException* e) {
        e->Delete();
    }
    PostResult(nullptr);
    EndThread(0);
}
