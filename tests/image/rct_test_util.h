// Helpers shared by the RCT tests: decoding through both decoders with guard bytes, and
// small deterministic pictures.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

typedef std::vector<uint8_t> Bytes;

struct Decoded {
    int32_t status;
    uint32_t streamUsed;
    uint32_t outputDone;
    Bytes pixels;  // the whole output buffer (width * height * 3), as decoded
};

// Decodes with RctDecompress into a buffer followed by guard bytes, and records a failure
// in the current test if a guard byte changed or the byte-at-a-time reference decoder
// disagrees (status, where it stopped, and the output up to there).
Decoded DecodeChecked(const Bytes& stream, int32_t width, int32_t height);

// A picture of width * height blue-green-red pixels.
struct Picture {
    std::string name;
    int32_t width;
    int32_t height;
    Bytes bgr;
};

// Deterministic test pictures: "flat", "gradient", "noise", "stripes", "checker", "shapes"
// (flat areas with noisy edges), "palette" (a few colours at random).
Picture MakePicture(const std::string& kind, int32_t width, int32_t height, uint32_t seed);

// Where two byte strings first differ, in words; "" when they are equal.
std::string FirstDifference(const Bytes& a, const Bytes& b);
