#pragma once
// The local sources of the installer data, consulted once at start-up on the
// main thread: the data file beside the program, the one-shot debug registry
// value, and the trailer at the end of the program file.
#include <windows.h>

#include <string>

class BuildConfig;
class InstallerDataStore;

// ParseUtf8 and Parse for the loaders: an out-of-memory error while the store
// grows becomes E_OUTOFMEMORY and leaves the store empty, never half-filled.
HRESULT ParseInstallerDataUtf8(InstallerDataStore& store, const char* bytes);
HRESULT ParseInstallerDataText(InstallerDataStore& store, const wchar_t* text);

// programPath + ".installer_data", read in the C library's text mode: S_OK
// when loaded, S_FALSE when there is no such file, otherwise why it could not
// be read or parsed.
HRESULT ReadInstallerDataFile(InstallerDataStore& store, const std::wstring& programPath);
bool LoadInstallerDataFile(InstallerDataStore& store, const std::wstring& programPath);

// What the debug value's load did with its one-shot subkey.
struct DebugInstallerDataOutcome {
    bool found = false;       // the subkey existed
    HRESULT removal = S_OK;   // removing it with everything under it; S_OK when found and removed
    HRESULT load = S_FALSE;   // S_OK parsed, S_FALSE no usable value, negative: could not be read
};

// HKCU "SOFTWARE\Tarnwell Utilities Inc\Wrenstall\DebugInstallerData", value
// "IDPF" (REG_MULTI_SZ). The subkey is removed with everything under it once
// looked at; a failed removal is written to the diagnostic output.
bool LoadDebugInstallerData(InstallerDataStore& store, DebugInstallerDataOutcome* outcome = nullptr);

// The trailer: UTF-8 text, 32-bit little-endian length, "TWPL". S_FALSE when
// the file has no trailer (or one whose length does not fit the file).
HRESULT LoadInstallerDataTrailer(InstallerDataStore& store, const std::wstring& programPath);

// The trailer of a file image that is size bytes long, as LoadInstallerDataTrailer reads it.
HRESULT ReadInstallerDataTrailer(InstallerDataStore& store, const unsigned char* image, size_t size);

// The trailer's text inside the last size bytes of a file image: S_FALSE with
// no text when there is no trailer, S_OK with text pointing into image.
HRESULT LocateInstallerDataTrailer(const unsigned char* image, size_t size, const char** text, size_t* length);

enum class InstallerDataSource { None, File, Debug, Trailer };

struct InitialInstallerData {
    InstallerDataSource source = InstallerDataSource::None;
    // False when the trailer was consulted and gave no data: the data must
    // then come from the server.
    bool ready = true;
    // The last source that was present but could not be read, and why.
    InstallerDataSource failedSource = InstallerDataSource::None;
    HRESULT failure = S_OK;
    DebugInstallerDataOutcome debug;  // when the debug value was looked for
    bool debugLookedFor = false;
};

// The sources in order of precedence: file, debug value, trailer. A source
// that is present but cannot be read goes to the diagnostic output.
InitialInstallerData LoadInitialInstallerData(InstallerDataStore& store, const std::wstring& programPath);

// Merges the build configuration's "InstallerData" command line into the store.
void ApplyBuildArguments(InstallerDataStore& store, const BuildConfig& config);

const wchar_t* InstallerDataSourceName(InstallerDataSource source);
