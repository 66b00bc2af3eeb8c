// wrenstall-check fetch URL OUTFILE: downloads URL into OUTFILE the way the
// wizard fetches its payload, with progress on standard error and the result
// last on standard output. OUTFILE appears only when the download succeeded.
#include <windows.h>
#include <shlwapi.h>

#include <cstdio>

#include "CheckCommands.h"
#include "ConsoleOutput.h"
#include "OutputFile.h"
#include "framework/ComPtr.h"
#include "framework/PlatformSessions.h"
#include "http/DownloadToStream.h"

namespace {
struct ProgressState {
    ULONG lastPercent = ~0u;
    ULONGLONG lastTotal = 0;
};

HRESULT ReportProgress(ULONGLONG done, ULONGLONG total, ULONG percent, void* context) {
    auto* state = static_cast<ProgressState*>(context);
    // One line per percent step (and for every new response), not per chunk.
    if (percent == state->lastPercent && total == state->lastTotal && done > 0) return S_OK;
    state->lastPercent = percent;
    state->lastTotal = total;
    wchar_t line[128];
    if (total == kUnknownLength) {
        std::swprintf(line, 128, L"progress: %llu bytes\n", done);
    } else {
        std::swprintf(line, 128, L"progress: %llu of %llu bytes (%lu%%)\n", done, total, percent);
    }
    PrintError(line);
    return S_OK;
}
}  // namespace

int RunFetchCommand(const CheckArguments& arguments) {
    if (arguments.size() != 2) {
        PrintError(L"usage: wrenstall-check fetch URL OUTFILE\n");
        return 2;
    }
    const std::wstring& url = arguments[0];
    OutputFile output(arguments[1]);
    ScopedComApartment apartment;
    apartment.Initialize();
    ComPtr<IStream> target;
    HRESULT hr = SHCreateStreamOnFileEx(output.TemporaryPath().c_str(), STGM_CREATE | STGM_WRITE | STGM_SHARE_DENY_NONE,
                                        FILE_ATTRIBUTE_NORMAL, TRUE, nullptr, target.Receive());
    if (FAILED(hr)) {
        PrintFailure(L"creating " + output.TemporaryPath(), hr);
    } else {
        ProgressState state;
        hr = DownloadToStream(url.c_str(), target.Get(), ReportProgress, &state);
        target.Reset();
        if (FAILED(hr)) {
            PrintFailure(L"downloading " + url, hr);
        } else if (FAILED(hr = output.Commit())) {
            PrintFailure(L"moving the download to " + output.Path(), hr);
        }
    }
    PrintResult(hr);
    return SUCCEEDED(hr) ? 0 : 1;
}
