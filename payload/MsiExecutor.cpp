#include <windows.h>
#include <msi.h>

#include <aclapi.h>
#include <sddl.h>

#include <cstdio>

#include "framework/WinApp.h"
#include "framework/DiagnosticOutput.h"
#include "framework/Exceptions.h"
#include "framework/ScopedHandles.h"
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

// Administrators and the system may change the folder and what it holds,
// everybody else may only read; nothing is inherited from the parent, which
// every user may write.
const wchar_t kAdministratorsOnly[] = L"D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;GRGX;;;BU)";

void LogStaging(const wchar_t* what, const std::wstring& path) {
    wchar_t line[160];
    std::swprintf(line, 160, L"Package copy: %ls (0x%08lX): ", what, static_cast<unsigned long>(FailureFromLastError()));
    WriteDiagnostic((line + path + L"\n").c_str());
}

// Creates folder writable only by administrators, or restricts it so when it exists.
bool MakeAdministratorsFolder(const std::wstring& folder) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kAdministratorsOnly, SDDL_REVISION_1, &descriptor,
                                                              nullptr)) {
        return false;
    }
    ScopedLocalMemory owner(descriptor);
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor, FALSE};
    if (CreateDirectoryW(folder.c_str(), &attributes)) return true;
    if (GetLastError() != ERROR_ALREADY_EXISTS) return false;
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL acl = nullptr;
    if (!GetSecurityDescriptorDacl(descriptor, &present, &acl, &defaulted)) return false;
    DWORD error = SetNamedSecurityInfoW(const_cast<wchar_t*>(folder.c_str()), SE_FILE_OBJECT,
                                        DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr,
                                        nullptr, acl, nullptr);
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        LogStaging(L"cannot restrict the existing folder to administrators", folder);
    }
    // The copy is still checked and held against writers before it runs.
    return true;
}

// The package copied to the common documents' "Downloaded Installers\<ProductCode>\setup.msi",
// or the downloaded package itself when the copy cannot be made.
std::wstring KeepPackageCopy(const std::wstring& packagePath, const std::wstring& productCode) {
    try {
        std::wstring folder = ExpandEnvironment(GetCommonDocumentsFolder()) + L"\\Downloaded Installers";
        if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return packagePath;
        folder += L"\\" + productCode;
        if (!MakeAdministratorsFolder(folder)) {
            LogStaging(L"cannot make the folder", folder);
            return packagePath;
        }
        std::wstring copy = folder + L"\\setup.msi";
        // A fresh file, never whatever (or whatever link) was there before.
        if (!DeleteFileW(copy.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND) {
            LogStaging(L"cannot replace the earlier copy", copy);
            return packagePath;
        }
        if (!CopyFileW(packagePath.c_str(), copy.c_str(), TRUE)) {
            LogStaging(L"cannot copy the package", copy);
            return packagePath;
        }
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

std::vector<std::wstring> CMsiExecutor::GetFolderProperties() const { return ReadPackageDirectories(m_strPayloadPath); }

std::wstring CMsiExecutor::StagePayload() {
    const std::wstring productCode = ReadPackageProperty(m_strPayloadPath, L"ProductCode");
    return productCode.empty() ? m_strPayloadPath : KeepPackageCopy(m_strPayloadPath, productCode);
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

    // Execute has staged (and checked) the file to install; a direct call stages it here.
    const std::wstring package = m_strRunPath.empty() ? StagePayload() : m_strRunPath;
    std::wstring productCode;
    const bool installed = IsProductInstalled(package, m_settings.appExe, productCode);
    UINT result = installed ? ERROR_SUCCESS : MsiInstallProductW(package.c_str(), commandLine.c_str());

    if (m_settings.productName == L"Velmora Cleaner+") RemoveOlderCleaner();

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
