// fetch-probe URL OUTFILE [BUFFER_BYTES]: downloads URL into OUTFILE with
// nothing but the flat WinHTTP calls and a plain read-write loop (no proxy
// discovery, no COM, no resume), so its speed is what WinHTTP itself allows.
// The buffer defaults to 4 MiB (the download stream itself reads 64 KiB at a time).
#include <windows.h>
#include <winhttp.h>

#include <cstdio>
#include <cwchar>
#include <memory>
#include <new>
#include <string>

#include "framework/ScopedHandles.h"
#include "http/InternetHandle.h"

namespace {
const DWORD kDefaultBufferBytes = 4 * 1024 * 1024;

int Fail(const wchar_t* what, const wchar_t* subject) {
    DWORD error = GetLastError();
    std::fwprintf(stderr, L"fetch-probe: %ls failed with 0x%08X: %ls\n", what,
                  static_cast<unsigned>(HRESULT_FROM_WIN32(error)), subject);
    return 1;
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3 || argc > 4) {
        std::fwprintf(stderr, L"usage: fetch-probe URL OUTFILE [BUFFER_BYTES]\n");
        return 2;
    }
    const wchar_t* url = argv[1];
    const wchar_t* outputPath = argv[2];
    DWORD bufferBytes = argc == 4 ? std::wcstoul(argv[3], nullptr, 10) : kDefaultBufferBytes;
    if (bufferBytes == 0) {
        std::fwprintf(stderr, L"fetch-probe: the buffer size must be a positive number\n");
        return 2;
    }

    URL_COMPONENTS parts = {};
    parts.dwStructSize = sizeof(parts);
    parts.dwHostNameLength = static_cast<DWORD>(-1);
    parts.dwUrlPathLength = static_cast<DWORD>(-1);
    parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    if (!WinHttpCrackUrl(url, 0, 0, &parts)) return Fail(L"WinHttpCrackUrl", url);
    std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    std::wstring path(parts.lpszUrlPath, parts.dwUrlPathLength);
    if (parts.lpszExtraInfo) path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);

    WinHTTP::ScopedInternetHandle session(
        WinHttpOpen(L"fetch-probe", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session) return Fail(L"WinHttpOpen", url);
    WinHTTP::ScopedInternetHandle connection(WinHttpConnect(session.Get(), host.c_str(), parts.nPort, 0));
    if (!connection) return Fail(L"WinHttpConnect", url);
    DWORD secure = parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0;
    WinHTTP::ScopedInternetHandle request(WinHttpOpenRequest(connection.Get(), L"GET", path.c_str(), nullptr,
                                                             WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, secure));
    if (!request) return Fail(L"WinHttpOpenRequest", url);
    if (!WinHttpSendRequest(request.Get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0)) {
        return Fail(L"WinHttpSendRequest", url);
    }
    if (!WinHttpReceiveResponse(request.Get(), nullptr)) return Fail(L"WinHttpReceiveResponse", url);
    DWORD status = 0;
    DWORD statusSize = sizeof(status);
    if (!WinHttpQueryHeaders(request.Get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status, &statusSize, WINHTTP_NO_HEADER_INDEX)) {
        return Fail(L"WinHttpQueryHeaders", url);
    }
    if (status != 200) {
        std::fwprintf(stderr, L"fetch-probe: HTTP status %lu: %ls\n", status, url);
        return 1;
    }

    ScopedHandle output(CreateFileW(outputPath, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!output) return Fail(L"CreateFileW", outputPath);
    std::unique_ptr<BYTE[]> buffer(new (std::nothrow) BYTE[bufferBytes]);
    if (!buffer) {
        SetLastError(ERROR_OUTOFMEMORY);
        return Fail(L"allocating the buffer", url);
    }
    ULONGLONG total = 0;
    while (true) {
        DWORD read = 0;
        if (!WinHttpReadData(request.Get(), buffer.get(), bufferBytes, &read)) return Fail(L"WinHttpReadData", url);
        if (read == 0) break;
        DWORD written = 0;
        if (!WriteFile(output.Get(), buffer.get(), read, &written, nullptr) || written != read) {
            return Fail(L"WriteFile", outputPath);
        }
        total += read;
    }
    std::wprintf(L"%llu bytes\n", total);
    return 0;
}
