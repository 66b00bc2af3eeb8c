// The host of a controller made without an application (the controller's
// own tests of a single step): nothing configured, nothing reported.
#include "config/BuildConfig.h"
#include "config/InstallerDataLock.h"
#include "config/InstallerDataStore.h"
#include "engine/InstallationHost.h"
#include "engine/RunState.h"

namespace {
class CDetachedInstallationHost : public IInstallationHost {
public:
    const BuildConfig& Configuration() const override { return m_config; }
    InstallerDataStore& InstallerData() override { return m_data; }
    InstallerDataLock& InstallerDataGuard() override { return m_dataLock; }
    const std::wstring& ProductName() const override { return m_productName; }
    GUID MachineId() const override { return GUID{}; }
    GUID InstallationId() const override { return GUID{}; }
    EventTracker* Tracker() const override { return nullptr; }
    HWND MainWindow() const override { return nullptr; }
    RunState& Run() override { return m_runState; }
    InstalledApp InstalledApplication() const override { return {}; }
    void PrepareControllerThread() override {}
    void OnInstallerDataFetched() override {}
    void OnPayloadInstalled(bool) override {}
    void OnInstallerFinished(ULONGLONG) override {}
    void OnInstallScanStarted(bool) override {}

private:
    BuildConfig m_config;
    InstallerDataStore m_data;
    InstallerDataLock m_dataLock;
    std::wstring m_productName;
    RunState m_runState;
};
}  // namespace

IInstallationHost& DetachedInstallationHost() {
    static CDetachedInstallationHost host;
    return host;
}
