#include "ui/BitmapFile.h"

#include <cstring>

namespace {
const HRESULT kInvalidBitmap = HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
const size_t kFileHeaderBytes = 14;
// Far beyond any picture of the wizard; keeps the size arithmetic small.
const LONG kLargestSide = 16384;

DWORD ReadDword(const BYTE* p) {
    DWORD value;
    std::memcpy(&value, p, sizeof(value));
    return value;
}
}  // namespace

HRESULT ValidateBitmapFile(const BYTE* bytes, size_t size, BitmapFileLayout& layout) {
    layout = BitmapFileLayout();
    if (!bytes || size < kFileHeaderBytes + sizeof(BITMAPINFOHEADER)) return kInvalidBitmap;
    if (bytes[0] != 'B' || bytes[1] != 'M') return kInvalidBitmap;
    DWORD fileSize = ReadDword(bytes + 2);
    DWORD pixelOffset = ReadDword(bytes + 10);
    if (fileSize > size || pixelOffset > size) return kInvalidBitmap;

    BITMAPINFOHEADER header;
    std::memcpy(&header, bytes + kFileHeaderBytes, sizeof(header));
    if (header.biSize < sizeof(BITMAPINFOHEADER) || header.biSize > size - kFileHeaderBytes) return kInvalidBitmap;
    if (header.biWidth <= 0 || header.biWidth > kLargestSide) return kInvalidBitmap;
    if (header.biHeight == 0 || header.biHeight > kLargestSide || header.biHeight < -kLargestSide) return kInvalidBitmap;
    if (header.biPlanes != 1 || header.biCompression != BI_RGB) return kInvalidBitmap;
    WORD depth = header.biBitCount;
    if (depth != 1 && depth != 4 && depth != 8 && depth != 16 && depth != 24 && depth != 32) return kInvalidBitmap;

    size_t colours = 0;
    if (depth <= 8) {
        size_t most = size_t{1} << depth;
        colours = header.biClrUsed == 0 ? most : header.biClrUsed;
        if (colours > most) return kInvalidBitmap;
    }
    size_t tableEnd = kFileHeaderBytes + header.biSize + colours * sizeof(RGBQUAD);
    if (pixelOffset < tableEnd) return kInvalidBitmap;

    size_t stride = ((static_cast<size_t>(header.biWidth) * depth + 31) / 32) * 4;
    size_t rows = static_cast<size_t>(header.biHeight < 0 ? -header.biHeight : header.biHeight);
    size_t pixelBytes = stride * rows;
    if (size - pixelOffset < pixelBytes) return kInvalidBitmap;

    layout.info = reinterpret_cast<const BITMAPINFO*>(bytes + kFileHeaderBytes);
    layout.pixels = bytes + pixelOffset;
    layout.pixelBytes = pixelBytes;
    return S_OK;
}

HBITMAP CreateBitmapFromFile(const BitmapFileLayout& layout) {
    if (!layout.info || !layout.pixels) return nullptr;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, layout.info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap || !bits) {
        if (bitmap) DeleteObject(bitmap);
        return nullptr;
    }
    std::memcpy(bits, layout.pixels, layout.pixelBytes);
    GdiFlush();
    return bitmap;
}
