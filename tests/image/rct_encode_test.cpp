// The RCT compressor: both parses decode back to exactly their input on flat, smooth, noisy
// and structured pictures of every small width, exact sizes where the best stream is known,
// and whole files through the header writer and parser.
#include <gtest/gtest.h>
#include <string.h>

#include <algorithm>

#include "image/rct_codec.h"
#include "image/rct_encode.h"
#include "tests/image/rct_test_util.h"

namespace {

const char* const kKinds[] = {"flat",    "gradient", "noise",  "stripes",
                              "checker", "shapes",   "palette"};

void ExpectRoundTrip(const Picture& p, int32_t parse, size_t* size) {
    Bytes stream;
    ASSERT_EQ(kRctOk, RctCompress(p.bgr.data(), p.width, p.height, parse, &stream));
    Decoded d = DecodeChecked(stream, p.width, p.height);
    ASSERT_EQ(kRctOk, d.status) << RctStatusText(d.status);
    EXPECT_EQ(stream.size(), d.streamUsed) << "the stream has bytes the picture does not need";
    EXPECT_TRUE(p.bgr == d.pixels) << FirstDifference(p.bgr, d.pixels);
    *size = stream.size();
}

TEST(RctEncode, RoundTripsSmallPictures) {
    for (const char* kind : kKinds) {
        for (int32_t width = 1; width <= 9; width++) {
            for (int32_t height : {1, 2, 3, 5, 8}) {
                Picture p = MakePicture(kind, width, height, (uint32_t)(width * 31 + height));
                SCOPED_TRACE(testing::Message() << kind << " " << width << "x" << height);
                size_t optimal = 0, greedy = 0;
                ExpectRoundTrip(p, kRctParseOptimal, &optimal);
                ExpectRoundTrip(p, kRctParseGreedy, &greedy);
                EXPECT_LE(optimal, greedy);
                if (testing::Test::HasFailure()) return;
            }
        }
    }
}

TEST(RctEncode, RoundTripsLargerPictures) {
    struct Size {
        int32_t width, height;
    };
    // 300x300 flat needs several long copies; 400x200 noise several long literals.
    const Size sizes[] = {{16, 16}, {33, 7}, {100, 37}, {257, 3}, {300, 300}, {400, 200}};
    for (const char* kind : kKinds) {
        for (const Size& s : sizes) {
            Picture p = MakePicture(kind, s.width, s.height, 7);
            SCOPED_TRACE(testing::Message() << kind << " " << s.width << "x" << s.height);
            size_t optimal = 0, greedy = 0;
            ExpectRoundTrip(p, kRctParseOptimal, &optimal);
            ExpectRoundTrip(p, kRctParseGreedy, &greedy);
            EXPECT_LE(optimal, greedy);
        }
    }
}

struct SizeCase {
    const char* name;
    const char* kind;
    int32_t width, height;
    size_t optimal;
};

const SizeCase kSizes[] = {
    {"one pixel is the stream", "flat", 1, 1, 3},
    {"flat 4x1: one short copy of 3", "flat", 4, 1, 3 + 1},
    {"flat 5x1: two short copies beat a long one", "flat", 5, 1, 3 + 2},
    {"flat 7x1: two short copies of 3", "flat", 7, 1, 3 + 2},
    {"flat 10x1: one long copy of 9", "flat", 10, 1, 3 + 3},
    {"flat 65540 pixels: one longest copy", "flat", 65540, 1, 3 + 3},
    {"flat 65541 pixels: longest copy and a short one", "flat", 65541, 1, 3 + 3 + 1},
    {"noise 128x1: one short literal of 127", "noise", 128, 1, 3 + 1 + 127 * 3},
    {"noise 200x1: two short literals beat a long one", "noise", 200, 1, 3 + 2 + 199 * 3},
    {"noise 300x1: long literal of 299", "noise", 300, 1, 3 + 3 + 299 * 3},
};

TEST(RctEncode, KnownOptimalSizes) {
    for (const SizeCase& c : kSizes) {
        SCOPED_TRACE(c.name);
        Picture p = MakePicture(c.kind, c.width, c.height, 3);
        size_t optimal = 0;
        ExpectRoundTrip(p, kRctParseOptimal, &optimal);
        EXPECT_EQ(c.optimal, optimal);
    }
}

// The smallest stream size by plain dynamic programming over every command and length, with
// matches counted pixel by pixel: slow, but with nothing in common with the compressor's
// match finder and sliding windows.
size_t ExhaustiveSmallestSize(const Picture& p) {
    size_t n = (size_t)p.width * p.height;
    auto same = [&](size_t a, size_t b) { return memcmp(&p.bgr[a * 3], &p.bgr[b * 3], 3) == 0; };
    int32_t offsets[32];
    RctComputeOffsets(p.width, offsets);
    std::vector<size_t> cost(n + 1, 0);
    for (size_t i = n - 1; i >= 1; i--) {
        size_t best = SIZE_MAX;
        for (size_t len = 1; len <= n - i && len <= 65663; len++) {
            best = std::min(best, (len <= 127 ? 1 : 3) + 3 * len + cost[i + len]);
        }
        for (int k = 0; k < 32; k++) {
            if (offsets[k] >= 0 || (size_t)(-offsets[k] / 3) > i) continue;
            size_t from = i - (size_t)(-offsets[k] / 3);
            for (size_t len = 1; len <= n - i && len <= 65539 && same(i + len - 1, from + len - 1);
                 len++) {
                best = std::min(best, (len <= 3 ? 1 : 3) + cost[i + len]);
            }
        }
        cost[i] = best;
    }
    return 3 + (n > 1 ? cost[1] : 0);
}

TEST(RctEncode, OptimalParseIsTheSmallestPossible) {
    struct Size {
        int32_t width, height;
    };
    for (const char* kind : kKinds) {
        for (Size s : {Size{1, 7}, Size{3, 5}, Size{5, 4}, Size{13, 11}, Size{40, 9}}) {
            SCOPED_TRACE(testing::Message() << kind << " " << s.width << "x" << s.height);
            Picture p = MakePicture(kind, s.width, s.height, (uint32_t)s.width);
            size_t optimal = 0;
            ExpectRoundTrip(p, kRctParseOptimal, &optimal);
            EXPECT_EQ(ExhaustiveSmallestSize(p), optimal);
        }
    }
}

TEST(RctEncode, OptimalBeatsGreedyWhereGreedyIsShortSighted) {
    // A few colours at random: copies are short and plenty, the longest one at a point is
    // seldom the best step, and the optimal parse must come out smaller.
    Picture p = MakePicture("palette", 64, 64, 11);
    size_t optimal = 0, greedy = 0;
    ExpectRoundTrip(p, kRctParseOptimal, &optimal);
    ExpectRoundTrip(p, kRctParseGreedy, &greedy);
    EXPECT_LT(optimal, greedy);
}

TEST(RctEncode, RejectsSizesTheFormatCannotHold) {
    Bytes stream = {1, 2, 3};
    uint8_t pixel[3] = {1, 2, 3};
    EXPECT_EQ(kRctBadSize, RctCompress(pixel, 0, 1, kRctParseOptimal, &stream));
    EXPECT_TRUE(stream.empty());
    EXPECT_EQ(kRctBadSize, RctCompress(pixel, 1, -1, kRctParseGreedy, &stream));
    EXPECT_EQ(kRctBadSize, RctCompress(pixel, 65536, 65536, kRctParseGreedy, &stream));
}

TEST(RctFile, BuildAndParseBothSignatures) {
    Picture p = MakePicture("shapes", 20, 10, 5);
    Bytes stream;
    ASSERT_EQ(kRctOk, RctCompress(p.bgr.data(), p.width, p.height, kRctParseOptimal, &stream));
    const uint8_t name[] = {0x94, 0x77, 0x8C, 0x69, 'x'};
    struct Variant {
        const char* label;
        int32_t signature;
        uint32_t nameLength;
    };
    for (Variant v : {Variant{"TC00", kRctTC00, 0}, Variant{"TC01 named", kRctTC01, 5},
                      Variant{"TC01 empty name", kRctTC01, 0}}) {
        SCOPED_TRACE(v.label);
        Bytes file;
        ASSERT_EQ(kRctOk,
                  RctBuildFile(v.signature, p.width, p.height, name, v.nameLength, stream, &file));
        EXPECT_EQ(0, memcmp(file.data(),
                            v.signature == kRctTC01 ? kRctSignatureTC01 : kRctSignatureTC00, 8));
        RctHeader h;
        const uint8_t* namePtr = nullptr;
        const uint8_t* streamPtr = nullptr;
        ASSERT_EQ(kRctOk,
                  RctParseFile(file.data(), (uint32_t)file.size(), &h, &namePtr, &streamPtr));
        EXPECT_EQ(v.signature, h.signature);
        EXPECT_EQ(p.width, h.width);
        EXPECT_EQ(p.height, h.height);
        EXPECT_EQ(stream.size(), h.dataSize);
        EXPECT_EQ(v.nameLength, h.nameLength);
        if (v.nameLength > 0) {
            EXPECT_EQ(0, memcmp(name, namePtr, v.nameLength));
        }
        EXPECT_EQ(file.size(), h.streamOffset + h.dataSize);
        EXPECT_EQ(stream, Bytes(streamPtr, streamPtr + h.dataSize));
    }
    Bytes file;
    EXPECT_EQ(kRctBadSize, RctBuildFile(kRctTC01, 1, 1, name, 65536, stream, &file));
}

}  // namespace
