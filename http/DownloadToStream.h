#pragma once
// Fetching one URL into a caller's stream with byte-range resume, retries
// after the policy of http/RetryPolicy.h and a progress callback that can
// cancel. Blocking; runs on the caller's thread. Success means the stream
// holds exactly one whole version of the resource: a resume asks with
// "If-Range" for the version already held and accepts only a 206 whose
// Content-Range continues those bytes; anything else starts over from byte 0.
// A body without a length is refused when the caller needs one; otherwise
// its end is confirmed by asking for the bytes after it (a 416 answer), since
// a body cut short by the network reads like a whole one.
#include <windows.h>
#include <objidl.h>

#include <string>

#include "http/DownloadErrors.h"
#include "http/RetryPolicy.h"

// (bytes of the resource the target holds, length of the whole resource or
// all ones when unknown, percent, context); a negative answer cancels the
// download. The callback is also called during the pauses between attempts,
// so a cancel is heard there too.
using DownloadProgressCallback = HRESULT (*)(ULONGLONG done, ULONGLONG total, ULONG percent, void* context);

const ULONGLONG kUnknownLength = ~0ull;

struct DownloadOptions {
    // A response without Content-Length (or Content-Range) is not read:
    // kDownloadLengthUnknown, retried. The payload and the offers need this.
    bool requireLength = true;
    // More bytes than this end the download with kDownloadTooLarge.
    ULONGLONG maxBytes = kMaxDownloadBytes;
    RetryPolicy retry;
};

// The target must support Write, Seek and SetSize. With the default options.
HRESULT DownloadToStream(const wchar_t* url, IStream* target, DownloadProgressCallback callback, void* context);
HRESULT DownloadToStream(const wchar_t* url, IStream* target, DownloadProgressCallback callback, void* context,
                         const DownloadOptions& options);

// A new, empty, uniquely named file, created exclusively in the process's
// protected working folder (GetWorkFolder), and a writable stream on the
// creating handle (one reference); others may read it, never change it.
HRESULT CreateTempFileStream(const wchar_t* prefix, IStream** stream, std::wstring& path);

// done * 100 / total rounded down; 100 from done >= total, 0 for an unknown
// total; 0x80070216 when the product overflows.
HRESULT ComputePercent(ULONGLONG done, ULONGLONG total, ULONG* percent);
