#include <cstdio>
#include <new>

#include "config/BuildConfig.h"
#include "config/InstallerDataSources.h"
#include "config/InstallerDataStore.h"
#include "framework/DiagnosticOutput.h"
#include "framework/Exceptions.h"

namespace {
void ReportUnreadableSource(const InitialInstallerData& result, const std::wstring& programPath) {
    if (result.failedSource == InstallerDataSource::None) return;
    wchar_t line[160];
    std::swprintf(line, ARRAYSIZE(line), L"Installer data (%ls) could not be read: 0x%08X, ",
                  InstallerDataSourceName(result.failedSource), static_cast<unsigned>(result.failure));
    WriteDiagnostic((line + programPath + L"\n").c_str());
}

InitialInstallerData LoadInstallerDataSources(InstallerDataStore& store, const std::wstring& programPath) {
    InitialInstallerData result;
    HRESULT hr = ReadInstallerDataFile(store, programPath);
    if (hr == S_OK) {
        result.source = InstallerDataSource::File;
        return result;
    }
    if (FAILED(hr)) {
        result.failedSource = InstallerDataSource::File;
        result.failure = hr;
    }
    result.debugLookedFor = true;
    if (LoadDebugInstallerData(store, &result.debug)) {
        result.source = InstallerDataSource::Debug;
        return result;
    }
    if (FAILED(result.debug.load)) {
        result.failedSource = InstallerDataSource::Debug;
        result.failure = result.debug.load;
    }
    hr = LoadInstallerDataTrailer(store, programPath);
    if (hr == S_OK) {
        result.source = InstallerDataSource::Trailer;
    } else {
        result.ready = false;
        if (FAILED(hr)) {
            result.failedSource = InstallerDataSource::Trailer;
            result.failure = hr;
        }
    }
    return result;
}
}  // namespace

InitialInstallerData LoadInitialInstallerData(InstallerDataStore& store, const std::wstring& programPath) {
    InitialInstallerData result = LoadInstallerDataSources(store, programPath);
    ReportUnreadableSource(result, programPath);
    return result;
}

void ApplyBuildArguments(InstallerDataStore& store, const BuildConfig& config) {
    const wchar_t* arguments = config.Get(L"InstallerData");
    if (!arguments) return;
    // The result is ignored: build arguments are a build's own, and what
    // could be merged stays.
    try {
        store.ApplyCommandLine(arguments);
    } catch (CMemoryException* e) {
        e->Delete();
    }
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
