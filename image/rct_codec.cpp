// RCT header parsing and the fast decompression loop (layout in rct_codec.h).
//
// The loop produces exactly what the byte-at-a-time definition of the format produces
// (RctDecompressReference in rct_reference.cpp, which the tests and the fuzz target hold
// it to), but moves bytes in fixed 16-byte chunks: a fixed-size copy compiles to a few
// register moves on every target, where a library call per short run would cost more than
// the run itself. A chunked command may write up to 15 bytes past its own end; those bytes
// are rewritten by the commands that follow. Chunking is used only while both the output and
// the stream have room for that spill; the last commands of a picture go through exact,
// clipped copies. Assumes a little-endian target (x86 on both the launcher and the tools).
#include "image/rct_codec.h"

#include <string.h>

const uint8_t kRctSignatureTC00[8] = {0x98, 0x5A, 0x92, 0x9A, 'T', 'C', '0', '0'};
const uint8_t kRctSignatureTC01[8] = {0x98, 0x5A, 0x92, 0x9A, 'T', 'C', '0', '1'};

static uint32_t ReadLe32(const uint8_t* b) {
    return (uint32_t)b[0] | (uint32_t)b[1] << 8 | (uint32_t)b[2] << 16 | (uint32_t)b[3] << 24;
}

static uint32_t ReadLe16(const uint8_t* b) {
    return (uint32_t)b[0] | (uint32_t)b[1] << 8;
}

int32_t RctParseFixedHeader(const uint8_t bytes[20], RctHeader* header) {
    memset(header, 0, sizeof(*header));
    if (memcmp(bytes, kRctSignatureTC00, 8) == 0) {
        header->signature = kRctTC00;
    } else if (memcmp(bytes, kRctSignatureTC01, 8) == 0) {
        header->signature = kRctTC01;
    } else {
        return kRctBadSignature;
    }
    header->width = (int32_t)ReadLe32(bytes + 8);
    header->height = (int32_t)ReadLe32(bytes + 12);
    header->dataSize = ReadLe32(bytes + 16);
    header->streamOffset = kRctFixedHeaderSize;
    return kRctOk;
}

void RctSetNameLength(RctHeader* header, const uint8_t lengthBytes[2]) {
    header->nameLength = (uint16_t)ReadLe16(lengthBytes);
    header->streamOffset = kRctFixedHeaderSize + 2 + header->nameLength;
}

int32_t RctParseHead(const uint8_t* head, uint32_t size, RctHeader* header) {
    memset(header, 0, sizeof(*header));
    if (size < 8) {
        // A short start that is foreign is foreign; one that is ours is cut short.
        bool ours = size == 0 || memcmp(head, kRctSignatureTC00, size) == 0 ||
                    memcmp(head, kRctSignatureTC01, size) == 0;
        return ours ? kRctShortHeader : kRctBadSignature;
    }
    if (memcmp(head, kRctSignatureTC00, 8) != 0 && memcmp(head, kRctSignatureTC01, 8) != 0)
        return kRctBadSignature;
    if (size < kRctFixedHeaderSize) {
        header->signature = head[7] == '1' ? kRctTC01 : kRctTC00;
        return kRctShortHeader;
    }
    RctParseFixedHeader(head, header);
    if (header->signature == kRctTC01) {
        if (size - kRctFixedHeaderSize < 2) return kRctShortHeader;
        RctSetNameLength(header, head + kRctFixedHeaderSize);
    }
    return kRctOk;
}

int32_t RctParseFile(const uint8_t* file, uint32_t fileSize, RctHeader* header,
                     const uint8_t** name, const uint8_t** stream) {
    *name = nullptr;
    *stream = nullptr;
    int32_t status = RctParseHead(file, fileSize, header);
    if (status != kRctOk) return status;
    if (header->signature == kRctTC01) {
        if (header->nameLength > fileSize - kRctFixedHeaderSize - 2) return kRctShortHeader;
        *name = file + kRctFixedHeaderSize + 2;
    }
    if (header->dataSize > fileSize - header->streamOffset) return kRctShortStream;
    *stream = file + header->streamOffset;
    return kRctOk;
}

int32_t RctReadPicture(const uint8_t* file, uint32_t fileSize, RctPicture* picture) {
    picture->outputSize = 0;
    int32_t status =
        RctParseFile(file, fileSize, &picture->header, &picture->name, &picture->stream);
    if (status != kRctOk) return status;
    return RctOutputSize(picture->header.width, picture->header.height, &picture->outputSize);
}

int32_t RctDecodePicture(const RctPicture* picture, uint8_t* out, RctDecodeInfo* info) {
    return RctDecompress(picture->stream, picture->header.dataSize, picture->header.width,
                         picture->header.height, out, info);
}

int32_t RctOutputSize(int32_t width, int32_t height, uint32_t* size) {
    *size = 0;
    if (width <= 0 || height <= 0) return kRctBadSize;
    if (height > INT32_MAX / 3 / width) return kRctBadSize;
    *size = (uint32_t)width * (uint32_t)height * 3;
    return kRctOk;
}

// Displacements (dx, dy) of the 32 copy entries.
// clang-format off
static const int8_t kEntryDx[32] = {-1, -2, -3, -4, -5, -6,       // same row
                                     3,  2,  1,  0, -1, -2, -3,   // 1 row up
                                     3,  2,  1,  0, -1, -2, -3,   // 2 rows up
                                     3,  2,  1,  0, -1, -2, -3,   // 3 rows up
                                     2,  1,  0, -1, -2};          // 4 rows up
static const int8_t kEntryDy[32] = { 0,  0,  0,  0,  0,  0,
                                    -1, -1, -1, -1, -1, -1, -1,
                                    -2, -2, -2, -2, -2, -2, -2,
                                    -3, -3, -3, -3, -3, -3, -3,
                                    -4, -4, -4, -4, -4};
// clang-format on

void RctComputeOffsets(int32_t width, int32_t offsets[32]) {
    for (int k = 0; k < 32; k++) {
        int64_t offset = 3 * ((int64_t)kEntryDx[k] + (int64_t)kEntryDy[k] * width);
        offsets[k] = offset < INT32_MIN ? INT32_MIN : (int32_t)offset;
    }
}

void RctSpreadRows(uint8_t* bits, int32_t width, int32_t height, int32_t stride) {
    if (width <= 0 || height <= 0 || width > INT32_MAX / 3) return;
    size_t rowBytes = (size_t)width * 3;
    if (stride < 0 || (size_t)stride <= rowBytes) return;
    for (int32_t r = height - 1; r > 0; r--) {
        memmove(bits + (size_t)r * (size_t)stride, bits + (size_t)r * rowBytes, rowBytes);
    }
}

const char* RctStatusText(int32_t status) {
    switch (status) {
        case kRctOk:
            return "well-formed";
        case kRctBadSignature:
            return "not an RCT file (unknown signature)";
        case kRctShortHeader:
            return "file ends inside the header";
        case kRctShortStream:
            return "file is shorter than its data size";
        case kRctBadSize:
            return "width or height out of range";
        case kRctShortFirstPixel:
            return "stream is shorter than the first pixel";
        case kRctMissingCommand:
            return "stream ends before the picture is complete";
        case kRctShortCount:
            return "stream ends inside a run count";
        case kRctShortLiteral:
            return "stream ends inside a literal run";
        case kRctCopyBeforeStart:
            return "copy source lies before the start of the picture";
        case kRctCopyNotBehind:
            return "copy source is not before the output position";
        default:
            return "unknown status";
    }
}

// ---- decompression ----

// Room a chunked command may spill past its end, in the output and in the stream.
static const size_t kSpill = 32;

static inline void Copy16(uint8_t* to, const uint8_t* from) {
    uint8_t chunk[16];
    memcpy(chunk, from, 16);
    memcpy(to, chunk, 16);
}

static inline void Store32(uint8_t* to, uint32_t value) {
    memcpy(to, &value, 4);
}

// Copies `len` bytes from `from` to `to` in 16-byte chunks; the regions do not overlap
// within 16 bytes (different buffers, or from + 16 <= to). Spills up to 15 bytes.
static inline void ChunkCopy(uint8_t* to, const uint8_t* from, size_t len) {
    uint8_t* stop = to + len;
    do {
        Copy16(to, from);
        to += 16;
        from += 16;
    } while (to < stop);
}

// Copy from `dist` bytes back when the spill room is there. Same result as the byte loop
// `to[i] = to[i - dist]`: with the source overlapping the output, the output repeats with
// period dist.
static inline void FastBackCopy(uint8_t* to, size_t dist, size_t len) {
    if (len <= 16 && dist >= len) {
        // No overlap within the run: one chunk. Bytes read past the run's source may be
        // the run's own destination, but they only feed the spill.
        Copy16(to, to - dist);
        return;
    }
    if (dist >= 16) {
        ChunkCopy(to, to - dist, len);
        return;
    }
    uint8_t* stop = to + len;
    if (dist == 3) {
        // One pixel repeated: the commonest copy of all. Store a 12-byte pattern of it.
        const uint8_t* p = to - 3;
        uint32_t v = (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16;
        uint32_t w0 = v | v << 24;
        uint32_t w1 = v >> 8 | v << 16;
        uint32_t w2 = v >> 16 | v << 8;
        do {
            Store32(to, w0);
            Store32(to + 4, w1);
            Store32(to + 8, w2);
            to += 12;
        } while (to < stop);
        return;
    }
    // Short period: each 16-byte step makes `dist` more valid bytes, after which the same
    // pattern sits twice as far back; once it is 16 or more bytes back, plain chunks follow.
    while (dist < 16) {
        Copy16(to, to - dist);
        to += dist;
        if (to >= stop) return;
        dist *= 2;
    }
    ChunkCopy(to, to - dist, (size_t)(stop - to));
}

static int32_t Stop(RctDecodeInfo* info, const uint8_t* s, const uint8_t* stream, const uint8_t* o,
                    const uint8_t* out, int32_t status) {
    if (info) {
        info->streamUsed = (uint32_t)(s - stream);
        info->outputDone = (uint32_t)(o - out);
    }
    return status;
}

int32_t RctDecompress(const uint8_t* stream, uint32_t streamSize, int32_t width, int32_t height,
                      uint8_t* out, RctDecodeInfo* info) {
    uint32_t total;
    int32_t status = RctOutputSize(width, height, &total);
    if (status != kRctOk) return Stop(info, stream, stream, out, out, status);
    if (streamSize < 3) return Stop(info, stream, stream, out, out, kRctShortFirstPixel);

    // Distance back of each entry in bytes; 0 marks an entry whose source would not be
    // before the output position (only in pictures narrower than 4 pixels).
    int32_t offsets[32];
    RctComputeOffsets(width, offsets);
    uint32_t dist[32];
    for (int k = 0; k < 32; k++) dist[k] = offsets[k] < 0 ? 0u - (uint32_t)offsets[k] : 0u;

    const uint8_t* s = stream;
    const uint8_t* end = stream + streamSize;
    uint8_t* o = out;
    uint8_t* oend = out + total;
    o[0] = s[0];
    o[1] = s[1];
    o[2] = s[2];
    s += 3;
    o += 3;

    while (o < oend) {
        if (s == end) return Stop(info, s, stream, o, out, kRctMissingCommand);
        uint32_t c = *s++;
        size_t len;
        if (c < 0x80) {
            if (c < 0x7F) {
                len = (c + 1) * 3;
            } else {
                if (end - s < 2) return Stop(info, s, stream, o, out, kRctShortCount);
                len = (ReadLe16(s) + 128) * 3;
                s += 2;
            }
            if (len + kSpill <= (size_t)(oend - o) && len + kSpill <= (size_t)(end - s)) {
                if (c < 0x7F) {
                    // Most literal runs are a few pixels: two chunks without a loop test.
                    Copy16(o, s);
                    Copy16(o + 16, s + 16);
                    if (len > 32) ChunkCopy(o + 32, s + 32, len - 32);
                } else {
                    memcpy(o, s, len);  // 384 bytes or more: worth the call
                }
            } else {
                if (len > (size_t)(oend - o)) len = (size_t)(oend - o);
                if (len > (size_t)(end - s)) return Stop(info, s, stream, o, out, kRctShortLiteral);
                memcpy(o, s, len);
            }
            o += len;
            s += len;
            continue;
        }
        uint32_t m = c & 3;
        if (m < 3) {
            len = (m + 1) * 3;
        } else {
            if (end - s < 2) return Stop(info, s, stream, o, out, kRctShortCount);
            len = (ReadLe16(s) + 4) * 3;
            s += 2;
        }
        uint32_t d = dist[(c >> 2) & 31];
        uint32_t pos = (uint32_t)(o - out);
        if (d - 1 >= pos) {  // d == 0 wraps around to the largest value
            return Stop(info, s, stream, o, out, d == 0 ? kRctCopyNotBehind : kRctCopyBeforeStart);
        }
        if (len + kSpill <= (size_t)(oend - o)) {
            FastBackCopy(o, d, len);
        } else {
            if (len > (size_t)(oend - o)) len = (size_t)(oend - o);
            const uint8_t* from = o - d;
            for (size_t i = 0; i < len; i++) o[i] = from[i];
        }
        o += len;
    }
    return Stop(info, s, stream, o, out, kRctOk);
}
