#include "http/RetryPolicy.h"

#include <winhttp.h>

#include "http/ResponseHeaders.h"

bool IsRetriableStatus(long status) {
    if (status == 408 || status == 429) return true;
    return status < 400 || status > 499;
}

bool IsCertificateFailure(HRESULT hr) {
    if ((static_cast<ULONG>(hr) & 0xFFFF0000u) != 0x80070000u) return false;
    switch (static_cast<DWORD>(hr) & 0xFFFFu) {
        case ERROR_WINHTTP_SECURE_FAILURE:
        case ERROR_WINHTTP_SECURE_INVALID_CA:
        case ERROR_WINHTTP_SECURE_CERT_DATE_INVALID:
        case ERROR_WINHTTP_SECURE_CERT_CN_INVALID:
        case ERROR_WINHTTP_SECURE_CERT_WRONG_USAGE:
        case ERROR_WINHTTP_SECURE_CERT_REVOKED:
        case ERROR_WINHTTP_SECURE_INVALID_CERT:
        // The secure channel could not be set up; Wine reports a certificate
        // that failed its check this way (after logging the reason).
        case ERROR_WINHTTP_SECURE_CHANNEL_ERROR:
            return true;
        default:
            return false;
    }
}

DWORD PauseBeforeNextAttempt(const RetryPolicy& policy, int failuresInARow, DWORD retryAfterMs) {
    ULONGLONG pause = policy.firstPauseMs;
    for (int i = 1; i < failuresInARow && pause < policy.maxPauseMs; ++i) pause *= 2;
    if (pause > policy.maxPauseMs) pause = policy.maxPauseMs;
    if (retryAfterMs != kNoRetryAfter) {
        const DWORD wish = retryAfterMs < policy.maxRetryAfterMs ? retryAfterMs : policy.maxRetryAfterMs;
        if (wish > pause) pause = wish;
    }
    return static_cast<DWORD>(pause);
}

bool MayTryAgain(const RetryPolicy& policy, int failuresInARow, ULONGLONG elapsedMs, DWORD pauseMs) {
    if (failuresInARow >= policy.maxAttemptsWithoutProgress) return false;
    return elapsedMs + pauseMs <= policy.maxTotalMs;
}

bool ParseRetryAfter(const std::wstring& text, const SYSTEMTIME& now, DWORD& delayMs) {
    ULONGLONG seconds = 0;
    if (ParseDecimal(text, seconds)) {
        delayMs = seconds >= 0xFFFFFFFFull / 1000 ? 0xFFFFFFFEu : static_cast<DWORD>(seconds * 1000);
        return true;
    }
    SYSTEMTIME when = {};
    if (text.size() < 20 || !WinHttpTimeToSystemTime(text.c_str(), &when)) return false;
    FILETIME whenFile = {}, nowFile = {};
    if (!SystemTimeToFileTime(&when, &whenFile) || !SystemTimeToFileTime(&now, &nowFile)) return false;
    ULARGE_INTEGER a = {}, b = {};
    a.LowPart = whenFile.dwLowDateTime;
    a.HighPart = whenFile.dwHighDateTime;
    b.LowPart = nowFile.dwLowDateTime;
    b.HighPart = nowFile.dwHighDateTime;
    if (a.QuadPart <= b.QuadPart) {
        delayMs = 0;
        return true;
    }
    const ULONGLONG ms = (a.QuadPart - b.QuadPart) / 10000;
    delayMs = ms >= 0xFFFFFFFEull ? 0xFFFFFFFEu : static_cast<DWORD>(ms);
    return true;
}
