#include "app/DownloadFailureText.h"

#include "resources/resource.h"

namespace {
// HTTP statuses travel as 0x8019xxxx with the status in the low word.
const HRESULT kHttpStatusBase = static_cast<HRESULT>(0x80190000);
// Platform HTTP errors (12000 to 12192) as HRESULTs of the Win32 facility.
const DWORD kFirstHttpError = 12000, kLastHttpError = 12192;

bool IsHttpStatus(HRESULT code, DWORD& status) {
    if ((code & static_cast<HRESULT>(0xFFFF0000)) != kHttpStatusBase) return false;
    status = static_cast<DWORD>(code) & 0xFFFF;
    return true;
}

bool IsHttpError(HRESULT code, DWORD& error) {
    if (HRESULT_FACILITY(code) != FACILITY_WIN32 || !FAILED(code)) return false;
    error = HRESULT_CODE(code);
    return error >= kFirstHttpError && error <= kLastHttpError;
}
}  // namespace

UINT DownloadFailureMessageId(HRESULT code) {
    DWORD status = 0;
    if (IsHttpStatus(code, status)) {
        if (status == 404 || status == 410) return IDS_DOWNLOAD_NOT_FOUND;
        return IDS_DOWNLOAD_UNREACHABLE;
    }
    DWORD error = 0;
    // Wine reports a request whose time bound ran out as the socket's own
    // error (WSAETIMEDOUT).
    if (code == HRESULT_FROM_WIN32(10060)) return IDS_DOWNLOAD_NO_ANSWER;
    if (!IsHttpError(code, error)) return 0;
    switch (error) {
        case 12030:  // the connection was ended
        case 12031:  // the connection was reset
        case 12152:  // the server's answer could not be read
        case 12017:  // the operation was stopped
            return IDS_DOWNLOAD_INTERRUPTED;
        case 12002:  // a request's time bound ran out
            return IDS_DOWNLOAD_NO_ANSWER;
        default:  // name not resolved, no connection, ...
            return IDS_DOWNLOAD_UNREACHABLE;
    }
}
