#include <windows.h>
#include <msi.h>

#include <filesystem>

#include "app/Program.h"
#include "framework/Exceptions.h"
#include "framework/Win32Error.h"
#include "payload/MsiPackageQueries.h"
#include "payload/MsiUiHandler.h"
#include "payload/PayloadExecutor.h"
#include "services/SystemProbes.h"

IMPLEMENT_DYNCREATE(CMsiExecutor, CPayloadExecutor)

namespace {
// Every message type from fatal exit through show dialog except files in use.
const DWORD kHandledMessages = 0x7FDF;
const INSTALLUILEVEL kInternalUiLevel = static_cast<INSTALLUILEVEL>(INSTALLUILEVEL_NONE | INSTALLUILEVEL_SOURCERESONLY);

// The package copied to the common documents' "Downloaded Installers\<ProductCode>\setup.msi",
// or the downloaded package itself when the copy cannot be made.
std::wstring KeepPackageCopy(const std::wstring& packagePath, const std::wstring& productCode) {
    try {
        std::wstring folder = ExpandEnvironment(GetCommonDocumentsFolder()) + L"\\Downloaded Installers";
        if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return packagePath;
        folder += L"\\" + productCode;
        if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return packagePath;
        std::wstring copy = folder + L"\\setup.msi";
        if (!CopyFileW(packagePath.c_str(), copy.c_str(), FALSE)) return packagePath;
        return copy;
    } catch (CException* e) {
        e->Delete();
        return packagePath;
    }
}
}  // namespace

HRESULT CMsiExecutor::Download(DownloadProgressCallback callback, void* context, const wchar_t* url) {
    HRESULT hr = CPayloadExecutor::Download(callback, context, url);
    if (SUCCEEDED(hr)) m_nPayloadVersion = ReadPackageVersion(m_strPayloadPath);
    return hr;
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

HRESULT CMsiExecutor::Run(IExecutorPage* page, const std::wstring& commandLine) {
    MsiUiContext& ui = GetMsiUiContext();
    PageForRun pageForRun(ui, page);
    // A run reports its own failure, never an earlier run's message.
    ui.recordedError.reset();
    MsiSetInternalUI(kInternalUiLevel, nullptr);
    MsiSetExternalUIW(MsiUiHandler, kHandledMessages, &ui);

    std::wstring productCode;
    const bool installed = IsProductInstalled(m_strPayloadPath, productCode);
    const std::wstring package = productCode.empty() ? m_strPayloadPath : KeepPackageCopy(m_strPayloadPath, productCode);
    UINT result = installed ? ERROR_SUCCESS : MsiInstallProductW(package.c_str(), commandLine.c_str());

    if (GetApplication() && GetProgram().m_strAppName == L"Velmora Cleaner+") RemoveOlderCleaner();

    switch (result) {
        case ERROR_SUCCESS: return S_OK;
        case ERROR_INSTALL_USEREXIT: return S_FALSE;
        case ERROR_SUCCESS_REBOOT_INITIATED:
        case ERROR_SUCCESS_REBOOT_REQUIRED:
        case ERROR_SUCCESS_RESTART_REQUIRED:
            if (CWinApp* app = GetApplication()) PostThreadMessageW(app->m_nThreadId, WM_APP_REBOOT_REQUIRED, 0, 0);
            return S_OK;
        default: break;
    }
    if (ui.recordedError) throw ui.recordedError.release();
    ThrowOleException(HResultFromWin32(static_cast<LONG>(result)));
}
