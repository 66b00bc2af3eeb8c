#pragma once
// Windows bitmap files (as stored, decompressed, in the type-34 image
// resources): validation of the headers against the bytes present, and a
// device-independent bitmap section made from them. Any thread.
#include <windows.h>

#include <cstddef>

struct BitmapFileLayout {
    const BITMAPINFO* info = nullptr;  // points into the file bytes
    const BYTE* pixels = nullptr;
    size_t pixelBytes = 0;  // the rows the header describes, all present in the file
};

// S_OK when the bytes are a complete uncompressed bitmap file: "BM", a file
// size and pixel offset inside the bytes, an info header of at least 40 bytes
// with a colour table that fits before the pixels, a sane size and depth, and
// every pixel row present. Otherwise HRESULT_FROM_WIN32(ERROR_INVALID_DATA).
HRESULT ValidateBitmapFile(const BYTE* bytes, size_t size, BitmapFileLayout& layout);

// A DIB section holding the pixels of a validated file; null on failure.
// The caller owns it.
HBITMAP CreateBitmapFromFile(const BitmapFileLayout& layout);
