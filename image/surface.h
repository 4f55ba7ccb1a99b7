// Bitmap surfaces: a device-independent bitmap section with the header that describes it. The
// RCT decoder writes straight into a surface's pixel memory and the menu paints it 1:1, with no
// intermediate buffer or conversion. Every surface not yet released is in the live-surface list,
// newest first.
#pragma once
#include <windows.h>
#include <stdint.h>

struct BitmapSurface {
    int32_t width;
    int32_t height;      // never negative: the requested height's absolute value
    int32_t stride;      // bytes from one pixel row to the next
    int32_t keep;        // nonzero: a release without force leaves the surface alone
    int32_t palettized;  // nonzero: 8 bits per pixel with a 256-entry palette; else 24 bits
    BITMAPINFOHEADER* info;  // owned; for 8-bit surfaces followed by the palette
    RGBQUAD* palette;        // 8-bit surfaces: the first palette entry inside `info`; else null
    void* bits;              // pixel memory, owned by `bitmap`
    HBITMAP bitmap;
    BitmapSurface* prev;     // nearer the head of the live-surface list
    BitmapSurface* next;
};

// A positive height gives a top-down bitmap (first row in memory is the top row), a negative one
// a bottom-up bitmap. Returns a complete surface, or null (after releasing whatever it made) when
// memory or the bitmap section cannot be had or the size is unusable.
BitmapSurface* CreateSurface(int32_t width, int32_t height, int32_t palettized, int32_t keep);
BitmapSurface* CreateTrueColorSurface(int32_t width, int32_t height, int32_t keep);
// 0 when released (or null), 1 when kept because of `keep` without `force`.
int32_t ReleaseSurface(BitmapSurface* surface, int32_t force);
// Head of the live-surface list (the newest surface), null when there is none.
BitmapSurface* GetLiveSurfaces();
