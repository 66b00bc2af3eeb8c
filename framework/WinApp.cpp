#include "framework/WinApp.h"

#include "framework/Exceptions.h"
#include "framework/HandlerExceptions.h"
#include "framework/ResourceStrings.h"

IMPLEMENT_DYNAMIC(CWinApp, CObject)

namespace {
CWinApp* g_application = nullptr;

std::wstring ProgramBaseName() {
    WCHAR path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, ARRAYSIZE(path));
    if (length == 0 || length == ARRAYSIZE(path)) return L"Application";
    std::wstring name(path, length);
    size_t slash = name.find_last_of(L"\\/");
    if (slash != std::wstring::npos) name.erase(0, slash + 1);
    size_t dot = name.rfind(L'.');
    if (dot != std::wstring::npos && dot > 0) name.erase(dot);
    return name;
}
}  // namespace

CWinApp::CWinApp() { g_application = this; }

CWinApp::~CWinApp() {
    if (m_hReportWindow && GetCurrentThreadId() == m_nThreadId) DestroyWindow(m_hReportWindow);
    if (g_application == this) g_application = nullptr;
}

BOOL CWinApp::InitInstance() {
    if (!m_hInstance) m_hInstance = GetModuleHandleW(nullptr);
    if (!LoadResourceString(IDS_APP_TITLE, m_strFrameworkAppName)) m_strFrameworkAppName = ProgramBaseName();
    return TRUE;
}

int CWinApp::ExitInstance() { return 0; }

int CWinApp::DoMessageBox(LPCWSTR text, UINT type, UINT) {
    return MessageBoxW(GetActiveWindow(), text, m_strFrameworkAppName.c_str(), type);
}

LRESULT CWinApp::ProcessWndProcException(CException* e, const MSG* message) {
    if (!e) return 0;
    UINT fallback = message && message->message == WM_COMMAND ? IDP_COMMAND_FAILURE : IDP_INTERNAL_FAILURE;
    // The report itself may fail (no memory for the box): the exception is deleted all the same.
    if (CException* failed = CatchHandlerException([&] { e->ReportError(MB_OK | MB_ICONERROR, fallback); })) {
        failed->Delete();
    }
    e->Delete();
    return 0;
}

bool CWinApp::PreTranslateThreadMessage(const MSG&) { return false; }

void CWinApp::SetRegistryKey(LPCWSTR company) { m_strRegistryKey = company ? company : L""; }

CWinApp* GetApplication() { return g_application; }

bool CWinApp::OnApplicationReport(UINT, WPARAM, LPARAM) noexcept { return false; }

LRESULT CALLBACK CWinApp::ReportWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    CWinApp* app = GetApplication();
    if (message >= WM_APP && message <= 0xBFFF && app && app->m_hReportWindow == window) {
        return app->OnApplicationReport(message, wParam, lParam) ? 0 : DefWindowProcW(window, message, wParam, lParam);
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

bool CWinApp::CreateReportWindow() {
    if (m_hReportWindow) return true;
    static const wchar_t kClassName[] = L"WrenstallApplicationReports";
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = ReportWindowProcedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kClassName;
    if (!RegisterClassExW(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
    m_hReportWindow = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, windowClass.hInstance,
                                      nullptr);
    return m_hReportWindow != nullptr;
}

bool PostToApplication(UINT message, WPARAM wParam, LPARAM lParam) {
    CWinApp* app = GetApplication();
    if (!app) return false;
    if (HWND window = app->GetReportWindow()) {
        if (PostMessageW(window, message, wParam, lParam)) return true;
    }
    return PostThreadMessageW(app->m_nThreadId, message, wParam, lParam) != FALSE;
}

int MessageBoxThroughApplication(LPCWSTR text, UINT type, UINT promptId) {
    if (CWinApp* app = GetApplication()) return app->DoMessageBox(text, type, promptId);
    return MessageBoxW(nullptr, text, nullptr, type);
}

int RunApplication(HINSTANCE instance) {
    CWinApp* app = GetApplication();
    if (!app) return 1;
    app->m_hInstance = instance;
    // The wizard runs inside InitInstance, which returns once it is over.
    app->InitInstance();
    return app->ExitInstance();
}
