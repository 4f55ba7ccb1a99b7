#include "tests/image/rct_test_util.h"

#include <gtest/gtest.h>

#include "image/rct_codec.h"
#include "image/rct_reference.h"

static const size_t kGuard = 64;
static const uint8_t kGuardByte = 0xA7;

Decoded DecodeChecked(const Bytes& stream, int32_t width, int32_t height) {
    uint32_t size = 0;
    RctOutputSize(width, height, &size);
    Bytes fast(size + kGuard, kGuardByte);
    Bytes slow(size, 0);
    RctDecodeInfo fastInfo = {0xFFFFFFFF, 0xFFFFFFFF};
    RctDecodeInfo slowInfo = {0xFFFFFFFF, 0xFFFFFFFF};
    Decoded d;
    d.status = RctDecompress(stream.data(), (uint32_t)stream.size(), width, height, fast.data(),
                             &fastInfo);
    int32_t slowStatus = RctDecompressReference(stream.data(), (uint32_t)stream.size(), width,
                                                height, slow.data(), &slowInfo);
    for (size_t i = size; i < fast.size(); i++) {
        if (fast[i] != kGuardByte) {
            ADD_FAILURE() << "decoder wrote " << (i - size) << " bytes past the output";
            break;
        }
    }
    EXPECT_EQ(slowStatus, d.status) << "reference decoder disagrees on the status";
    EXPECT_EQ(slowInfo.streamUsed, fastInfo.streamUsed);
    EXPECT_EQ(slowInfo.outputDone, fastInfo.outputDone);
    fast.resize(size);
    uint32_t done = fastInfo.outputDone < size ? fastInfo.outputDone : size;
    EXPECT_TRUE(std::equal(fast.begin(), fast.begin() + done, slow.begin()))
        << "output differs from the reference decoder: " << FirstDifference(fast, slow);
    d.streamUsed = fastInfo.streamUsed;
    d.outputDone = fastInfo.outputDone;
    d.pixels = fast;
    return d;
}

static uint32_t NextRandom(uint32_t* state) {
    // xorshift32: small, deterministic, good enough for test pictures.
    uint32_t x = *state;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    return *state = x;
}

Picture MakePicture(const std::string& kind, int32_t width, int32_t height, uint32_t seed) {
    Picture p{kind, width, height, Bytes((size_t)width * height * 3)};
    uint32_t rnd = seed * 2654435761u + 1;
    static const uint8_t kPalette[4][3] = {{0, 0, 0}, {255, 255, 255}, {30, 120, 200}, {9, 9, 9}};
    for (int32_t y = 0; y < height; y++) {
        for (int32_t x = 0; x < width; x++) {
            uint8_t* px = &p.bgr[((size_t)y * width + x) * 3];
            uint32_t r = NextRandom(&rnd);
            if (kind == "flat") {
                px[0] = 12, px[1] = 34, px[2] = 56;
            } else if (kind == "gradient") {
                px[0] = (uint8_t)(x * 255 / (width > 1 ? width - 1 : 1));
                px[1] = (uint8_t)(y * 255 / (height > 1 ? height - 1 : 1));
                px[2] = (uint8_t)((x + y) / 4);
            } else if (kind == "noise") {
                px[0] = (uint8_t)r, px[1] = (uint8_t)(r >> 8), px[2] = (uint8_t)(r >> 16);
            } else if (kind == "stripes") {
                uint8_t v = (uint8_t)((x / 3 + y) % 5 * 50);
                px[0] = v, px[1] = (uint8_t)(255 - v), px[2] = (uint8_t)(v / 2);
            } else if (kind == "checker") {
                uint8_t v = ((x / 2 + y / 2) & 1) ? 200 : 20;
                px[0] = px[1] = px[2] = v;
            } else if (kind == "shapes") {
                bool inside =
                    (x - width / 2) * (x - width / 2) + (y - height / 3) * (y - height / 3) <
                    width * height / 8;
                bool edge = (r & 7) == 0;
                px[0] = inside ? 40 : 220;
                px[1] = inside ? 160 : (uint8_t)(y * 3);
                px[2] = edge ? (uint8_t)(r >> 8) : 90;
            } else {  // palette
                const uint8_t* c = kPalette[(r >> 5) & 3];
                px[0] = c[0], px[1] = c[1], px[2] = c[2];
            }
        }
    }
    return p;
}

std::string FirstDifference(const Bytes& a, const Bytes& b) {
    size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; i++) {
        if (a[i] != b[i]) {
            return "byte " + std::to_string(i) + ": " + std::to_string(a[i]) + " vs " +
                   std::to_string(b[i]);
        }
    }
    if (a.size() != b.size()) {
        return "sizes " + std::to_string(a.size()) + " vs " + std::to_string(b.size());
    }
    return "";
}
