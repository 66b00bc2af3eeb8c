#include "config/InstallerDataLock.h"
#include "config/InstallerDataServerUpdate.h"

#include <shlwapi.h>

#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "build_options.h"
#include "config/InstallerDataAnswer.h"
#include "config/InstallerDataStore.h"
#include "config/ServerAnswerKeys.h"
#include "framework/ComPtr.h"
#include "framework/DiagnosticOutput.h"
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

// The bytes of a memory stream, from its start; the stream holds at most
// kMaxInstallerDataAnswerBytes.
HRESULT ReadAll(IStream* stream, std::string& bytes) {
    LARGE_INTEGER start = {};
    HRESULT hr = stream->Seek(start, STREAM_SEEK_SET, nullptr);
    if (FAILED(hr)) return hr;
    char buffer[4096];
    while (true) {
        ULONG read = 0;
        hr = stream->Read(buffer, sizeof(buffer), &read);
        if (FAILED(hr)) return hr;
        if (read == 0) return S_OK;
        try {
            bytes.append(buffer, read);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
    }
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
                                     const std::wstring& productName, const BuildConfig* config,
                                     InstallerDataLock* storeLock) {
    if (programPath.empty()) return S_FALSE;  // no own path: no request at all
    std::wstring token;
    bool hasToken = ExtractFileNameToken(programPath, token);
    std::wstring url = BuildInstallerDataRequestUrl(endpoint, hasToken ? token : L"", hasToken ? L"" : ReadInstalledUpl(productName));
    std::string body = BuildInstallerDataRequestBody(machineId);

    ComPtr<IStream> response;
    WinHTTP::PostJsonAnswer answer;
    answer.maxBytes = kMaxInstallerDataAnswerBytes;
    std::string bytes;
    HRESULT hr = CreateStreamOnHGlobal(nullptr, TRUE, response.Receive());
    if (SUCCEEDED(hr)) {
        hr = WinHTTP::PostJson(url.c_str(), body.c_str(), static_cast<DWORD>(body.size()), response.Get(), &answer);
    }
    if (SUCCEEDED(hr)) hr = ReadAll(response.Get(), bytes);
    InstallerDataStore answerData;
    if (SUCCEEDED(hr)) hr = ParseInstallerDataAnswer(answerData, answer.contentType, bytes.c_str(), bytes.size());
    if (SUCCEEDED(hr)) {
        if (storeLock) {
            InstallerDataLock::Write write(*storeLock);
            hr = ApplyServerAnswer(answerData, config, store);
        } else {
            hr = ApplyServerAnswer(answerData, config, store);
        }
    }
    if (FAILED(hr)) {
        wchar_t line[96];
        std::swprintf(line, ARRAYSIZE(line), L"Installer data update failed: 0x%08X, ", static_cast<unsigned>(hr));
        WriteDiagnostic((line + url + L"\n").c_str());
        if (tracker) tracker->TrackWindowsError(hr, L"", L"fetchInstallerData");
    }
    return hr;
}
