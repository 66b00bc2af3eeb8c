#pragma once
// Executors own one payload from download to run; created by class name from
// the first part of "Payload" ("CMsiExecutor", "CExeExecutor") and used on
// the controller thread only.
#include <windows.h>

#include <string>
#include <vector>

#include "framework/ProtectedFolder.h"
#include "framework/RuntimeClass.h"
#include "http/DownloadToStream.h"
#include "payload/ExecutorPage.h"
#include "payload/VerifiedFile.h"
#include "services/PackedVersion.h"

// What the executors need of the wizard's configuration. Executors are made
// by class name without arguments; the engine hands them these afterwards.
struct PayloadSettings {
    std::wstring productName;                  // the wizard's product
    std::wstring appExe;                       // "AppExe": the installed application, or empty
    std::vector<std::wstring> messageClasses;  // "PayloadMessageClasses" split at ";"
    PackedVersion minimumVersion = 0;          // "PayloadVersion": no older payload is installed (0: none)
};

// A package the installer service reported as installed that it does not
// know as installed afterwards (for example one that installed no feature).
const HRESULT kPayloadNotInstalled = static_cast<HRESULT>(0xA0060002);

// "PayloadMessageClasses" split at ";" (null: none).
std::vector<std::wstring> SplitPayloadMessageClasses(const wchar_t* value);

class CPayloadExecutor : public CObject {
    DECLARE_DYNAMIC(CPayloadExecutor)
public:
    void SetSettings(PayloadSettings settings) { m_settings = std::move(settings); }
    const PayloadSettings& Settings() const { return m_settings; }

    // Prepare, then Run of the file Prepare checked, which stays held against
    // writers until Run has handed it over. 0 on success, S_FALSE when the
    // user cancelled the run, the rejection or failure otherwise. Never raises.
    virtual HRESULT Execute(IExecutorPage* page, const std::wstring& commandLine);
    // Stages the payload and checks its signature through the handle that
    // then holds it; done once (later calls answer S_OK while it is held).
    // Everything read from the payload afterwards (GetFolderProperties) is
    // read from the checked file. Never raises.
    HRESULT Prepare();
    // Picks the downloader by the URL and keeps the finished file's path.
    virtual HRESULT Download(DownloadProgressCallback callback, void* context, const wchar_t* url);
    virtual bool IsDownloaded() const { return !m_strPayloadPath.empty(); }
    virtual std::wstring GetPayloadPath() const { return m_strPayloadPath; }
    virtual void GetPayloadVersion(ULONGLONG& version) const { version = m_nPayloadVersion; }
    virtual HRESULT VerifySignature();
    virtual HRESULT Run(IExecutorPage* page, const std::wstring& commandLine) = 0;
    // Properties that name the payload's own folders (where it puts files),
    // read from the checked file after Prepare (none before); the installer
    // data may not set them.
    virtual std::vector<std::wstring> GetFolderProperties() const { return {}; }
    // The quoting rule of the payload's command line: the installer's for a
    // package, the platform's argument rule for a program.
    virtual bool TakesProgramArguments() const { return true; }
    // Lets go of everything Prepare holds.
    virtual void ReleaseStaged() noexcept { m_verified.Release(); }

protected:
    // Holds and checks the file to run (m_verified) and sets m_strRunPath;
    // the base checks the payload itself.
    virtual HRESULT StagePayload();
    // The file to start: the staged file, or the payload when nothing was staged.
    const std::wstring& RunPath() const { return m_strRunPath.empty() ? m_strPayloadPath : m_strRunPath; }
    // The payload is this executor's own download (deleted when rejected),
    // not a file somebody handed it.
    bool OwnsPayloadFile() const { return m_bOwnDownload; }

    std::wstring m_strPayloadPath;
    std::wstring m_strRunPath;
    ULONGLONG m_nPayloadVersion = 0;
    PayloadSettings m_settings;
    CVerifiedFile m_verified;  // the file Run starts, from Prepare until the end of Execute
    bool m_bOwnDownload = false;
};

// A Windows Installer package, installed through msi.dll with the wizard's
// own user-interface handler.
class CMsiExecutor : public CPayloadExecutor {
    DECLARE_DYNCREATE(CMsiExecutor)
public:
    HRESULT Download(DownloadProgressCallback callback, void* context, const wchar_t* url) override;
    // 0 installed (or already installed), 1 cancelled; raises on failure, and
    // kPayloadNotInstalled when the installer service answered success but
    // does not know the product as installed.
    HRESULT Run(IExecutorPage* page, const std::wstring& commandLine) override;
    // The keys of the checked package's Directory table.
    std::vector<std::wstring> GetFolderProperties() const override;
    bool TakesProgramArguments() const override { return false; }
    void ReleaseStaged() noexcept override;

protected:
    // Checks the download, refuses it as a downgrade (kPayloadDowngrade,
    // PayloadVersionCheck.h), then copies it through its held handle to
    // "Downloaded Installers\<ProductCode>\setup.msi" of the common documents,
    // in folders only administrators and the system may write, and holds and
    // checks the copy; without a copy the checked download itself is run.
    HRESULT StagePayload() override;

private:
    CVerifiedFile m_download;          // the checked download, while a copy is made of it
    CProtectedFolder m_installersFolder;  // "Downloaded Installers", held while its copy is in use
    CProtectedFolder m_productFolder;     // its "<ProductCode>" folder
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
