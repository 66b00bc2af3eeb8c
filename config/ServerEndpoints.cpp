#include "config/ServerEndpoints.h"

#include "build_options.h"

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
