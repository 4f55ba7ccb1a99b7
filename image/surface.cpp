// Bitmap surfaces (see surface.h).
#include "image/surface.h"

#include <cstdlib>
#include <cstring>

#include "ui/alloc.h"

enum { kPaletteEntries = 256 };

static BitmapSurface* g_liveSurfaces;

BitmapSurface* GetLiveSurfaces() { return g_liveSurfaces; }

// Row stride rounded up to 4 bytes; -1 when the row or the whole picture would not fit 31 bits.
static int32_t ComputeStride(int32_t width, int32_t rows, bool palettized) {
    int64_t rowBytes = palettized ? (int64_t)width : (int64_t)width * 3;
    int64_t stride = (rowBytes + 3) / 4 * 4;
    if (width <= 0 || rows <= 0 || stride > INT32_MAX / rows) return -1;
    return (int32_t)stride;
}

BitmapSurface* CreateSurface(int32_t width, int32_t height, int32_t palettized, int32_t keep) {
    int32_t rows = height == INT32_MIN ? -1 : abs(height);
    int32_t stride = ComputeStride(width, rows, palettized != 0);
    if (stride < 0) return nullptr;

    BitmapSurface* surface = (BitmapSurface*)AllocOrWarn(sizeof(BitmapSurface));
    if (!surface) return nullptr;
    memset(surface, 0, sizeof *surface);
    surface->palettized = palettized;
    surface->width = width;
    surface->height = rows;
    surface->keep = keep;
    surface->stride = stride;

    size_t infoSize = sizeof(BITMAPINFOHEADER) + (palettized ? kPaletteEntries * sizeof(RGBQUAD) : 0);
    surface->info = (BITMAPINFOHEADER*)AllocOrWarn(infoSize);
    if (!surface->info) {
        free(surface);
        return nullptr;
    }
    memset(surface->info, 0, infoSize);
    if (palettized) {
        surface->palette = (RGBQUAD*)(surface->info + 1);
        surface->info->biClrUsed = kPaletteEntries;
    }
    surface->info->biSize = sizeof(BITMAPINFOHEADER);
    surface->info->biWidth = width;
    surface->info->biHeight = -height;
    surface->info->biPlanes = 1;
    surface->info->biBitCount = palettized ? 8 : 24;

    HDC dc = CreateCompatibleDC(NULL);
    surface->bitmap = CreateDIBSection(dc, (BITMAPINFO*)surface->info, DIB_RGB_COLORS,
                                       &surface->bits, NULL, 0);
    DeleteDC(dc);
    if (!surface->bitmap || !surface->bits) {
        if (surface->bitmap) DeleteObject(surface->bitmap);
        free(surface->info);
        free(surface);
        return nullptr;
    }

    surface->next = g_liveSurfaces;
    if (g_liveSurfaces) g_liveSurfaces->prev = surface;
    g_liveSurfaces = surface;
    return surface;
}

BitmapSurface* CreateTrueColorSurface(int32_t width, int32_t height, int32_t keep) {
    return CreateSurface(width, height, 0, keep);
}

int32_t ReleaseSurface(BitmapSurface* surface, int32_t force) {
    if (!surface) return 0;
    if (!force && surface->keep) return 1;
    if (surface->prev) {
        surface->prev->next = surface->next;
    } else {
        g_liveSurfaces = surface->next;
    }
    if (surface->next) surface->next->prev = surface->prev;
    DeleteObject(surface->bitmap);
    free(surface->info);
    free(surface);
    return 0;
}
