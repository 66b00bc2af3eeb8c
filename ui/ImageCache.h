#pragma once
// The process-wide cache of the type-34 images: bzip2-compressed bitmap files
// kept in the resources. Each resource is decoded once per process (failures
// too) and its bitmap lives until the process ends. User-interface thread
// only: the cache is not locked.
#include <windows.h>

#include <cstddef>
#include <vector>

// The bitmap of image resource id, or null when it is missing, does not
// decompress or is no valid bitmap file. The cache owns the handle.
HBITMAP GetImage(UINT id);

// Decompresses a whole bzip2 stream. The buffer starts at 1 MiB and doubles
// while it is too small, up to kLargestDecompressedImage. S_OK or an error.
HRESULT DecompressImage(const void* data, size_t size, std::vector<BYTE>& bytes);
const size_t kLargestDecompressedImage = 64u << 20;

// Decompression, validation and bitmap creation without the cache; the
// caller owns the bitmap, which is null on any failure (the HRESULT says which).
HRESULT DecodeCompressedImage(const void* data, size_t size, HBITMAP& bitmap);
