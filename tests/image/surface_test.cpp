// Bitmap surfaces with real bitmap sections: strides, header blocks, the live-surface list.
#include <gtest/gtest.h>
#include <windows.h>

#include "image/surface.h"

namespace {

TEST(Surface, StridesAndHeaderBlocks) {
    struct Case {
        const char* name;
        int32_t width, height, palettized;
        int32_t stride, biHeight;
    };
    const Case cases[] = {
        {"24-bit width 1", 1, 3, 0, 4, -3},   {"24-bit width 4 has no fill", 4, 2, 0, 12, -2},
        {"24-bit width 5", 5, 1, 0, 16, -1},  {"8-bit width 5", 5, 2, 1, 8, -2},
        {"8-bit width 8", 8, 1, 1, 8, -1},    {"height 10 is top-down", 3, 10, 0, 12, -10},
        {"height -10 is bottom-up", 3, -10, 0, 12, 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BitmapSurface* s = CreateSurface(c.width, c.height, c.palettized, 0);
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->width, c.width);
        EXPECT_EQ(s->height, abs(c.height));
        EXPECT_EQ(s->stride, c.stride);
        EXPECT_EQ(s->palettized, c.palettized);
        EXPECT_EQ(s->info->biSize, 40u);
        EXPECT_EQ(s->info->biWidth, c.width);
        EXPECT_EQ(s->info->biHeight, c.biHeight);
        EXPECT_EQ(s->info->biPlanes, 1);
        EXPECT_EQ(s->info->biCompression, (DWORD)BI_RGB);
        EXPECT_EQ(s->info->biSizeImage, 0u);
        EXPECT_NE(s->bits, nullptr);
        if (c.palettized) {
            EXPECT_EQ(s->info->biBitCount, 8);
            EXPECT_EQ(s->info->biClrUsed, 256u);
            ASSERT_EQ((char*)s->palette, (char*)s->info + 40);
            for (int i = 0; i < 256; i++) {
                EXPECT_EQ(*(DWORD*)&s->palette[i], 0u) << i;
            }
        } else {
            EXPECT_EQ(s->info->biBitCount, 24);
            EXPECT_EQ(s->info->biClrUsed, 0u);
            EXPECT_EQ(s->palette, nullptr);
        }
        // The pixel memory is the section's own, height * stride bytes, writable to its end.
        DIBSECTION section;
        ASSERT_EQ(GetObjectA(s->bitmap, sizeof section, &section), (int)sizeof section);
        EXPECT_EQ(section.dsBm.bmBits, s->bits);
        EXPECT_EQ(section.dsBm.bmWidthBytes, c.stride);
        memset(s->bits, 0xAB, (size_t)s->stride * s->height);
        EXPECT_EQ(ReleaseSurface(s, 0), 0);
    }
}

TEST(Surface, LiveListRunsNewestFirstAndReleaseUnlinks) {
    ASSERT_EQ(GetLiveSurfaces(), nullptr);
    BitmapSurface* s1 = CreateTrueColorSurface(2, 2, 0);
    BitmapSurface* s2 = CreateTrueColorSurface(2, 2, 0);
    BitmapSurface* s3 = CreateTrueColorSurface(2, 2, 0);
    EXPECT_EQ(GetLiveSurfaces(), s3);
    EXPECT_EQ(s3->prev, nullptr);
    EXPECT_EQ(s3->next, s2);
    EXPECT_EQ(s2->prev, s3);
    EXPECT_EQ(s2->next, s1);
    EXPECT_EQ(s1->prev, s2);
    EXPECT_EQ(s1->next, nullptr);

    EXPECT_EQ(ReleaseSurface(s2, 0), 0);
    EXPECT_EQ(GetLiveSurfaces(), s3);
    EXPECT_EQ(s3->next, s1);
    EXPECT_EQ(s1->prev, s3);

    EXPECT_EQ(ReleaseSurface(s3, 0), 0);
    EXPECT_EQ(GetLiveSurfaces(), s1);
    EXPECT_EQ(s1->prev, nullptr);
    EXPECT_EQ(s1->next, nullptr);

    EXPECT_EQ(ReleaseSurface(s1, 0), 0);
    EXPECT_EQ(GetLiveSurfaces(), nullptr);
}

TEST(Surface, KeepNeedsForce) {
    EXPECT_EQ(ReleaseSurface(nullptr, 0), 0);
    EXPECT_EQ(ReleaseSurface(nullptr, 1), 0);
    BitmapSurface* kept = CreateTrueColorSurface(3, 3, 1);
    ASSERT_NE(kept, nullptr);
    memset(kept->bits, 7, (size_t)kept->stride * kept->height);
    EXPECT_EQ(ReleaseSurface(kept, 0), 1);
    EXPECT_EQ(GetLiveSurfaces(), kept);
    EXPECT_EQ(((uint8_t*)kept->bits)[0], 7);
    EXPECT_EQ(ReleaseSurface(kept, 1), 0);
    EXPECT_EQ(GetLiveSurfaces(), nullptr);
}

TEST(Surface, UnusableSizesGiveNoSurface) {
    struct Case {
        const char* name;
        int32_t width, height;
    };
    const Case cases[] = {
        {"zero width", 0, 5},           {"zero height", 5, 0},
        {"negative width", -3, 5},      {"most negative height", 4, INT32_MIN},
        {"stride times rows overflows", 40000, 40000},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CreateTrueColorSurface(c.width, c.height, 0), nullptr) << c.name;
        EXPECT_EQ(GetLiveSurfaces(), nullptr) << c.name;
    }
}

}  // namespace
