#include "ui/WelcomePage.h"

#include <richedit.h>
#include <shellapi.h>

#include <vector>

#include "ui/WizardApplication.h"
#include "engine/Installation.h"
#include "framework/DiagnosticOutput.h"
#include "resources/resource.h"
#include "services/FileVersionInfo.h"
#include "ui/MainWindow.h"

IMPLEMENT_DYNCREATE(CWelcomePage, CWizardPage)

const wchar_t CWelcomePage::kSkipAcceptanceVersion[] = L"2.2.21642.48889";

namespace {
const DWORD kExpandedPathChars = 16383;
// A link text longer than this is no address anyone meant.
const LONG kMaxLinkChars = 4096;

std::wstring ExpandEnvironment(const wchar_t* text) {
    std::vector<wchar_t> buffer(kExpandedPathChars + 1);
    DWORD length = ExpandEnvironmentStringsW(text, buffer.data(), kExpandedPathChars + 1);
    if (length == 0 || length > kExpandedPathChars + 1) return {};
    return buffer.data();
}
}  // namespace

CWelcomePage::CWelcomePage() : CWizardPage(IDD_WELCOME) {}

BOOL CWelcomePage::OnInitDialog() {
    CWizardPage::OnInitDialog();
    CMainWindow* window = MainWindow();
    if (window && !window->GetSequence().m_history.empty()) EnableWindow(GetDlgItem(IDC_BACK), TRUE);
    if (CInstallation* installation = Controller()) installation->PostThreadMessage(WM_INSTALL_DOWNLOAD_PAYLOAD, 0, 0);
    return TRUE;
}

bool CWelcomePage::OnCommand(UINT id, UINT notifyCode, HWND control) {
    if (id == IDC_NEXT || id == IDC_AGREE) {
        OnAgree();
        return true;
    }
    return CWizardPage::OnCommand(id, notifyCode, control);
}

void CWelcomePage::OnAgree() {
    IWizardApplication& program = WizardApplication();
    CMainWindow* window = MainWindow();
    if (const wchar_t* appExe = program.Configuration().Get(L"AppExe")) {
        std::wstring path = ExpandEnvironment(appExe);
        CFileVersionInfo version;
        if (!path.empty() && version.Create(path)) {
            std::wstring installed = version.GetString(CFileVersionInfo::FileVersion);
            if (installed == kSkipAcceptanceVersion) {
                if (window) window->ShowNextPage();
                return;
            }
        }
    }
    if (EventTracker* tracker = program.Tracker()) tracker->TrackEvent(L"InstallerAccepted", false);
    if (window) window->ShowNextPage();
}

void CWelcomePage::OpenLink(const NMHDR* header) {
    auto* link = reinterpret_cast<const ENLINK*>(header);
    if (link->msg != WM_LBUTTONDOWN) return;
    CHARRANGE range = link->chrg;
    if (range.cpMin < 0 || range.cpMax <= range.cpMin || range.cpMax - range.cpMin > kMaxLinkChars) return;
    std::vector<wchar_t> text(static_cast<size_t>(range.cpMax - range.cpMin) + 1);
    TEXTRANGEW request = {range, text.data()};
    SendMessageW(header->hwndFrom, EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&request));
    HINSTANCE result = ShellExecuteW(m_hWnd, L"open", text.data(), nullptr, nullptr, SW_SHOWMAXIMIZED);
    if (reinterpret_cast<INT_PTR>(result) <= 32) {
        WriteDiagnostic((L"Opening the licence link failed: " + std::wstring(text.data()) + L"\n").c_str());
    }
}

bool CWelcomePage::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    if (message == WM_NOTIFY) {
        auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header && header->idFrom == IDC_LICENSE_TEXT && header->code == EN_LINK) {
            OpenLink(header);
            result = 0;
            return true;
        }
    }
    return CWizardPage::OnMessage(message, wParam, lParam, result);
}
