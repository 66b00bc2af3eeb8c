#pragma once
// A writable, seekable IStream over a file handle that the stream owns and
// closes on its last release. It lets a file that was created exclusively be
// filled through the very handle that created it. Free-threaded reference
// count; the file operations are for one thread at a time.
#include <windows.h>
#include <objidl.h>

#include <string>

#include "framework/ScopedHandles.h"

// A new stream (one reference) owning file; E_OUTOFMEMORY leaves file with the caller.
// With spaceCheckPath (the file's path), writes stop with STG_E_MEDIUMFULL
// before they would leave its volume less than the reserve (framework/DiskSpace.h).
HRESULT CreateFileHandleStream(ScopedHandle& file, IStream** stream, const std::wstring& spaceCheckPath = {});
