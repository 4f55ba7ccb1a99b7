// RCT images: header parsing and decompression, portable (no platform headers).
//
// File layout, integers little-endian:
//   0   8  signature  98 5A 92 9A 54 43 30 30 ("TC00" after two double-byte characters)
//                     or 98 5A 92 9A 54 43 30 31 ("TC01")
//   8   4  width      pixels, signed
//   12  4  height     pixels, signed
//   16  4  data size  bytes of the compressed stream, unsigned
//   20  2  name length L          (TC01 only)
//   22  L  name, free text        (TC01 only, plays no part in decoding)
//   then the compressed stream, data size bytes; anything after it is ignored.
//
// Compressed stream: the first pixel as 3 raw bytes (blue, green, red), then commands until
// width * height * 3 output bytes exist. A command starts with a control byte c:
//   00..7E  literal run: c + 1 pixels of raw bytes follow
//   7F      long literal: 16-bit n, then n + 128 pixels of raw bytes
//   80..FF  copy from earlier output, entry k = (c >> 2) & 31 of the offset table;
//           c & 3 < 3: (c & 3) + 1 pixels; c & 3 == 3: 16-bit n follows, n + 4 pixels.
// A copy runs byte by byte in ascending order, so a source overlapping the bytes being
// produced repeats them. Offsets are 3 * (dx + dy * width) for the 32 fixed displacements
// (same row 1..6 back; rows 1..3 up with dx +3..-3; row 4 up with dx +2..-2).
//
// What this decoder guarantees for any input: it never reads outside the stream it is given
// and never writes outside the width * height * 3 bytes of output. A run that passes the end
// of the output is cut at the end (the picture is complete). A stream that ends where bytes
// are still needed, or a copy whose source lies before output byte 0 or not strictly before
// the output position, makes the stream malformed; bytes after the complete picture are
// ignored.
#pragma once

#include <stdint.h>

// Statuses of header parsing and decompression. 0 is success; every other value names why
// the input cannot be a picture (RctStatusText gives a short English description).
enum RctStatus : int32_t {
    kRctOk = 0,
    kRctBadSignature = 1,     // neither TC00 nor TC01
    kRctShortHeader = 2,      // the file ends inside the header or the TC01 name
    kRctShortStream = 3,      // the file holds fewer stream bytes than data size says
    kRctBadSize = 4,          // width or height <= 0, or width * height * 3 > INT32_MAX
    kRctShortFirstPixel = 5,  // the stream is shorter than the first pixel
    kRctMissingCommand = 6,   // the stream ends before the picture is complete
    kRctShortCount = 7,       // the stream ends inside a 16-bit count
    kRctShortLiteral = 8,     // the stream ends inside a literal run's pixel bytes
    kRctCopyBeforeStart = 9,  // a copy source lies before output byte 0
    kRctCopyNotBehind = 10,   // a copy source is not before the output position
};

enum RctSignature : int32_t {
    kRctTC00 = 0,
    kRctTC01 = 1,
};

const uint32_t kRctFixedHeaderSize = 20;
extern const uint8_t kRctSignatureTC00[8];
extern const uint8_t kRctSignatureTC01[8];

struct RctHeader {
    int32_t signature;  // kRctTC00 or kRctTC01
    int32_t width;
    int32_t height;
    uint32_t dataSize;      // stream length in bytes
    uint16_t nameLength;    // TC01 only, else 0
    uint32_t streamOffset;  // file offset of the stream: 20, or 22 + nameLength
};

// Reads the fixed 20-byte header (signature, width, height, data size). Returns kRctOk or
// kRctBadSignature. For TC01 the caller reads the 2-byte name length that follows and
// passes it to RctSetNameLength. Width and height are not judged here (see RctOutputSize).
int32_t RctParseFixedHeader(const uint8_t bytes[20], RctHeader* header);

// Records a TC01 name length read from the two bytes after the fixed header.
void RctSetNameLength(RctHeader* header, const uint8_t lengthBytes[2]);

// The most bytes of a file's start that its header takes before the TC01 name: the fixed header
// and the name length.
const uint32_t kRctHeadSize = 22;

// Parses the header from the first `size` bytes of a file (at most kRctHeadSize of them are
// looked at): kRctOk, or kRctBadSignature (a start that is not ours; header all zeros) or
// kRctShortHeader (our start, cut before the header's end). On kRctOk the whole picture takes
// header->streamOffset + header->dataSize bytes from the file's start. A reader that streams a
// file reads its head with this, then the picture's bytes for RctReadPicture.
int32_t RctParseHead(const uint8_t* head, uint32_t size, RctHeader* header);

// Parses a whole file held in memory. On kRctOk, *name points at the TC01 name bytes
// (nameLength of them; null for TC00) and *stream at the dataSize stream bytes, both inside
// `file`. Statuses: kRctBadSignature, kRctShortHeader, kRctShortStream.
int32_t RctParseFile(const uint8_t* file, uint32_t fileSize, RctHeader* header,
                     const uint8_t** name, const uint8_t** stream);

// Output length width * height * 3 into *size: kRctOk, or kRctBadSize when width or height
// is <= 0 or the product does not fit a signed 32-bit integer.
int32_t RctOutputSize(int32_t width, int32_t height, uint32_t* size);

// The 32 byte offsets of the copy entries for an image `width` pixels wide (width >= 1),
// 3 * (dx + dy * width). An offset reaching back further than INT32_MIN is stored as
// INT32_MIN; no picture reaches that far, so a copy using it is always before byte 0.
void RctComputeOffsets(int32_t width, int32_t offsets[32]);

// Where decompression stopped: stream bytes read and output bytes written. On kRctOk
// outputDone equals the output length and streamUsed <= the stream size (leftover bytes
// are not read). On failure both tell where the problem was met.
struct RctDecodeInfo {
    uint32_t streamUsed;
    uint32_t outputDone;
};

// Decompresses `stream` into `out`, tightly packed rows of width * 3 bytes, top row first,
// blue-green-red. `out` must hold exactly RctOutputSize bytes; on any status nothing is
// written outside them. Returns kRctOk or the reason the stream is malformed (the output
// bytes before info->outputDone are then as decoded, the rest undefined). `info` may be null.
int32_t RctDecompress(const uint8_t* stream, uint32_t streamSize, int32_t width, int32_t height,
                      uint8_t* out, RctDecodeInfo* info);

// A picture held in memory from its first byte, as RctReadPicture finds it.
struct RctPicture {
    RctHeader header;
    const uint8_t* name;    // the TC01 name bytes, or null
    const uint8_t* stream;  // the dataSize stream bytes, or null
    uint32_t outputSize;    // width * height * 3: the bytes the decoded picture takes
};

// The one reading of a picture's bytes for every reader (the launcher, the media check, the
// picture tool): RctParseFile, then RctOutputSize of its width and height. Returns kRctOk or the
// first failing status of the two (kRctBadSignature, kRctShortHeader, kRctShortStream,
// kRctBadSize). What was found stays on failure: the header as far as it was read, and the name
// and stream of a file whose size is bad. Bytes after the picture (the rest of an archive) are
// ignored.
int32_t RctReadPicture(const uint8_t* file, uint32_t fileSize, RctPicture* picture);

// Decodes a picture RctReadPicture accepted into `out` (picture->outputSize bytes), as
// RctDecompress does. `info` may be null.
int32_t RctDecodePicture(const RctPicture* picture, uint8_t* out, RctDecodeInfo* info);

// Moves tightly packed rows (width * 3 bytes each) at the start of `bits` apart to `stride`
// bytes per row, last row first so that no row is overwritten before it has moved. The
// bytes between width * 3 and stride keep what they held. Needs stride >= width * 3 and
// `bits` of height * stride bytes; does nothing when stride == width * 3.
void RctSpreadRows(uint8_t* bits, int32_t width, int32_t height, int32_t stride);

// A short English description of a status, for tools and logs.
const char* RctStatusText(int32_t status);
