#pragma once
// Reading the response headers that a download depends on. A header that is
// missing or malformed reads as absent: these values come from the network.
#include <windows.h>

#include "http/DownloadToStream.h"
#include "http/WinHttpRequestInterface.h"

// Content-Length, or kUnknownLength when it is missing or malformed.
ULONGLONG ReadContentLength(WinHTTP::IWinHttpRequest* request);
