// RCT compression for the media tools (portable, not part of the launcher).
//
// RctCompress turns a picture into a stream that RctDecompress turns back into exactly the
// same bytes. It never emits a copy whose source lies before the first pixel or not strictly
// before the output position (entries with dx > 0 in pictures narrower than 4 pixels), and
// never relies on a run being cut at the end of the picture.
#pragma once

#include <stdint.h>

#include <vector>

#include "image/rct_codec.h"

enum RctParse : int32_t {
    // Smallest stream: a shortest-path search over pixel positions that weighs every literal
    // and copy length, short and long forms, by its size in bytes.
    kRctParseOptimal = 0,
    // Longest copy wherever one exists, literal pixels elsewhere; fast, for comparison.
    kRctParseGreedy = 1,
};

// Compresses width * height pixels, tightly packed rows of blue-green-red bytes, into
// *stream (replacing its contents). Returns kRctOk, or kRctBadSize for sizes the format
// cannot hold (see RctOutputSize).
int32_t RctCompress(const uint8_t* bgr, int32_t width, int32_t height, int32_t parse,
                    std::vector<uint8_t>* stream);

// Lays out a whole file: the header with `signature` (kRctTC00, or kRctTC01 with the
// nameLength bytes of `name`, at most 65535), then the stream. Returns kRctOk, or
// kRctBadSize when the name or the stream is too long for its field.
int32_t RctBuildFile(int32_t signature, int32_t width, int32_t height, const uint8_t* name,
                     uint32_t nameLength, const std::vector<uint8_t>& stream,
                     std::vector<uint8_t>* file);
