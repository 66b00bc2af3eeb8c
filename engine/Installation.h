#pragma once
// CInstallation: the controller thread. It does every blocking step of the
// installation (installer-data fetch, payload and offer downloads, payload
// run, persistence, install scan, offers) in answer to the thread messages
// 0x400 to 0x408, strictly in the order they were posted, and reports only
// through its progress-page proxy and posted messages. The user-interface
// thread writes the atomic flags m_bCancel and the offers' declined flags;
// the controller polls them without a lock. Whatever escapes a handler
// becomes a result error (page, else main window) and the thread goes on, so
// a later 0x408 still ends it in order. The application object owns the
// object: it does not delete itself, and is deleted once WaitForEnd says the
// thread is over.
#include <windows.h>

#include <atomic>
#include <memory>
#include <string>

#include "engine/InstallationContext.h"
#include "engine/ProgressPageProxy.h"
#include "framework/Exceptions.h"
#include "framework/PlatformSessions.h"
#include "framework/WinThread.h"
#include "http/RequestCancellation.h"
#include "payload/PayloadExecutor.h"

enum : UINT {
    WM_INSTALL_FETCH_DATA = WM_USER,
    WM_INSTALL_DOWNLOAD_PAYLOAD = WM_USER + 1,
    WM_INSTALL_DOWNLOAD_NOX = WM_USER + 2,
    WM_INSTALL_DOWNLOAD_GEARFRESH = WM_USER + 3,
    WM_INSTALL_EXTRACT_NOX = WM_USER + 4,
    WM_INSTALL_EXTRACT_GEARFRESH = WM_USER + 5,
    WM_INSTALL_BEGIN = WM_USER + 6,
    WM_INSTALL_RUN = WM_USER + 7,
    WM_INSTALL_FINISH = WM_USER + 8,
};

class CInstallation;

// What a download hands to OnDownloadProgress.
struct DownloadProgressContext {
    CInstallation* installation;
    const std::atomic<bool>* cancel;  // m_bCancel, or the offer's declined flag
    DWORD startTick;
    DWORD lastReportTick;
    const std::atomic<bool>* wizardCancel = nullptr;  // an offer's download also stops on m_bCancel
};

class CInstallation : public CWinThread {
    DECLARE_DYNCREATE(CInstallation)
public:
    CInstallation();
    ~CInstallation() override;

    BOOL InitInstance() override;
    int ExitInstance() override;
    bool OnThreadMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnUnhandledException(CException* error) noexcept override;

    // Progress reports: the string id's text with the product name as %1.
    void ReportTask(int percent, UINT stringId);
    void ReportStepProgress(UINT stringId, int value);
    // The error object (or none) to the page, or to the main window before a
    // page exists; the receiver owns it.
    void PostResult(CException* error);
    static HRESULT OnDownloadProgress(ULONGLONG done, ULONGLONG total, ULONG percent, void* context);

    // User-interface thread: the user confirmed cancellation.
    void Cancel();
    // Before the thread starts (BeginThreadOfClass's prepare).
    void SetContext(const InstallationContext& context) { m_context = context; }

    std::unique_ptr<CPayloadExecutor> m_pExecutor;
    std::wstring m_strNoxPackage;
    std::wstring m_strGearfreshPackage;
    std::wstring m_strNoxSetup;
    std::wstring m_strGearfreshSetup;
    std::atomic<bool> m_bCancel{false};
    std::atomic<bool> m_bNoxDeclined{false};
    std::atomic<bool> m_bGearfreshDeclined{false};
    int m_nProgressBase = 0;
    int m_nProgressSpan = 100;
    CProgressPageProxy m_proxy;

private:
    InstallationContext m_context;
    ScopedComApartment m_apartment;  // the thread's COM apartment, from InitInstance to ExitInstance
    // Aborts the request the thread waits for when the user cancels; the
    // thread's requests use it from InitInstance to ExitInstance.
    WinHTTP::CRequestCancellation m_requestCancellation;
    struct Offer;
    static const Offer kNox;
    static const Offer kGearfresh;

    void OnFetchInstallerData();
    void OnDownloadPayload();
    // url with its placeholders expanded, when that succeeds and names a host
    // of the build configuration (IsBuildConfigHost).
    bool ExpandPayloadUrl(const std::wstring& url, std::wstring& expanded) const;
    bool OnDownloadOffer(const Offer& offer);
    void OnExtractOffer(const Offer& offer);
    void OnInstall();
    void OnFinish();
    bool InstallPayload();
    // The "InstallerDowngradeRefused" event with the refused payload's version.
    void ReportDowngrade();
    void InstallOffer(const Offer& offer);
    HRESULT InstallScan(const std::wstring& eventName);

    std::wstring& PackageOf(const Offer& offer);
    std::wstring& SetupOf(const Offer& offer);
    const std::atomic<bool>& DeclinedOf(const Offer& offer) const;
    // Inside a catch block: the error being handled, as a result for the user.
    void PostCurrentError() noexcept;
    bool IsAbortedOrCancelled() const;
};

// {OS.VER}, {ID.MACH}, {DATA.key}, {u:DATA.key}, "{{" for a brace. An
// unterminated placeholder stops with E_INVALIDARG; output keeps what came before.
HRESULT ExpandUrlTemplate(const std::wstring& text, std::wstring& output);
