#include "config/ServerEndpoints.h"

#include <cwctype>

#include "build_options.h"
#include "framework/DiagnosticOutput.h"
#include "http/UrlParts.h"
#include "services/PackedVersion.h"

namespace {
// The configured value without a trailing "/", or the built-in host.
std::wstring EndpointOf(const BuildConfig& config, const wchar_t* key, const wchar_t* builtInHost) {
    const wchar_t* configured = config.Get(key);
    if (!configured || !*configured) return std::wstring(L"http://") + builtInHost;
    std::wstring endpoint = configured;
    while (!endpoint.empty() && endpoint.back() == L'/') endpoint.pop_back();
    return endpoint;
}
}  // namespace

std::wstring GetTrackingEndpoint(const BuildConfig& config) {
    return EndpointOf(config, L"TrackingEndpoint", WRENSTALL_TRACKING_HOST);
}

std::wstring GetRpcEndpoint(const BuildConfig& config) { return EndpointOf(config, L"RpcEndpoint", WRENSTALL_RPC_HOST); }

namespace {
bool SameHost(const WinHTTP::UrlParts& a, const WinHTTP::UrlParts& b) {
    if (a.schemeIndex != b.schemeIndex || a.port != b.port || a.host.size() != b.host.size()) return false;
    for (size_t i = 0; i < a.host.size(); ++i) {
        if (std::towlower(a.host[i]) != std::towlower(b.host[i])) return false;
    }
    return true;
}
}  // namespace

bool IsBuildConfigHost(const BuildConfig& config, const std::wstring& url) {
    WinHTTP::UrlParts wanted;
    if (!WinHTTP::SplitUrl(url, wanted) || wanted.host.empty() ||
        (wanted.schemeIndex != WinHTTP::kSchemeHttp && wanted.schemeIndex != WinHTTP::kSchemeHttps)) {
        return false;
    }
    std::vector<std::wstring> known = {GetTrackingEndpoint(config), GetRpcEndpoint(config)};
    if (const wchar_t* payload = config.Get(L"Payload")) {
        std::vector<std::wstring> parts;
        SplitString(payload, L"|", parts);
        if (parts.size() >= 2) known.push_back(parts.back());
    }
    for (const wchar_t* key : {L"NoxUrl", L"GearfreshEnUrl", L"RegistrationPageUrl", L"InstallScanResultUrl"}) {
        if (const wchar_t* value = config.Get(key)) known.push_back(value);
    }
    for (const std::wstring& address : known) {
        WinHTTP::UrlParts parts;
        if (WinHTTP::SplitUrl(address, parts) && SameHost(parts, wanted)) return true;
    }
    return false;
}

const wchar_t* InstallerFinishedNoticeUrl(const BuildConfig& config, const InstallerDataStore& data) {
    const wchar_t* url = data.Get(L"InstallerFinishedS2S");
    if (!url || IsBuildConfigHost(config, url)) return url;
    WriteDiagnostic((std::wstring(L"InstallerFinishedS2S left out: not a host of the build configuration: ") + url +
                     L"\n").c_str());
    return nullptr;
}
