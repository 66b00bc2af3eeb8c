#pragma once
// CInstallation: the controller thread. It does every blocking step of the
// installation (installer-data fetch, payload and offer downloads, payload
// run, persistence, install scan, offers) in answer to the thread messages
// WM_INSTALL_FETCH_DATA to WM_INSTALL_FINISH, strictly in the order they were
// posted, and reports only through its progress-page proxy and posted
// messages. What it needs of the application it asks its host
// (IInstallationHost); whether to stop it asks the run state the host holds.
// The user-interface thread writes the offers' declined flags (the user's
// answer to each offer); the controller polls them. Whatever escapes a handler
// becomes a result error (page, else main window) and the thread goes on, so
// a later WM_INSTALL_FINISH still ends it in order. The application object owns the
// object: it does not delete itself, and is deleted once WaitForEnd says the
// thread is over.
#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "engine/InstallationHost.h"
#include "engine/RunState.h"
#include "payload/WizardMessages.h"
#include "engine/ProgressPageProxy.h"
#include "framework/Exceptions.h"
#include "framework/PlatformSessions.h"
#include "framework/WinThread.h"
#include "http/RequestCancellation.h"
#include "payload/PayloadExecutor.h"
#include "services/SystemProbes.h"

class CInstallation;

// What a download hands to OnDownloadProgress.
struct DownloadProgressContext {
    CInstallation* installation;
    const std::atomic<bool>* declined;  // an offer's declined flag; null for the payload
    DWORD startTick;
    DWORD lastReportTick;
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

    // User-interface thread: the user confirmed cancellation (the run state
    // moves to stopping; the page's cancelled flag is set through the proxy).
    void Cancel();
    // Before the thread starts (BeginThreadOfClass's prepare).
    void SetHost(IInstallationHost& host) { m_pHost = &host; }
    IInstallationHost& Host() const { return m_pHost ? *m_pHost : DetachedInstallationHost(); }

    std::unique_ptr<CPayloadExecutor> m_pExecutor;
    std::wstring m_strNoxPackage;
    std::wstring m_strGearfreshPackage;
    std::wstring m_strNoxSetup;
    std::wstring m_strGearfreshSetup;
    std::atomic<bool> m_bNoxDeclined{false};
    std::atomic<bool> m_bGearfreshDeclined{false};
    int m_nProgressBase = 0;
    int m_nProgressSpan = 100;
    CProgressPageProxy m_proxy;

private:
    IInstallationHost* m_pHost = nullptr;
    ScopedComApartment m_apartment;  // the thread's COM apartment, from InitInstance to ExitInstance
    // Aborts the request the thread waits for when the user cancels; the
    // thread's requests use it from InitInstance to ExitInstance.
    WinHTTP::CRequestCancellation m_requestCancellation;
    struct Offer;
    static const Offer kNox;
    static const Offer kGearfresh;

    void OnFetchInstallerData();
    void OnDownloadPayload();
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
    // The user or an error asked the run to stop.
    bool ShouldStop() const;
    // "Payload" split at "|": executor class, [command-line prefix,] URL.
    std::vector<std::wstring> PayloadParts() const;
};

// {OS.VER}, {ID.MACH}, {DATA.key}, {u:DATA.key}, "{{" for a brace, the ID and
// DATA sections read from context. An unterminated placeholder stops with
// E_INVALIDARG; output keeps what came before.
HRESULT ExpandUrlTemplate(const std::wstring& text, const PlaceholderContext& context, std::wstring& output);
// The same with the host's identifiers and installer data.
HRESULT ExpandUrlTemplate(const std::wstring& text, IInstallationHost& host, std::wstring& output);

// The address the payload is downloaded from: the installer data's
// "PayloadUrl" when it expands to a host of the build configuration
// (IsBuildConfigHost), else configuredUrl (the last part of "Payload"),
// placeholders expanded. Fails when configuredUrl's template is broken.
HRESULT ChoosePayloadUrl(IInstallationHost& host, const std::wstring& configuredUrl, std::wstring& expanded);
