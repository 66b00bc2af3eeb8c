#include "ui/ScreenDpi.h"

#include <objidl.h>  // gdiplus.h needs PROPID, which lean windows.h leaves out
#include <gdiplus.h>

#include <cstdlib>
#include <algorithm>
#include <map>
#include <tuple>

#include "ui/GdiObjects.h"
#include "ui/MemoryDC.h"

namespace {
// Scaled copies by (source bitmap, width, height); the sources live in the image
// cache until the process ends, so their handles stay unique keys.
class ScaledBitmaps {
public:
    ScaledBitmaps() = default;
    ~ScaledBitmaps() {
        for (auto& entry : m_bitmaps) DeleteObject(entry.second);
    }
    ScaledBitmaps(const ScaledBitmaps&) = delete;
    ScaledBitmaps& operator=(const ScaledBitmaps&) = delete;

    HBITMAP Find(HBITMAP source, SIZE size) const {
        auto found = m_bitmaps.find({source, size.cx, size.cy});
        return found != m_bitmaps.end() ? found->second : nullptr;
    }
    void Keep(HBITMAP source, SIZE size, HBITMAP scaled) { m_bitmaps[{source, size.cx, size.cy}] = scaled; }

private:
    std::map<std::tuple<HBITMAP, LONG, LONG>, HBITMAP> m_bitmaps;
};

ScaledBitmaps& TheScaledBitmaps() {
    static ScaledBitmaps bitmaps;
    return bitmaps;
}

// A top-down 32-bit section of that size, compatible with the screen.
HBITMAP CreateSection(int width, int height) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    return CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
}
}  // namespace

int WindowDpi(HWND window) {
    ScopedWindowDC dc(window);
    int dpi = dc.Get() ? GetDeviceCaps(dc.Get(), LOGPIXELSY) : 0;
    return dpi > 0 ? dpi : kDesignDpi;
}

int ScaleToDpi(int pixels, int dpi) { return MulDiv(pixels, dpi, kDesignDpi); }

bool DrawBitmapSmoothly(HDC dc, HBITMAP bitmap, const RECT& target) {
    Gdiplus::Graphics graphics(dc);
    if (graphics.GetLastStatus() != Gdiplus::Ok) return false;
    Gdiplus::Bitmap picture(bitmap, nullptr);
    if (picture.GetLastStatus() != Gdiplus::Ok) return false;
    graphics.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
    graphics.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHighQuality);
    // Mirrored edges: the border pixels are not blended with transparent black.
    Gdiplus::ImageAttributes edges;
    edges.SetWrapMode(Gdiplus::WrapModeTileFlipXY);
    graphics.DrawImage(&picture,
                       Gdiplus::Rect(target.left, target.top, target.right - target.left, target.bottom - target.top),
                       0, 0, static_cast<INT>(picture.GetWidth()), static_cast<INT>(picture.GetHeight()),
                       Gdiplus::UnitPixel, &edges);
    return graphics.GetLastStatus() == Gdiplus::Ok;
}

SIZE ScaledImageSize(SIZE image, int dpi, SIZE room) {
    SIZE size = {ScaleToDpi(image.cx, dpi), ScaleToDpi(image.cy, dpi)};
    if (room.cx <= 0 || room.cy <= 0 || image.cx <= 0 || image.cy <= 0) return size;
    if (size.cx <= room.cx && size.cy <= room.cy) return size;
    // Too large for its place: as large as fits, in proportion.
    double fit = std::min(static_cast<double>(room.cx) / image.cx, static_cast<double>(room.cy) / image.cy);
    fit = std::max(fit, 1.0);
    if (fit * kDesignDpi >= dpi) return size;
    return {static_cast<LONG>(image.cx * fit + 0.5), static_cast<LONG>(image.cy * fit + 0.5)};
}

HBITMAP ScaledBitmap(HBITMAP bitmap, SIZE size) {
    if (!bitmap || size.cx <= 0 || size.cy <= 0) return bitmap;
    BITMAP info = {};
    if (!GetObjectW(bitmap, sizeof(info), &info) || info.bmWidth <= 0 || info.bmHeight == 0) return bitmap;
    if (size.cx == info.bmWidth && size.cy == std::abs(info.bmHeight)) return bitmap;
    if (HBITMAP scaled = TheScaledBitmaps().Find(bitmap, size)) return scaled;
    const int width = size.cx, height = size.cy;
    ScopedBitmap scaled(CreateSection(width, height));
    CMemoryDC memoryDc(nullptr);
    if (!scaled || !memoryDc) return bitmap;
    {
        ScopedSelection selection(memoryDc.Get(), scaled.Get());
        RECT target = {0, 0, width, height};
        if (!DrawBitmapSmoothly(memoryDc.Get(), bitmap, target)) {
            // Without GDI+: the platform's averaging stretch.
            CMemoryDC sourceDc(nullptr);
            if (!sourceDc) return bitmap;
            ScopedSelection source(sourceDc.Get(), bitmap);
            SetStretchBltMode(memoryDc.Get(), HALFTONE);
            SetBrushOrgEx(memoryDc.Get(), 0, 0, nullptr);
            if (!StretchBlt(memoryDc.Get(), 0, 0, width, height, sourceDc.Get(), 0, 0, info.bmWidth,
                            std::abs(info.bmHeight), SRCCOPY)) {
                return bitmap;
            }
        }
    }
    HBITMAP result = scaled.Release();
    TheScaledBitmaps().Keep(bitmap, size, result);
    return result;
}
