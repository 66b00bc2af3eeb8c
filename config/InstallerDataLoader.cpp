#include "config/BuildConfig.h"
#include "config/InstallerDataSources.h"
#include "config/InstallerDataStore.h"

InitialInstallerData LoadInitialInstallerData(InstallerDataStore& store, const std::wstring& programPath) {
    InitialInstallerData result;
    if (LoadInstallerDataFile(store, programPath)) {
        result.source = InstallerDataSource::File;
    } else if (LoadDebugInstallerData(store)) {
        result.source = InstallerDataSource::Debug;
    } else {
        HRESULT hr = LoadInstallerDataTrailer(store, programPath);
        if (hr == S_OK) {
            result.source = InstallerDataSource::Trailer;
        } else {
            result.ready = false;
        }
    }
    return result;
}

void ApplyBuildArguments(InstallerDataStore& store, const BuildConfig& config) {
    if (const wchar_t* arguments = config.Get(L"InstallerData")) store.ApplyCommandLine(arguments);
}

const wchar_t* InstallerDataSourceName(InstallerDataSource source) {
    switch (source) {
        case InstallerDataSource::File: return L"file";
        case InstallerDataSource::Debug: return L"debug";
        case InstallerDataSource::Trailer: return L"trailer";
        case InstallerDataSource::None: break;
    }
    return L"none";
}
