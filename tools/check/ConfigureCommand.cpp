// wrenstall-check configure EXE OUT KEY=VALUE...: copies EXE to OUT with its
// build configuration changed, each KEY=VALUE replacing or adding that pair
// (KEY= removes it). Used to point a copy of the wizard at other servers
// ("TrackingEndpoint", "RpcEndpoint", "Payload", ...). A changed resource
// breaks a signature: configure first, then sign.
#include <windows.h>

#include <map>
#include <string>

#include "CheckCommands.h"
#include "ConsoleOutput.h"
#include "config/BuildConfig.h"
#include "framework/ScopedHandles.h"
#include "framework/Win32Error.h"

namespace {
HRESULT WriteBuildConfig(const std::wstring& path, const std::map<std::wstring, std::wstring>& pairs) {
    std::wstring image;
    for (const auto& [key, value] : pairs) image += key + L'\0' + value + L'\0';
    HANDLE update = BeginUpdateResourceW(path.c_str(), FALSE);
    if (!update) return FailureFromLastError();
    if (!UpdateResourceW(update, MAKEINTRESOURCEW(BUILD_CONFIG_RESOURCE_TYPE),
                         MAKEINTRESOURCEW(BUILD_CONFIG_RESOURCE_ID), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                         image.data(), static_cast<DWORD>(image.size() * sizeof(wchar_t)))) {
        HRESULT hr = FailureFromLastError();
        EndUpdateResourceW(update, TRUE);
        return hr;
    }
    return EndUpdateResourceW(update, FALSE) ? S_OK : FailureFromLastError();
}
}  // namespace

int RunConfigureCommand(const CheckArguments& arguments) {
    if (arguments.size() < 2) {
        PrintError(L"usage: wrenstall-check configure EXE OUT KEY=VALUE...\n");
        return 2;
    }
    std::map<std::wstring, std::wstring> pairs;
    {
        BuildConfig config;
        ScopedModule module(LoadLibraryExW(arguments[0].c_str(), nullptr,
                                           LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
        if (!module) {
            HRESULT hr = FailureFromLastError();
            PrintError(L"wrenstall-check: cannot open " + arguments[0] + L"\n");
            PrintResult(hr);
            return 1;
        }
        LoadBuildConfig(config, module.Get());
        pairs = config.Entries();
    }
    for (size_t i = 2; i < arguments.size(); ++i) {
        size_t equals = arguments[i].find(L'=');
        if (equals == std::wstring::npos || equals == 0) {
            PrintError(L"wrenstall-check: expected KEY=VALUE, not " + arguments[i] + L"\n");
            return 2;
        }
        std::wstring key = arguments[i].substr(0, equals);
        std::wstring value = arguments[i].substr(equals + 1);
        if (value.empty()) {
            pairs.erase(key);
        } else {
            pairs[key] = value;
        }
    }
    HRESULT hr = CopyFileW(arguments[0].c_str(), arguments[1].c_str(), FALSE) ? S_OK : FailureFromLastError();
    if (SUCCEEDED(hr)) hr = WriteBuildConfig(arguments[1], pairs);
    if (FAILED(hr)) PrintError(L"wrenstall-check: cannot write " + arguments[1] + L"\n");
    PrintResult(hr);
    return SUCCEEDED(hr) ? 0 : 1;
}
