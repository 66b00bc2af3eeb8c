#pragma once
// The local sources of the installer data, consulted once at start-up on the
// main thread: the data file beside the program, the one-shot debug registry
// value, and the trailer at the end of the program file.
#include <windows.h>

#include <string>

class BuildConfig;
class InstallerDataStore;

// programPath + ".installer_data", read in the C library's text mode.
bool LoadInstallerDataFile(InstallerDataStore& store, const std::wstring& programPath);

// HKCU "SOFTWARE\Tarnwell Utilities Inc\Wrenstall\DebugInstallerData", value
// "IDPF" (REG_MULTI_SZ). The subkey is deleted once looked at.
bool LoadDebugInstallerData(InstallerDataStore& store);

// The trailer: UTF-8 text, 32-bit little-endian length, "TWPL". S_FALSE when
// the file has no trailer (or one whose length does not fit the file).
HRESULT LoadInstallerDataTrailer(InstallerDataStore& store, const std::wstring& programPath);

enum class InstallerDataSource { None, File, Debug, Trailer };

struct InitialInstallerData {
    InstallerDataSource source = InstallerDataSource::None;
    // False when the trailer was consulted and gave no data: the data must
    // then come from the server.
    bool ready = true;
};

// The sources in order of precedence: file, debug value, trailer.
InitialInstallerData LoadInitialInstallerData(InstallerDataStore& store, const std::wstring& programPath);

// Merges the build configuration's "InstallerData" command line into the store.
void ApplyBuildArguments(InstallerDataStore& store, const BuildConfig& config);

const wchar_t* InstallerDataSourceName(InstallerDataSource source);
