#pragma once
// When a download tries again, and how long it pauses first. All the numbers
// are here, with their reasons; DownloadToStream only asks.
#include <windows.h>

#include <string>

struct RetryPolicy {
    // Attempts in a row that add nothing to the file before the download gives
    // up. An attempt that adds bytes starts the count again, so a long
    // transfer over a line that drops now and then still ends.
    int maxAttemptsWithoutProgress = 5;
    // The pause after the first failure without progress; it doubles with
    // each further one (1, 2, 4, 8 s), which rides out a server restart or a
    // short network loss without hammering an overloaded server.
    DWORD firstPauseMs = 1000;
    DWORD maxPauseMs = 30000;
    // A server's Retry-After is honoured up to this long; a longer wish is cut
    // to it rather than keeping the person at the wizard waiting for minutes.
    DWORD maxRetryAfterMs = 60000;
    // No attempt starts once the download has run this long: attempts that
    // each add a little would otherwise go on for ever. One hour holds the
    // largest payload on a slow line with drops.
    ULONGLONG maxTotalMs = 60ull * 60 * 1000;
};

const DWORD kNoRetryAfter = ~0u;

// An HTTP status that may change when asked again: 408, 429 and everything
// that is not a 4xx (5xx, a redirection WinHTTP did not follow). 404, 410
// and the other 4xx answers stay the same, so they end the download.
bool IsRetriableStatus(long status);

// A certificate problem of an HTTPS server (unknown authority, wrong name,
// bad date or usage, revoked, invalid) or a secure channel that could not be
// set up: the same answer comes again, so it ends the download at once.
bool IsCertificateFailure(HRESULT hr);

// The pause before the next attempt after failuresInARow (1 or more)
// attempts without progress; retryAfterMs is the server's wish or
// kNoRetryAfter.
DWORD PauseBeforeNextAttempt(const RetryPolicy& policy, int failuresInARow, DWORD retryAfterMs);

// Whether another attempt may start after failuresInARow attempts without
// progress, elapsedMs into the download, with pauseMs still to wait.
bool MayTryAgain(const RetryPolicy& policy, int failuresInARow, ULONGLONG elapsedMs, DWORD pauseMs);

// A Retry-After value: delay seconds, or an HTTP date compared with now (UTC).
// False for anything else. A date in the past gives 0.
bool ParseRetryAfter(const std::wstring& text, const SYSTEMTIME& now, DWORD& delayMs);
