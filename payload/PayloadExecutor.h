#pragma once
// Executors own one payload from download to run; created by class name from
// the first part of "Payload" ("CMsiExecutor", "CExeExecutor") and used on
// the controller thread only.
#include <windows.h>

#include <string>
#include <vector>

#include "framework/RuntimeClass.h"
#include "http/DownloadToStream.h"
#include "payload/ExecutorPage.h"

// What the executors need of the wizard's configuration. Executors are made
// by class name without arguments; the engine hands them these afterwards.
struct PayloadSettings {
    std::wstring productName;                  // the wizard's product
    std::wstring appExe;                       // "AppExe": the installed application, or empty
    std::vector<std::wstring> messageClasses;  // "PayloadMessageClasses" split at ";"
};

// "PayloadMessageClasses" split at ";" (null: none).
std::vector<std::wstring> SplitPayloadMessageClasses(const wchar_t* value);

class CPayloadExecutor : public CObject {
    DECLARE_DYNAMIC(CPayloadExecutor)
public:
    void SetSettings(PayloadSettings settings) { m_settings = std::move(settings); }
    const PayloadSettings& Settings() const { return m_settings; }

    // StagePayload, then the signature check of the staged file, which stays
    // held against writers until Run has handed it over, then Run. 0 on
    // success, S_FALSE when the user cancelled the run, the rejection or
    // failure otherwise. Never raises.
    virtual HRESULT Execute(IExecutorPage* page, const std::wstring& commandLine);
    // Picks the downloader by the URL and keeps the finished file's path.
    virtual HRESULT Download(DownloadProgressCallback callback, void* context, const wchar_t* url);
    virtual bool IsDownloaded() const { return !m_strPayloadPath.empty(); }
    virtual std::wstring GetPayloadPath() const { return m_strPayloadPath; }
    virtual void GetPayloadVersion(ULONGLONG& version) const { version = m_nPayloadVersion; }
    virtual HRESULT VerifySignature();
    virtual HRESULT Run(IExecutorPage* page, const std::wstring& commandLine) = 0;
    // Properties that name the payload's own folders (where it puts files);
    // the installer data may not set them.
    virtual std::vector<std::wstring> GetFolderProperties() const { return {}; }
    // The file Run will start (the payload itself unless a copy is made);
    // Execute checks this file.
    virtual std::wstring StagePayload() { return m_strPayloadPath; }

protected:
    // The file to start: the staged file, or the payload when nothing was staged.
    const std::wstring& RunPath() const { return m_strRunPath.empty() ? m_strPayloadPath : m_strRunPath; }

    std::wstring m_strPayloadPath;
    std::wstring m_strRunPath;
    ULONGLONG m_nPayloadVersion = 0;
    PayloadSettings m_settings;
};

// A Windows Installer package, installed through msi.dll with the wizard's
// own user-interface handler.
class CMsiExecutor : public CPayloadExecutor {
    DECLARE_DYNCREATE(CMsiExecutor)
public:
    HRESULT Download(DownloadProgressCallback callback, void* context, const wchar_t* url) override;
    // 0 installed (or already installed), 1 cancelled; raises on failure.
    HRESULT Run(IExecutorPage* page, const std::wstring& commandLine) override;
    // The keys of the package's Directory table.
    std::vector<std::wstring> GetFolderProperties() const override;
    // The package copied to "Downloaded Installers\<ProductCode>\setup.msi" of
    // the common documents (a folder only administrators may write), or the
    // downloaded package when no copy can be made.
    std::wstring StagePayload() override;
};

// A plain executable, started and waited for.
class CExeExecutor : public CPayloadExecutor {
    DECLARE_DYNCREATE(CExeExecutor)
public:
    HRESULT Run(IExecutorPage* page, const std::wstring& commandLine) override;
};

// Lifts every top-level window of the payload's classes (the settings'
// messageClasses) to the front without leaving it topmost (the end of the wizard).
void ReleasePayloadWindows(const std::vector<std::wstring>& messageClasses);
