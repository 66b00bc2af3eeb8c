#pragma once
// Pixel sizes for the screen's DPI. The program is system-DPI aware (its
// manifest says so): one DPI holds for the whole run, and every pixel
// constant of the user interface is scaled from 96 DPI by it. Images are
// resampled smoothly to their scaled size. User-interface thread only.
#include <windows.h>

const int kDesignDpi = 96;

// The vertical pixels per inch of the window's device context; kDesignDpi
// when there is none.
int WindowDpi(HWND window);

// pixels at kDesignDpi, scaled to dpi (rounded).
int ScaleToDpi(int pixels, int dpi);

// The size at dpi of an image of that size at kDesignDpi, kept within room
// (the place a layout in dialog units gives it, which grows with the dialog
// font rather than exactly with the DPI) but never below the image's own size.
// An empty room does not limit.
SIZE ScaledImageSize(SIZE image, int dpi, SIZE room);

// The bitmap resampled smoothly to size; the bitmap itself at its own size
// or when scaling fails. Scaled copies are kept per bitmap and size until the
// process ends (the caller does not own the handle).
HBITMAP ScaledBitmap(HBITMAP bitmap, SIZE size);

// Draws bitmap stretched into target with smooth resampling through GDI+;
// false, with nothing drawn, when GDI+ is not running.
bool DrawBitmapSmoothly(HDC dc, HBITMAP bitmap, const RECT& target);
