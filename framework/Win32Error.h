#pragma once
// Conversions from Win32 error codes to HRESULTs, done where the API is called.
#include <windows.h>

// A positive Win32 code becomes 0x8007xxxx; zero and negative values pass unchanged.
inline HRESULT HResultFromWin32(LONG code) {
    return code <= 0 ? static_cast<HRESULT>(code)
                     : static_cast<HRESULT>((static_cast<ULONG>(code) & 0xFFFF) | 0x80070000u);
}

// The calling thread's last error as an HRESULT (see HResultFromWin32).
inline HRESULT HResultFromLastError() {
    return HResultFromWin32(static_cast<LONG>(GetLastError()));
}

// For a call that reported failure: its last error as an HRESULT, or E_FAIL
// when the platform left no error code, so a failure never reads as success.
inline HRESULT FailureFromLastError() {
    HRESULT hr = HResultFromLastError();
    return FAILED(hr) ? hr : E_FAIL;
}
