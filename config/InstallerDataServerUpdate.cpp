#include "config/InstallerDataServerUpdate.h"

#include <shlwapi.h>

#include <string>
#include <vector>

#include "config/InstallerDataStore.h"
#include "framework/ComPtr.h"
#include "framework/GuidText.h"
#include "http/PostJson.h"
#include "services/EventTracker.h"
#include "services/SystemProbes.h"

namespace {
const size_t kTokenChars = 36;

std::wstring DropThroughFirstHyphen(const std::wstring& text) {
    size_t hyphen = text.find(L'-');
    return hyphen == std::wstring::npos ? text : text.substr(hyphen + 1);
}

// The bytes of a memory stream, from its start.
std::string ReadAll(IStream* stream) {
    std::string bytes;
    LARGE_INTEGER start = {};
    stream->Seek(start, STREAM_SEEK_SET, nullptr);
    char buffer[4096];
    ULONG read = 0;
    while (SUCCEEDED(stream->Read(buffer, sizeof(buffer), &read)) && read > 0) bytes.append(buffer, read);
    return bytes;
}
}  // namespace

bool ExtractFileNameToken(const std::wstring& programPath, std::wstring& token) {
    std::vector<wchar_t> path(programPath.begin(), programPath.end());
    path.push_back(L'\0');
    path.resize(path.size() + MAX_PATH);
    PathRemoveExtensionW(path.data());
    const wchar_t* name = PathFindFileNameW(path.data());
    if (!name) return false;
    std::wstring rest = DropThroughFirstHyphen(DropThroughFirstHyphen(name));
    if (rest.size() < kTokenChars) return false;
    std::wstring candidate = rest.substr(0, kTokenChars);
    for (size_t position : {8u, 13u, 18u, 23u}) {
        if (candidate[position] != L'-') return false;
    }
    token = candidate;
    return true;
}

std::wstring BuildInstallerDataRequestUrl(const std::wstring& endpoint, const std::wstring& token,
                                          const std::wstring& upl) {
    if (!token.empty()) return endpoint + L"/rpc/installer-data/" + token;
    std::wstring url = endpoint + L"/rpc/installer-data-update";
    if (!upl.empty()) url += L"?upl=" + upl;
    return url;
}

std::string BuildInstallerDataRequestBody(const GUID& machineId) {
    if (IsZeroGuid(machineId)) return {};
    wchar_t text[40];
    if (StringFromGUID2(machineId, text, 40) != 39) return {};
    std::string id;
    for (int i = 1; i < 37; ++i) id += static_cast<char>(text[i]);  // without the braces
    return "{\"machineId\": \"" + id + "\"}";
}

HRESULT FetchInstallerDataFromServer(InstallerDataStore& store, const std::wstring& endpoint,
                                     const std::wstring& programPath, const GUID& machineId, EventTracker* tracker,
                                     const std::wstring& productName) {
    if (programPath.empty()) return S_FALSE;  // no own path: no request at all
    std::wstring token;
    bool hasToken = ExtractFileNameToken(programPath, token);
    std::wstring url = BuildInstallerDataRequestUrl(endpoint, hasToken ? token : L"", hasToken ? L"" : ReadInstalledUpl(productName));
    std::string body = BuildInstallerDataRequestBody(machineId);

    ComPtr<IStream> response;
    HRESULT hr = CreateStreamOnHGlobal(nullptr, TRUE, response.Receive());
    if (SUCCEEDED(hr)) hr = WinHTTP::PostJson(url.c_str(), body.c_str(), static_cast<DWORD>(body.size()), response.Get());
    if (FAILED(hr)) {
        if (tracker) tracker->TrackWindowsError(hr, L"", L"fetchInstallerData");
        return hr;
    }
    return store.ParseUtf8(ReadAll(response.Get()).c_str());
}
