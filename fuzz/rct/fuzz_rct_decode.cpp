// Fuzzes the RCT decompression loop. Input: width - 1 and height - 1 as 16-bit little-endian
// numbers, then the stream; pictures of more than 1024 * 1024 pixels lose rows until they fit
// (65536 pixels wide keeps 16 rows, 2048 wide keeps 512), which keeps each output within 3 MB.
// Properties: the fast decoder never touches memory outside its output (every byte past the end
// is poisoned, see exact_output.h); it agrees with the byte-at-a-time reference decoder on the
// status, where it stopped and the bytes it produced; and a well-formed picture's top-left corner
// (at most 256 pixels wide and 1024 pixels in all), compressed again, decodes to the same pixels
// with no stream bytes left over. The parse is the optimal one for inputs of even length, the
// greedy one for odd: mutation flips between them, and the match finder runs once per input.
//
// The reference decoder and the encoder are built without coverage instrumentation (HELPERS in
// CMakeLists.txt, the reference also without AddressSanitizer): they check the decoder, they are
// not what is searched. The corner keeps the encoder's share of each input small: its match
// finder looks at 32 entries per pixel, and on whole pictures it took nine tenths of the time.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "fuzz/rct/exact_output.h"
#include "image/rct_codec.h"
#include "image/rct_encode.h"
#include "image/rct_reference.h"

static const uint32_t kMaxPixels = 1024 * 1024;
static const int32_t kCornerWidth = 256;
static const int32_t kCornerPixels = 1024;

static void Check(bool condition, const char* what) {
    if (!condition) {
        fprintf(stderr, "property violated: %s\n", what);
        abort();
    }
}

static void Reencode(const std::vector<uint8_t>& pixels, int32_t width, int32_t height,
                     int32_t parse) {
    std::vector<uint8_t> stream;
    Check(RctCompress(pixels.data(), width, height, parse, &stream) == kRctOk, "compress failed");
    uint8_t* again = new uint8_t[pixels.size()];
    RctDecodeInfo info;
    Check(RctDecompress(stream.data(), (uint32_t)stream.size(), width, height, again, &info) ==
              kRctOk,
          "re-encoded stream is malformed");
    Check(info.streamUsed == stream.size(), "re-encoded stream has unused bytes");
    Check(memcmp(again, pixels.data(), pixels.size()) == 0,
          "re-encoded stream decodes differently");
    delete[] again;
}

// Compresses the picture's top-left corner again with `parse`.
static void ReencodeCorner(const uint8_t* picture, int32_t width, int32_t height, int32_t parse) {
    int32_t cornerWidth = width < kCornerWidth ? width : kCornerWidth;
    int32_t cornerHeight = kCornerPixels / cornerWidth;
    if (cornerHeight > height) cornerHeight = height;
    size_t row = (size_t)cornerWidth * 3;
    std::vector<uint8_t> corner(row * (size_t)cornerHeight);
    for (int32_t y = 0; y < cornerHeight; y++) {
        memcpy(&corner[row * (size_t)y], picture + (size_t)y * (size_t)width * 3, row);
    }
    Reencode(corner, cornerWidth, cornerHeight, parse);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static ExactOutput fastOutput = {nullptr, kMaxPixels * 3, 0};
    static ExactOutput slowOutput = {nullptr, kMaxPixels * 3, 0};
    if (size < 4 || size - 4 > UINT32_MAX) return 0;
    int32_t width = 1 + (data[0] | data[1] << 8);
    int32_t height = 1 + (data[2] | data[3] << 8);
    if ((uint64_t)width * (uint64_t)height > kMaxPixels) height = (int32_t)(kMaxPixels / width);
    const uint8_t* stream = data + 4;
    uint32_t streamSize = (uint32_t)(size - 4);

    uint32_t total = 0;
    Check(RctOutputSize(width, height, &total) == kRctOk, "size");
    uint8_t* fast = OpenExactOutput(&fastOutput, total);
    uint8_t* slow = OpenExactOutput(&slowOutput, total);
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
        ReencodeCorner(fast, width, height, size % 2 ? kRctParseGreedy : kRctParseOptimal);
    }
    return 0;
}
