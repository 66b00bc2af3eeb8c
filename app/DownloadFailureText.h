#pragma once
// Failures of a download told in words a person can act on: the server
// could not be reached, the file is not there, the download was interrupted.
// The error box shows the words followed by the code, for support.
#include <windows.h>

// The string-table text for a download failure's code (an HTTP status or a
// platform HTTP error as an HRESULT); 0 for any other code.
UINT DownloadFailureMessageId(HRESULT code);
