#include "app/AboutDialog.h"

#include <clocale>
#include <cwchar>

#include "app/Program.h"
#include "framework/Exceptions.h"
#include "framework/ModulePath.h"
#include "framework/ResourceStrings.h"
#include "resources/resource.h"
#include "services/FileVersionInfo.h"

IMPLEMENT_DYNAMIC(CAboutDialog, CDialog)

namespace {
const size_t kBuildTimeChars = 128;
}  // namespace

CAboutDialog::CAboutDialog() : CDialog(IDD_ABOUT) {}

std::time_t CAboutDialog::LinkTimeOf(HMODULE module) {
    auto* base = reinterpret_cast<const BYTE*>(module ? module : GetModuleHandleW(nullptr));
    auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    if (dos->e_magic != IMAGE_DOS_SIGNATURE) return 0;
    auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    if (nt->Signature != IMAGE_NT_SIGNATURE) return 0;
    return static_cast<std::time_t>(nt->FileHeader.TimeDateStamp);
}

std::wstring CAboutDialog::FormatBuildTime(std::time_t linkTime) {
    std::tm local = {};
    if (localtime_s(&local, &linkTime) != 0) return {};
    wchar_t text[kBuildTimeChars] = {};
    // The user's locale for the time texts only, for this call only: numbers
    // elsewhere keep the C library's default formatting.
    const wchar_t* current = _wsetlocale(LC_TIME, nullptr);
    std::wstring previous = current ? current : L"C";
    _wsetlocale(LC_TIME, L"");
    size_t written = std::wcsftime(text, kBuildTimeChars, L"%#c", &local);
    // Not every C library knows the "#" flag: the plain long form then.
    if (written == 0) written = std::wcsftime(text, kBuildTimeChars, L"%c", &local);
    _wsetlocale(LC_TIME, previous.c_str());
    return written ? text : std::wstring();
}

void CAboutDialog::SetFormattedText(UINT id, const std::wstring& insert1, const std::wstring& insert2) {
    std::wstring pattern;
    if (!LoadResourceString(id, pattern)) return;
    SetDlgItemTextW(m_hWnd, static_cast<int>(id), FormatMessageText(pattern, {insert1.c_str(), insert2.c_str()}).c_str());
}

BOOL CAboutDialog::OnInitDialog() {
    CDialog::OnInitDialog();
    std::wstring programPath;
    GetModulePath(nullptr, programPath);
    CFileVersionInfo version;
    if (!version.Create(programPath)) ThrowResourceException();
    std::wstring versionText = version.GetString(CFileVersionInfo::FileVersion);
    if (versionText.empty()) versionText = version.GetString(CFileVersionInfo::ProductVersion);
    const std::wstring& appName = GetProgram().m_strAppName;

    SetFormattedText(IDC_ABOUT_PRODUCT, appName, versionText);
    std::wstring copyright = version.GetString(CFileVersionInfo::LegalCopyright);
    if (!copyright.empty()) {
        SetDlgItemTextW(m_hWnd, IDC_ABOUT_COPYRIGHT, copyright.c_str());
    } else {
        SetFormattedText(IDC_ABOUT_COPYRIGHT, appName, versionText);
    }
    SetFormattedText(IDC_ABOUT_FRAMEWORK, appName, versionText);
    SetFormattedText(IDC_ABOUT_BUILD_TIME, FormatBuildTime(LinkTimeOf(nullptr)), versionText);
    std::wstring close;
    if (LoadResourceString(IDC_ABOUT_CLOSE, close)) SetDlgItemTextW(m_hWnd, IDC_ABOUT_CLOSE, close.c_str());
    return TRUE;
}

bool CAboutDialog::OnCommand(UINT id, UINT notifyCode, HWND control) {
    if (id == IDC_ABOUT_CLOSE) {
        EndDialog(IDC_ABOUT_CLOSE);
        return true;
    }
    return CDialog::OnCommand(id, notifyCode, control);
}
