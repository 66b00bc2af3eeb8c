#pragma once
// The application object's base. Exactly one exists per process, constructed
// before the entry point; RunApplication drives it on the main thread.
#include <windows.h>

#include <string>

#include "framework/RuntimeClass.h"

class CException;

class CWinApp : public CObject {
    DECLARE_DYNAMIC(CWinApp)
public:
    CWinApp();
    ~CWinApp() override;
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // The framework's own initialisation: takes the application name from
    // string 57344, or from the program's file name when that string is missing.
    virtual BOOL InitInstance();
    // Runs after InitInstance returned FALSE; the result is the exit code.
    virtual int ExitInstance();
    // Every message box of the program comes here; the base shows the platform's box.
    virtual int DoMessageBox(LPCWSTR text, UINT type, UINT promptId);
    // An exception (owned; may be null) that escaped a window-message handler
    // while message was handled; the result is the message's result. The base
    // shows the exception's message (error icon) and deletes it.
    virtual LRESULT ProcessWndProcException(CException* e, const MSG* message);
    // A message without a window taken from the queue by a modal loop of the
    // main thread; true when handled. The base handles none.
    virtual bool PreTranslateThreadMessage(const MSG& message);

    // The report window: a message-only window of the main thread that
    // receives the application's reports (PostToApplication). Every message
    // loop of the thread dispatches to it, also one that knows nothing of the
    // application (a platform message box's). Main thread; false when the
    // window could not be made (reports then travel as thread messages).
    bool CreateReportWindow();
    HWND GetReportWindow() const { return m_hReportWindow; }
    // A report that reached the report window or, as a thread message, a
    // modal loop of the main thread; true when handled. Main thread; must not throw.
    virtual bool OnApplicationReport(UINT message, WPARAM wParam, LPARAM lParam) noexcept;

    // The per-user settings location of the framework (HKCU\Software\<key>\<app>).
    void SetRegistryKey(LPCWSTR company);

    HINSTANCE m_hInstance = nullptr;
    DWORD m_nThreadId = GetCurrentThreadId();  // the main thread: the object is built there
    std::wstring m_strFrameworkAppName;
    std::wstring m_strRegistryKey;

private:
    static LRESULT CALLBACK ReportWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    HWND m_hReportWindow = nullptr;
};

enum : UINT { IDS_APP_TITLE = 57344 };

// The process's application object, or null before it is constructed.
CWinApp* GetApplication();

// Posts a report to the application on the main thread: to its report
// window when it has one, else as a thread message. False when there is no
// application or the post failed. Any thread.
bool PostToApplication(UINT message, WPARAM wParam, LPARAM lParam);

// Routes a message box through the application object (or the platform box without one).
int MessageBoxThroughApplication(LPCWSTR text, UINT type, UINT promptId);

// The body of the entry point: initialise, run, exit.
int RunApplication(HINSTANCE instance);
