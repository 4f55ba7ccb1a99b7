// Byte-at-a-time RCT decoding (see rct_reference.h). Positions are indices, every byte is
// checked against its buffer before it is touched, and every run is moved one byte after
// the other in ascending order.
#include "image/rct_reference.h"

struct RefState {
    const uint8_t* stream;
    uint32_t streamSize;
    uint32_t s;  // stream position
    uint32_t o;  // output position
};

static int32_t Finish(const RefState& st, RctDecodeInfo* info, int32_t status) {
    if (info) {
        info->streamUsed = st.s;
        info->outputDone = st.o;
    }
    return status;
}

int32_t RctDecompressReference(const uint8_t* stream, uint32_t streamSize, int32_t width,
                               int32_t height, uint8_t* out, RctDecodeInfo* info) {
    RefState st = {stream, streamSize, 0, 0};
    uint32_t total;
    int32_t status = RctOutputSize(width, height, &total);
    if (status != kRctOk) return Finish(st, info, status);
    if (streamSize < 3) return Finish(st, info, kRctShortFirstPixel);
    int32_t offsets[32];
    RctComputeOffsets(width, offsets);

    for (; st.o < 3; st.o++, st.s++) out[st.o] = stream[st.s];
    while (st.o < total) {
        if (st.s >= streamSize) return Finish(st, info, kRctMissingCommand);
        uint32_t c = stream[st.s++];
        uint32_t pixels;
        bool longForm = (c & 0x80) ? (c & 3) == 3 : c == 0x7F;
        if (longForm) {
            if (streamSize - st.s < 2) return Finish(st, info, kRctShortCount);
            uint32_t n = (uint32_t)stream[st.s] | (uint32_t)stream[st.s + 1] << 8;
            st.s += 2;
            pixels = (c & 0x80) ? n + 4 : n + 128;
        } else {
            pixels = (c & 0x80) ? (c & 3) + 1 : c + 1;
        }
        uint32_t run = pixels * 3;
        if (run > total - st.o) run = total - st.o;  // the picture ends here
        if (!(c & 0x80)) {
            if (run > streamSize - st.s) return Finish(st, info, kRctShortLiteral);
            for (uint32_t i = 0; i < run; i++) out[st.o++] = stream[st.s++];
            continue;
        }
        int64_t source = (int64_t)st.o + offsets[(c >> 2) & 31];
        if (source < 0) return Finish(st, info, kRctCopyBeforeStart);
        if (source >= (int64_t)st.o) return Finish(st, info, kRctCopyNotBehind);
        uint32_t from = (uint32_t)source;
        for (uint32_t i = 0; i < run; i++) out[st.o++] = out[from++];
    }
    return Finish(st, info, kRctOk);
}
