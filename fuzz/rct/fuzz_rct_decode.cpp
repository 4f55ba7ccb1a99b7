// Fuzzes the RCT decompression loop. Input: a width byte and a height byte, then the stream.
// Properties: the fast decoder never touches memory outside its exact-size output (the
// buffer is a heap block of exactly width * height * 3 bytes, so AddressSanitizer sees any
// spill); it agrees with the byte-at-a-time reference decoder on the status, where it
// stopped and the bytes it produced; and a well-formed picture, compressed again by either
// parse, decodes to the same pixels.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "image/rct_codec.h"
#include "image/rct_encode.h"
#include "image/rct_reference.h"

static void Check(bool condition, const char* what) {
    if (!condition) {
        fprintf(stderr, "property violated: %s\n", what);
        abort();
    }
}

static void Reencode(const uint8_t* pixels, uint32_t size, int32_t width, int32_t height,
                     int32_t parse) {
    std::vector<uint8_t> stream;
    Check(RctCompress(pixels, width, height, parse, &stream) == kRctOk, "compress failed");
    uint8_t* again = new uint8_t[size];
    RctDecodeInfo info;
    Check(RctDecompress(stream.data(), (uint32_t)stream.size(), width, height, again, &info) ==
              kRctOk,
          "re-encoded stream is malformed");
    Check(info.streamUsed == stream.size(), "re-encoded stream has unused bytes");
    Check(memcmp(again, pixels, size) == 0, "re-encoded stream decodes differently");
    delete[] again;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    // Width 1..255 (the narrowest have entries that do not point backwards), height 1..64.
    int32_t width = data[0] < 16 ? data[0] + 1 : data[0];
    int32_t height = 1 + data[1] % 64;
    const uint8_t* stream = data + 2;
    uint32_t streamSize = (uint32_t)(size - 2);

    uint32_t total = 0;
    Check(RctOutputSize(width, height, &total) == kRctOk, "size");
    uint8_t* fast = new uint8_t[total];
    uint8_t* slow = new uint8_t[total];
    RctDecodeInfo fastInfo, slowInfo;
    int32_t status = RctDecompress(stream, streamSize, width, height, fast, &fastInfo);
    int32_t reference = RctDecompressReference(stream, streamSize, width, height, slow, &slowInfo);
    Check(status == reference, "status differs from the reference decoder");
    Check(fastInfo.streamUsed == slowInfo.streamUsed, "stream position differs");
    Check(fastInfo.outputDone == slowInfo.outputDone, "output position differs");
    Check(fastInfo.outputDone <= total && fastInfo.streamUsed <= streamSize, "positions in range");
    Check(memcmp(fast, slow, fastInfo.outputDone) == 0, "output differs from the reference");
    if (status == kRctOk) {
        Check(fastInfo.outputDone == total, "well-formed but incomplete");
        Reencode(fast, total, width, height, kRctParseGreedy);
        Reencode(fast, total, width, height, kRctParseOptimal);
    }
    delete[] fast;
    delete[] slow;
    return 0;
}
