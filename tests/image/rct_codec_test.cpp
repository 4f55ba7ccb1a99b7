// The RCT decoder on exact byte vectors: every command form, the offset table, clipping at
// the end of the picture, the malformed-stream rules, header parsing for both signatures
// and the row spreading for surfaces. Every decode is also checked against the
// byte-at-a-time reference decoder and for writes past the output (DecodeChecked).
#include <gtest/gtest.h>

#include <initializer_list>

#include "image/rct_codec.h"
#include "image/rct_reference.h"
#include "tests/image/rct_test_util.h"

namespace {

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

// `count` distinct pixels, numbered from `first`.
Bytes Distinct(uint32_t count, uint32_t first = 1) {
    Bytes b;
    for (uint32_t i = first; i < first + count; i++) {
        b.push_back((uint8_t)i);
        b.push_back((uint8_t)(i >> 8));
        b.push_back((uint8_t)(0x40 + i % 7));
    }
    return b;
}

Bytes Repeat(const Bytes& unit, uint32_t times) {
    Bytes b;
    for (uint32_t i = 0; i < times; i++) b.insert(b.end(), unit.begin(), unit.end());
    return b;
}

const Bytes P = {0x10, 0x20, 0x30};
const Bytes Q = {0x41, 0x52, 0x63};
const Bytes R = {0x74, 0x85, 0x96};

struct ValidCase {
    const char* name;
    int32_t width, height;
    Bytes stream;
    Bytes expected;
    uint32_t streamUsed;
};

const ValidCase kValid[] = {
    {"2x2 pixel then short copy of 3 from the previous pixel",
     2,
     2,
     {0x10, 0x20, 0x30, 0x82},
     Repeat(P, 4),
     4},
    {"long copy 83 05 00 repeats the first pixel 9 times", 10, 1, Cat({P, {0x83, 0x05, 0x00}}),
     Repeat(P, 10), 6},
    {"short copy entry 9 takes the row above", 2, 2, Cat({P, {0x00}, Q, {0xA5}}), Cat({P, Q, P, Q}),
     8},
    {"7E is a literal of 127 pixels", 128, 1, Cat({P, {0x7E}, Distinct(127)}),
     Cat({P, Distinct(127)}), 3 + 1 + 381},
    {"7F with count 0 is a literal of 128 pixels", 129, 1,
     Cat({P, {0x7F, 0x00, 0x00}, Distinct(128)}), Cat({P, Distinct(128)}), 3 + 3 + 384},
    {"7F count 0x0102 is 386 pixels", 387, 1, Cat({P, {0x7F, 0x02, 0x01}, Distinct(386)}),
     Cat({P, Distinct(386)}), 3 + 3 + 386 * 3},
    {"83 with count 0 copies 4 pixels", 5, 1, Cat({P, {0x83, 0x00, 0x00}}), Repeat(P, 5), 6},
    {"80 copies the one pixel before", 2, 1, Cat({P, {0x80}}), Repeat(P, 2), 4},
    {"1x1 reads only its 3 pixel bytes", 1, 1, P, P, 3},
    {"bytes after the complete picture are not read",
     2,
     2,
     {0x10, 0x20, 0x30, 0x82, 0xFF, 0x7F, 0x00},
     Repeat(P, 4),
     4},
    {"entry 1 over two pixels repeats the pair", 8, 1,
     Cat({P, {0x00}, Q, {0x87, 0x00, 0x00, 0x85}}), Repeat(Cat({P, Q}), 4), 11},
    {"entry 5 reaches 6 pixels back", 8, 1, Cat({P, {0x04}, Distinct(5), {0x95}}),
     Cat({P, Distinct(5), P, Distinct(1)}), 3 + 1 + 15 + 1},
    {"entry 29 reaches 4 rows up", 2, 5, Cat({P, {0x06}, Distinct(7), {0xF5}}),
     Cat({P, Distinct(7), P, Distinct(1)}), 3 + 1 + 21 + 1},
    {"entry 9 at width 3 copies the row above", 3, 2, Cat({P, {0x01}, Q, R, {0xA6}}),
     Cat({P, Q, R, P, Q, R}), 3 + 1 + 6 + 1},
    {"entry 8 at width 3 overlaps its own output", 3, 2, Cat({P, {0x01}, Q, R, {0xA2}}),
     Cat({P, Q, R, Q, R, Q}), 3 + 1 + 6 + 1},
    {"width 1: entry 9 is the pixel before", 1, 3, Cat({P, {0xA5}}), Repeat(P, 3), 4},
    {"literal past the end is cut and needs only the bytes it keeps", 2, 1, Cat({P, {0x05}, Q}),
     Cat({P, Q}), 3 + 1 + 3},
    {"long literal past the end is cut", 3, 1, Cat({P, {0x7F, 0xFF, 0xFF}, Q, R}), Cat({P, Q, R}),
     3 + 3 + 6},
    {"short copy past the end is cut", 2, 1, Cat({P, {0x82}}), Repeat(P, 2), 4},
    {"long copy past the end is cut", 3, 1, Cat({P, {0x83, 0xFF, 0xFF}}), Repeat(P, 3), 6},
    {"long flat run uses the pattern path", 300, 2, Cat({P, {0x83, 0x53, 0x02}}), Repeat(P, 600),
     6},
    {"long copy of a 3-pixel period", 100, 1, Cat({P, {0x01}, Q, R, {0x8B, 0x5F, 0x00}}),
     Cat({Repeat(Cat({P, Q, R}), 33), P}), 3 + 7 + 3},
};

TEST(RctDecode, ValidStreams) {
    for (const ValidCase& c : kValid) {
        SCOPED_TRACE(c.name);
        Decoded d = DecodeChecked(c.stream, c.width, c.height);
        EXPECT_EQ(kRctOk, d.status) << RctStatusText(d.status);
        EXPECT_EQ(c.expected, d.pixels) << FirstDifference(c.expected, d.pixels);
        EXPECT_EQ(c.streamUsed, d.streamUsed);
        EXPECT_EQ(c.expected.size(), d.outputDone);
    }
}

struct MalformedCase {
    const char* name;
    int32_t width, height;
    Bytes stream;
    int32_t status;
    uint32_t streamUsed;
    uint32_t outputDone;
};

const MalformedCase kMalformed[] = {
    {"copy from the row above in the first row", 4, 2, Cat({P, {0xA4}}), kRctCopyBeforeStart, 4, 3},
    {"copy 2 pixels back at pixel 1", 4, 1, Cat({P, {0x84}}), kRctCopyBeforeStart, 4, 3},
    {"long copy 4 rows up too early", 40, 10, Cat({P, {0x7E}, Distinct(127), {0xF7, 0, 0}}),
     kRctCopyBeforeStart, 3 + 1 + 381 + 3, 384},
    {"width 3, entry 6 points at the output position", 3, 2, Cat({P, {0x01}, Q, R, {0x98}}),
     kRctCopyNotBehind, 11, 9},
    {"width 2, entry 6 points after the output position", 2, 2, Cat({P, {0x00}, Q, {0x98}}),
     kRctCopyNotBehind, 8, 6},
    {"width 2, entry 7 points at the output position", 2, 2, Cat({P, {0x00}, Q, {0x9C}}),
     kRctCopyNotBehind, 8, 6},
    {"width 1, entry 8 points at the output position", 1, 3, Cat({P, {0xA0}}), kRctCopyNotBehind, 4,
     3},
    {"width 1, entry 13 points after the output position", 1, 3, Cat({P, {0xB4}}),
     kRctCopyNotBehind, 4, 3},
    {"width 1, entry 14 points at the output position", 1, 3, Cat({P, {0xB8}}), kRctCopyNotBehind,
     4, 3},
    {"width 1, entry 20 points at the output position", 1, 3, Cat({P, {0xD0}}), kRctCopyNotBehind,
     4, 3},
    {"empty stream", 1, 1, {}, kRctShortFirstPixel, 0, 0},
    {"stream ends inside the first pixel", 1, 1, {0x10, 0x20}, kRctShortFirstPixel, 0, 0},
    {"stream ends before a command", 2, 1, P, kRctMissingCommand, 3, 3},
    {"stream ends after some commands", 4, 1, Cat({P, {0x80}}), kRctMissingCommand, 4, 6},
    {"stream ends inside a long literal count", 200, 1, Cat({P, {0x7F, 0x00}}), kRctShortCount, 4,
     3},
    {"stream ends before a long literal count", 200, 1, Cat({P, {0x7F}}), kRctShortCount, 4, 3},
    {"stream ends inside a long copy count", 10, 1, Cat({P, {0x83, 0x05}}), kRctShortCount, 4, 3},
    {"stream ends inside a literal", 3, 1, Cat({P, {0x01}, Q}), kRctShortLiteral, 4, 3},
    {"stream ends inside a long literal", 300, 1, Cat({P, {0x7F, 0x00, 0x00}, Distinct(127)}),
     kRctShortLiteral, 6, 3},
    {"stream ends one byte short of a literal", 3, 1, Cat({P, {0x01}, Q, {0x74, 0x85}}),
     kRctShortLiteral, 4, 3},
    {"width 0", 0, 1, P, kRctBadSize, 0, 0},
    {"height 0", 1, 0, P, kRctBadSize, 0, 0},
    {"negative width", -2, 2, P, kRctBadSize, 0, 0},
    {"negative height", 2, -2, P, kRctBadSize, 0, 0},
    {"width * height * 3 beyond INT32_MAX", 65536, 65536, P, kRctBadSize, 0, 0},
    {"width * 3 beyond INT32_MAX", INT32_MAX, 1, P, kRctBadSize, 0, 0},
    {"one pixel past INT32_MAX / 3", 715827883, 1, P, kRctBadSize, 0, 0},
};

TEST(RctDecode, MalformedStreams) {
    for (const MalformedCase& c : kMalformed) {
        SCOPED_TRACE(c.name);
        Decoded d = DecodeChecked(c.stream, c.width, c.height);
        EXPECT_EQ(c.status, d.status) << RctStatusText(d.status);
        EXPECT_EQ(c.streamUsed, d.streamUsed);
        EXPECT_EQ(c.outputDone, d.outputDone);
    }
}

TEST(RctDecode, OutputSizeLimits) {
    uint32_t size = 1;
    EXPECT_EQ(kRctOk, RctOutputSize(715827882, 1, &size));
    EXPECT_EQ(2147483646u, size);
    EXPECT_EQ(kRctOk, RctOutputSize(1, 715827882, &size));
    EXPECT_EQ(kRctBadSize, RctOutputSize(715827883, 1, &size));
    EXPECT_EQ(0u, size);
    EXPECT_EQ(kRctBadSize, RctOutputSize(46341, 46341, &size));
    EXPECT_EQ(kRctOk, RctOutputSize(1024, 768, &size));
    EXPECT_EQ(1024u * 768 * 3, size);
}

TEST(RctDecode, OffsetTable) {
    int32_t t[32];
    RctComputeOffsets(100, t);
    EXPECT_EQ(-291, t[6]);
    EXPECT_EQ(-1200, t[29]);
    const int32_t expected[32] = {-3,   -6,   -9,   -12,   -15,   -18,   -291,  -294,
                                  -297, -300, -303, -306,  -309,  -591,  -594,  -597,
                                  -600, -603, -606, -609,  -891,  -894,  -897,  -900,
                                  -903, -906, -909, -1194, -1197, -1200, -1203, -1206};
    for (int k = 0; k < 32; k++) EXPECT_EQ(expected[k], t[k]) << "entry " << k;

    // Only pictures narrower than 4 pixels have entries that do not point backwards.
    for (int32_t width = 1; width <= 8; width++) {
        RctComputeOffsets(width, t);
        int forward = 0;
        for (int k = 0; k < 32; k++) forward += t[k] >= 0;
        EXPECT_EQ(width >= 4, forward == 0) << "width " << width;
    }
    RctComputeOffsets(1, t);
    EXPECT_EQ(6, t[6]);
    EXPECT_EQ(0, t[8]);
    EXPECT_EQ(-3, t[9]);

    // Offsets beyond any picture saturate instead of wrapping round.
    RctComputeOffsets(715827882, t);
    EXPECT_EQ(-3, t[0]);
    EXPECT_EQ(INT32_MIN, t[29]);
    EXPECT_EQ(INT32_MIN, t[13]);
    EXPECT_EQ(3 * (3 - 715827882), t[6]);
}

TEST(RctDecode, ClippingNeverWritesPastTheOutput) {
    // Long commands at every distance from the end, with the fast paths' spill in play.
    for (int32_t width = 1; width <= 24; width++) {
        for (uint8_t control : {0x7E, 0x7F, 0x83, 0x87, 0x8F, 0xA7}) {
            Bytes stream = Cat({P, {0x05}, Distinct(6), {control, 0xFF, 0xFF}, Distinct(200)});
            SCOPED_TRACE(testing::Message() << "width " << width << " control " << (int)control);
            Decoded d = DecodeChecked(stream, width, 2);
            if (control != 0xA7 || width <= 7) {
                EXPECT_EQ(kRctOk, d.status) << RctStatusText(d.status);
            }
        }
    }
}

// Random command streams, valid and not, against the reference decoder.
TEST(RctDecode, RandomStreamsMatchTheReference) {
    uint32_t state = 12345;
    auto next = [&state]() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    };
    for (int round = 0; round < 3000; round++) {
        int32_t width = 1 + (int32_t)(next() % (round % 3 == 0 ? 6 : 70));
        int32_t height = 1 + (int32_t)(next() % 40);
        Bytes stream = Distinct(1, next());
        uint32_t commands = next() % 60;
        for (uint32_t i = 0; i < commands; i++) {
            uint32_t r = next();
            switch (r % 4) {
                case 0: {  // short literal
                    uint8_t c = (uint8_t)((r >> 8) % 20);
                    stream.push_back(c);
                    Bytes px = Distinct(c + 1u, r >> 16);
                    stream.insert(stream.end(), px.begin(), px.end());
                    break;
                }
                case 1:  // short copy
                    stream.push_back((uint8_t)(0x80 | ((r >> 8) & 0x7C) | ((r >> 16) % 3)));
                    break;
                case 2:  // long copy, often from near by
                    stream.push_back((uint8_t)(0x83 | (((r >> 8) % 3 == 0 ? r >> 10 : 0) & 0x7C)));
                    stream.push_back((uint8_t)(r >> 16));
                    stream.push_back((uint8_t)((r >> 24) % 3));
                    break;
                default:  // random byte, sometimes a long literal header
                    stream.push_back((uint8_t)(r >> 8));
                    break;
            }
        }
        if (next() % 4 == 0 && !stream.empty()) stream.resize(next() % stream.size());
        SCOPED_TRACE(testing::Message()
                     << "round " << round << " width " << width << " height " << height);
        DecodeChecked(stream, width, height);
        if (testing::Test::HasFailure()) break;
    }
}

struct HeaderCase {
    const char* name;
    Bytes file;
    int32_t status;
    int32_t signature;
    uint16_t nameLength;
};

const Bytes kTC00 = {0x98, 0x5A, 0x92, 0x9A, 'T', 'C', '0', '0'};
const Bytes kTC01 = {0x98, 0x5A, 0x92, 0x9A, 'T', 'C', '0', '1'};
const Bytes kSize2x2 = {2, 0, 0, 0, 2, 0, 0, 0, 4, 0, 0, 0};
const Bytes kStream2x2 = {0x10, 0x20, 0x30, 0x82};

const HeaderCase kHeaders[] = {
    {"TC00", Cat({kTC00, kSize2x2, kStream2x2}), kRctOk, kRctTC00, 0},
    {"TC00 with bytes after the stream", Cat({kTC00, kSize2x2, kStream2x2, {1, 2, 3}}), kRctOk,
     kRctTC00, 0},
    {"TC01 with a name", Cat({kTC01, kSize2x2, {3, 0, 'a', 'b', 'c'}, kStream2x2}), kRctOk,
     kRctTC01, 3},
    {"TC01 with an empty name", Cat({kTC01, kSize2x2, {0, 0}, kStream2x2}), kRctOk, kRctTC01, 0},
    {"TC01 with a code page 932 name",
     Cat({kTC01, kSize2x2, {4, 0, 0x94, 0x77, 0x8C, 0x69}, kStream2x2}), kRctOk, kRctTC01, 4},
    {"foreign TC02", Cat({{0x98, 0x5A, 0x92, 0x9A, 'T', 'C', '0', '2'}, kSize2x2, kStream2x2}),
     kRctBadSignature, 0, 0},
    {"foreign BMP", Cat({{'B', 'M', 0, 0, 0, 0, 0, 0}, kSize2x2, kStream2x2}), kRctBadSignature, 0,
     0},
    {"lower-case tc00", Cat({{0x98, 0x5A, 0x92, 0x9A, 't', 'c', '0', '0'}, kSize2x2, kStream2x2}),
     kRctBadSignature, 0, 0},
    {"foreign and short", {'B', 'M'}, kRctBadSignature, 0, 0},
    {"empty file", {}, kRctShortHeader, 0, 0},
    {"signature only", kTC00, kRctShortHeader, kRctTC00, 0},
    {"ends inside the data size", Cat({kTC01, {2, 0, 0, 0, 2, 0, 0, 0, 4, 0}}), kRctShortHeader,
     kRctTC01, 0},
    {"TC01 ends inside the name length", Cat({kTC01, kSize2x2, {3}}), kRctShortHeader, kRctTC01, 0},
    {"TC01 ends inside the name", Cat({kTC01, kSize2x2, {9, 0, 'a'}}), kRctShortHeader, kRctTC01,
     9},
    {"stream shorter than data size", Cat({kTC00, kSize2x2, {0x10, 0x20, 0x30}}), kRctShortStream,
     kRctTC00, 0},
    {"data size near 4 GiB",
     Cat({kTC00, {2, 0, 0, 0, 2, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}, kStream2x2}), kRctShortStream,
     kRctTC00, 0},
};

TEST(RctHeader, ParseFile) {
    for (const HeaderCase& c : kHeaders) {
        SCOPED_TRACE(c.name);
        RctHeader h;
        const uint8_t* name = nullptr;
        const uint8_t* stream = nullptr;
        int32_t status = RctParseFile(c.file.data(), (uint32_t)c.file.size(), &h, &name, &stream);
        EXPECT_EQ(c.status, status) << RctStatusText(status);
        EXPECT_EQ(c.signature, h.signature);
        EXPECT_EQ(c.nameLength, h.nameLength);
        if (status != kRctOk) {
            EXPECT_EQ(nullptr, stream);
            continue;
        }
        EXPECT_EQ(2, h.width);
        EXPECT_EQ(2, h.height);
        EXPECT_EQ(4u, h.dataSize);
        ASSERT_NE(nullptr, stream);
        EXPECT_EQ(c.file.data() + h.streamOffset, stream);
        EXPECT_EQ(h.signature == kRctTC01, name != nullptr);
        // Whatever the signature and name, the stream decodes to the same picture.
        Decoded d = DecodeChecked(Bytes(stream, stream + h.dataSize), h.width, h.height);
        EXPECT_EQ(kRctOk, d.status);
        EXPECT_EQ(Repeat(P, 4), d.pixels);
    }
}

// The head of a file, as a reader that streams the file reads it before the picture's bytes.
TEST(RctHeader, ParseHead) {
    struct Case {
        const char* name;
        Bytes head;
        int32_t status;
        int32_t signature;
        uint32_t pictureBytes;  // streamOffset + dataSize on kRctOk
    };
    const Case kCases[] = {
        {"TC00: 20 bytes are enough", Cat({kTC00, kSize2x2}), kRctOk, kRctTC00, 24},
        {"TC00 with stream bytes after it", Cat({kTC00, kSize2x2, {0x10, 0x20}}), kRctOk, kRctTC00,
         24},
        {"TC01 with its name length", Cat({kTC01, kSize2x2, {3, 0}}), kRctOk, kRctTC01, 29},
        {"TC01 with a long name", Cat({kTC01, kSize2x2, {0x34, 0x12}}), kRctOk, kRctTC01,
         22 + 0x1234 + 4},
        {"TC01 ends inside the name length", Cat({kTC01, kSize2x2, {3}}), kRctShortHeader, kRctTC01,
         0},
        {"TC01 without its name length", Cat({kTC01, kSize2x2}), kRctShortHeader, kRctTC01, 0},
        {"ends inside the data size", Cat({kTC00, {2, 0, 0, 0, 2, 0, 0, 0, 4}}), kRctShortHeader,
         kRctTC00, 0},
        {"signature only", kTC01, kRctShortHeader, kRctTC01, 0},
        {"start of our signature", {0x98, 0x5A}, kRctShortHeader, 0, 0},
        {"empty", {}, kRctShortHeader, 0, 0},
        {"foreign and short", {'B', 'M'}, kRctBadSignature, 0, 0},
        {"foreign", Cat({{'B', 'M', 0, 0, 0, 0, 0, 0}, kSize2x2}), kRctBadSignature, 0, 0},
        {"a bad size is not judged here", Cat({kTC00, {0, 0, 0, 0, 2, 0, 0, 0, 4, 0, 0, 0}}),
         kRctOk, kRctTC00, 24},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        RctHeader h;
        int32_t status = RctParseHead(c.head.data(), (uint32_t)c.head.size(), &h);
        EXPECT_EQ(c.status, status) << RctStatusText(status);
        EXPECT_EQ(c.signature, h.signature);
        if (status == kRctOk) {
            EXPECT_EQ(c.pictureBytes, h.streamOffset + h.dataSize);
        }
    }
    // Every file of the header table gives the same answer from its head as from the whole file,
    // where the file's answer is about its head.
    for (const HeaderCase& c : kHeaders) {
        SCOPED_TRACE(c.name);
        RctHeader fromHead, fromFile;
        const uint8_t* name;
        const uint8_t* stream;
        uint32_t headSize = c.file.size() < kRctHeadSize ? (uint32_t)c.file.size() : kRctHeadSize;
        int32_t head = RctParseHead(c.file.data(), headSize, &fromHead);
        int32_t file =
            RctParseFile(c.file.data(), (uint32_t)c.file.size(), &fromFile, &name, &stream);
        if (head != kRctOk) {
            EXPECT_EQ(head, file);
        }
        EXPECT_EQ(fromHead.signature, fromFile.signature);
        EXPECT_EQ(fromHead.nameLength, fromFile.nameLength);
    }
}

// The one reading of a picture's bytes that the launcher, the media check and the picture tool
// share, and its decoding.
TEST(RctPicture, ReadThenDecode) {
    struct Case {
        const char* name;
        Bytes file;
        int32_t status;
        bool hasName;
        bool hasStream;
        uint32_t outputSize;
    };
    const Bytes kZeroWide = {0, 0, 0, 0, 2, 0, 0, 0, 4, 0, 0, 0};
    const Bytes kHuge = {0xFF, 0xFF, 0, 0, 0xFF, 0xFF, 0, 0, 4, 0, 0, 0};
    const Case kCases[] = {
        {"TC00", Cat({kTC00, kSize2x2, kStream2x2}), kRctOk, false, true, 12},
        {"TC01 with a name", Cat({kTC01, kSize2x2, {3, 0, 'a', 'b', 'c'}, kStream2x2}), kRctOk,
         true, true, 12},
        {"the rest of an archive after it", Cat({kTC00, kSize2x2, kStream2x2, {9, 9, 9, 9}}),
         kRctOk, false, true, 12},
        {"foreign", Cat({{'B', 'M', 0, 0, 0, 0, 0, 0}, kSize2x2, kStream2x2}), kRctBadSignature,
         false, false, 0},
        {"cut inside the name", Cat({kTC01, kSize2x2, {9, 0, 'a'}}), kRctShortHeader, false, false,
         0},
        {"cut inside the stream", Cat({kTC00, kSize2x2, {0x10, 0x20, 0x30}}), kRctShortStream,
         false, false, 0},
        {"zero width: the stream is still found", Cat({kTC00, kZeroWide, kStream2x2}), kRctBadSize,
         false, true, 0},
        {"too large to decode", Cat({kTC01, kHuge, {1, 0, 'n'}, kStream2x2}), kRctBadSize, true,
         true, 0},
        {"short and with a bad size: short wins", Cat({kTC00, kZeroWide, {0x10}}), kRctShortStream,
         false, false, 0},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        RctPicture picture;
        int32_t status = RctReadPicture(c.file.data(), (uint32_t)c.file.size(), &picture);
        EXPECT_EQ(c.status, status) << RctStatusText(status);
        EXPECT_EQ(c.hasName, picture.name != nullptr);
        EXPECT_EQ(c.hasStream, picture.stream != nullptr);
        EXPECT_EQ(c.outputSize, picture.outputSize);
        if (status != kRctOk) continue;
        EXPECT_EQ(c.file.data() + picture.header.streamOffset, picture.stream);
        Bytes out(picture.outputSize);
        RctDecodeInfo info;
        EXPECT_EQ(kRctOk, RctDecodePicture(&picture, out.data(), &info));
        EXPECT_EQ(Repeat(P, 4), out);
        EXPECT_EQ(info.outputDone, picture.outputSize);
        EXPECT_EQ(info.streamUsed, 4u);
    }
}

TEST(RctHeader, FixedHeaderThenNameLength) {
    // The way a file reader uses it: 20 bytes, then for TC01 the 2-byte name length.
    Bytes file = Cat({kTC01, {0x0C, 0x01, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF, 0x78, 0x56, 0x34, 0x12}});
    RctHeader h;
    ASSERT_EQ(kRctOk, RctParseFixedHeader(file.data(), &h));
    EXPECT_EQ(kRctTC01, h.signature);
    EXPECT_EQ(268, h.width);
    EXPECT_EQ(-2, h.height);
    EXPECT_EQ(0x12345678u, h.dataSize);
    EXPECT_EQ(20u, h.streamOffset);
    const uint8_t length[2] = {0x34, 0x12};
    RctSetNameLength(&h, length);
    EXPECT_EQ(0x1234, h.nameLength);
    EXPECT_EQ(22u + 0x1234, h.streamOffset);

    file[7] = '0';
    ASSERT_EQ(kRctOk, RctParseFixedHeader(file.data(), &h));
    EXPECT_EQ(kRctTC00, h.signature);
    file[0] = 0x99;
    EXPECT_EQ(kRctBadSignature, RctParseFixedHeader(file.data(), &h));
}

TEST(RctSpreadRows, RowsLandAtTheStride) {
    for (int32_t width = 1; width <= 9; width++) {
        for (int32_t height = 1; height <= 4; height++) {
            SCOPED_TRACE(testing::Message() << width << "x" << height);
            int32_t stride = (width * 3 + 3) / 4 * 4;
            Bytes packed = Distinct((uint32_t)(width * height));
            Bytes bits((size_t)stride * height, 0xEE);
            std::copy(packed.begin(), packed.end(), bits.begin());
            Bytes before = bits;
            RctSpreadRows(bits.data(), width, height, stride);
            for (int32_t y = 0; y < height; y++) {
                for (int32_t x = 0; x < width * 3; x++) {
                    ASSERT_EQ(packed[(size_t)y * width * 3 + x], bits[(size_t)y * stride + x]);
                }
            }
            if (width * 3 == stride) {
                EXPECT_EQ(before, bits);
            }
            // The fill bytes of the last row were never touched.
            for (int32_t x = width * 3; x < stride; x++) {
                EXPECT_EQ(before[(size_t)(height - 1) * stride + x],
                          bits[(size_t)(height - 1) * stride + x]);
            }
        }
    }
}

TEST(RctSpreadRows, TwoByTwoExample) {
    Bytes bits(16, 0);
    Bytes stream = {0x10, 0x20, 0x30, 0x82};
    ASSERT_EQ(kRctOk, RctDecompress(stream.data(), 4, 2, 2, bits.data(), nullptr));
    RctSpreadRows(bits.data(), 2, 2, 8);
    Bytes row = Repeat(P, 2);
    EXPECT_EQ(row, Bytes(bits.begin(), bits.begin() + 6));
    EXPECT_EQ(row, Bytes(bits.begin() + 8, bits.begin() + 14));
}

}  // namespace
