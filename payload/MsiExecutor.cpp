#include <windows.h>
#include <msi.h>

#include <cstdio>
#include <memory>
#include <new>

#include "framework/WinApp.h"
#include "framework/DiagnosticOutput.h"
#include "framework/Exceptions.h"
#include "framework/GuidText.h"
#include "framework/ProtectedFolder.h"
#include "framework/ScopedHandles.h"
#include "framework/Win32Error.h"
#include "payload/MsiPackageQueries.h"
#include "payload/MsiUiHandler.h"
#include "payload/PayloadExecutor.h"
#include "payload/PayloadVersionCheck.h"
#include "services/SystemProbes.h"

IMPLEMENT_DYNCREATE(CMsiExecutor, CPayloadExecutor)

namespace {
// Every message type from fatal exit through show dialog except files in use.
const DWORD kHandledMessages = 0x7FDF;
const INSTALLUILEVEL kInternalUiLevel = static_cast<INSTALLUILEVEL>(INSTALLUILEVEL_NONE | INSTALLUILEVEL_SOURCERESONLY);

const DWORD kCopyBlockBytes = 65536;

void LogStaging(const wchar_t* what, HRESULT hr, const std::wstring& path) {
    wchar_t line[160];
    std::swprintf(line, 160, L"Package copy: %ls (0x%08lX): ", what, static_cast<unsigned long>(hr));
    WriteDiagnostic((line + path + L"\n").c_str());
}

// Copies everything from source (read from its start) into the new file target.
HRESULT CopyThroughHandles(HANDLE source, HANDLE target) {
    LARGE_INTEGER start = {};
    if (!SetFilePointerEx(source, start, nullptr, FILE_BEGIN)) return FailureFromLastError();
    std::unique_ptr<BYTE[]> buffer(new (std::nothrow) BYTE[kCopyBlockBytes]);
    if (!buffer) return E_OUTOFMEMORY;
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(source, buffer.get(), kCopyBlockBytes, &read, nullptr)) return FailureFromLastError();
        if (read == 0) return S_OK;
        DWORD written = 0;
        if (!WriteFile(target, buffer.get(), read, &written, nullptr)) return FailureFromLastError();
        if (written != read) return HRESULT_FROM_WIN32(ERROR_WRITE_FAULT);
    }
}
}  // namespace

HRESULT CMsiExecutor::Download(DownloadProgressCallback callback, void* context, const wchar_t* url) {
    HRESULT hr = CPayloadExecutor::Download(callback, context, url);
    if (SUCCEEDED(hr)) m_nPayloadVersion = ReadPackageVersion(m_strPayloadPath);
    return hr;
}

std::vector<std::wstring> CMsiExecutor::GetFolderProperties() const {
    // Only the checked package is read: an unchecked one could be swapped under the reading.
    return m_verified.IsHeld() ? ReadPackageDirectories(m_verified.Path()) : std::vector<std::wstring>{};
}

HRESULT CMsiExecutor::StagePayload() {
    m_strRunPath = m_strPayloadPath;
    HRESULT hr = m_download.HoldAndVerify(m_strPayloadPath, OwnsPayloadFile());
    if (FAILED(hr)) return hr;
    // From here on the package is read only as checked and held.
    m_nPayloadVersion = ReadPackageVersion(m_strPayloadPath);
    PackedVersion installed = 0;
    hr = CheckNotADowngrade(m_strPayloadPath, m_settings.appExe, m_settings.minimumVersion, installed);
    if (FAILED(hr)) {
        m_download.Release();
        return hr;
    }
    const std::wstring productCode = ReadPackageProperty(m_strPayloadPath, L"ProductCode");
    if (!IsBracedGuidText(productCode)) {
        // It becomes part of a path: anything but a GUID could climb out of the folder.
        LogStaging(L"the ProductCode is not a braced GUID, the download is installed", E_INVALIDARG, productCode);
        m_verified.TakeFrom(m_download);
        return S_OK;
    }
    std::wstring copy;
    try {
        const std::wstring documents = ExpandEnvironment(GetCommonDocumentsFolder());
        if (!documents.empty() &&
            SUCCEEDED(m_installersFolder.Open(documents + L"\\Downloaded Installers",
                                              CProtectedFolder::AcceptProtectedExisting)) &&
            SUCCEEDED(m_productFolder.Open(m_installersFolder.Path() + L"\\" + productCode,
                                           CProtectedFolder::AcceptProtectedExisting))) {
            copy = m_productFolder.Path() + L"\\setup.msi";
        }
    } catch (CException* e) {
        e->Delete();
    }
    if (!copy.empty()) {
        // Only administrators can have put anything here; an earlier copy goes, and the copy is new.
        if (!DeleteFileW(copy.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND) {
            LogStaging(L"cannot replace the earlier copy", FailureFromLastError(), copy);
        }
        ScopedHandle target;
        hr = CreateExclusiveFile(copy, GENERIC_WRITE, FILE_SHARE_READ, target);
        if (SUCCEEDED(hr)) hr = CopyThroughHandles(m_download.Handle(), target.Get());
        if (FAILED(hr) && target) {
            FILE_DISPOSITION_INFO disposition = {TRUE};
            SetFileInformationByHandle(target.Get(), FileDispositionInfo, &disposition, sizeof(disposition));
        }
        target.Reset();
        if (SUCCEEDED(hr)) hr = m_verified.HoldAndVerify(copy, true);
        if (SUCCEEDED(hr)) {
            m_strRunPath = copy;
            return S_OK;
        }
        LogStaging(L"cannot copy the package, the download is installed", hr, copy);
    }
    m_installersFolder.Close();
    m_productFolder.Close();
    m_verified.TakeFrom(m_download);
    return S_OK;
}

void CMsiExecutor::ReleaseStaged() noexcept {
    m_verified.Release();
    m_download.Release();
    m_productFolder.Close();
    m_installersFolder.Close();
}

namespace {
// The handler stays registered after a run (msi.dll may call it for any later
// installation in the process), so the page it reports to must not outlive the run.
struct PageForRun {
    PageForRun(MsiUiContext& ui, IExecutorPage* page) : m_ui(ui) { m_ui.page = page; }
    ~PageForRun() { m_ui.page = nullptr; }
    MsiUiContext& m_ui;
};
}  // namespace

namespace {
// Success counts only when the installer service knows the product as
// installed afterwards: a run that installed nothing (no feature selected,
// say) must not be reported as finished.
HRESULT ConfirmInstalled(bool wasInstalled, const std::wstring& productCode) {
    if (wasInstalled) return S_OK;
    if (!productCode.empty() && MsiQueryProductStateW(productCode.c_str()) == INSTALLSTATE_DEFAULT) return S_OK;
    WriteDiagnosticFormat(L"The installer reported success, but product %ls is not installed (0x%08lX)\n",
                          productCode.c_str(), static_cast<unsigned long>(kPayloadNotInstalled));
    ThrowOleException(kPayloadNotInstalled);
}
}  // namespace

HRESULT CMsiExecutor::Run(IExecutorPage* page, const std::wstring& commandLine) {
    MsiUiContext& ui = GetMsiUiContext();
    PageForRun pageForRun(ui, page);
    // A run reports its own failure, never an earlier run's message.
    ui.recordedError.reset();
    MsiSetInternalUI(kInternalUiLevel, nullptr);
    MsiSetExternalUIW(MsiUiHandler, kHandledMessages, &ui);

    // Execute has staged (and checked) the file to install and holds it.
    const std::wstring package = RunPath();
    std::wstring productCode;
    const bool installed = IsProductInstalled(package, m_settings.appExe, productCode);
    UINT result = installed ? ERROR_SUCCESS : MsiInstallProductW(package.c_str(), commandLine.c_str());

    if (m_settings.productName == L"Velmora Cleaner+") RemoveOlderCleaner();

    switch (result) {
        case ERROR_SUCCESS: return ConfirmInstalled(installed, productCode);
        case ERROR_INSTALL_USEREXIT: return S_FALSE;
        case ERROR_SUCCESS_REBOOT_INITIATED:
        case ERROR_SUCCESS_REBOOT_REQUIRED:
        case ERROR_SUCCESS_RESTART_REQUIRED:
            PostToApplication(WM_APP_REBOOT_REQUIRED, 0, 0);
            return ConfirmInstalled(installed, productCode);
        default: break;
    }
    if (ui.recordedError) throw ui.recordedError.release();
    ThrowOleException(HResultFromWin32(static_cast<LONG>(result)));
}
