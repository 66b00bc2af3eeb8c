#pragma once
// Fetching one URL into a caller's stream with byte-range resume, 5 attempts
// and a progress callback that can cancel. Blocking; runs on the caller's
// thread. Success means the stream holds exactly one version of the resource:
// a resume needs a known total, asks with "If-Range" for the version already
// held, and accepts only a 206 whose Content-Range continues those bytes;
// anything else starts over from byte 0. (A body sent without any length that
// ends early reads like a whole one: nothing tells them apart.)
#include <windows.h>
#include <objidl.h>

#include <string>

// (bytes of the current response, length of the whole resource or all ones
// when unknown, percent, context); a negative answer cancels the download.
using DownloadProgressCallback = HRESULT (*)(ULONGLONG done, ULONGLONG total, ULONG percent, void* context);

const ULONGLONG kUnknownLength = ~0ull;

// The target must support Write, Seek and SetSize.
HRESULT DownloadToStream(const wchar_t* url, IStream* target, DownloadProgressCallback callback, void* context);

// A new, empty, uniquely named file, created exclusively in the process's
// protected working folder (GetWorkFolder), and a writable stream on the
// creating handle (one reference); others may read it, never change it.
HRESULT CreateTempFileStream(const wchar_t* prefix, IStream** stream, std::wstring& path);

// done * 100 / total rounded down; 100 from done >= total, 0 for an unknown
// total; 0x80070216 when the product overflows.
HRESULT ComputePercent(ULONGLONG done, ULONGLONG total, ULONG* percent);
