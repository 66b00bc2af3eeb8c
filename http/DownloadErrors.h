#pragma once
// The download's own failure codes, for answers that leave a file that cannot
// be trusted whole. Their texts for people are in tools/common/FailureText.cpp.
#include <windows.h>

// The server did not say how long the file is, and the caller needs to know
// (a body of unknown length that ends early reads like a whole one).
const HRESULT kDownloadLengthUnknown = static_cast<HRESULT>(0x80040A01);
// The server sent the file in a content coding (Content-Encoding other than
// identity): the bytes are not the file's own.
const HRESULT kDownloadContentEncoded = static_cast<HRESULT>(0x80040A02);
// The file is longer than any download of the program may be (kMaxDownloadBytes).
const HRESULT kDownloadTooLarge = HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE);
// Bytes that do not fit together (a length or range that does not match what
// was asked for or what arrived).
const HRESULT kDownloadLengthMismatch = static_cast<HRESULT>(0x800C0008);  // INET_E_DOWNLOAD_FAILURE

// The most bytes one download may put into its target. The payload and the
// offers are installer packages of some tens of MiB; 2 GiB is more than any
// of them reaches (and the most an installer package may be), while a server
// that sends an endless body stops long before it fills an ordinary disk.
const unsigned long long kMaxDownloadBytes = 2ull * 1024 * 1024 * 1024;

