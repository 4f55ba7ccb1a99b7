// The RCT stream decoded one byte at a time, exactly as the format defines it, with the same
// clipping and malformed-stream rules as RctDecompress. Too slow for use; it is the yardstick
// that the fast decoder is tested and fuzzed against.
#pragma once

#include <stdint.h>

#include "image/rct_codec.h"

int32_t RctDecompressReference(const uint8_t* stream, uint32_t streamSize, int32_t width,
                               int32_t height, uint8_t* out, RctDecodeInfo* info);
