// Fuzzes RCT files as a whole: any bytes parsed as a file with either signature. Properties:
// parsing never reads outside the file; the stream and name it finds lie inside the file;
// the launcher's way of reading (fixed 20-byte header, then the 2-byte name length) gives the
// same header as parsing from memory; and a parsed stream decodes without touching memory
// outside its output (every byte past the end is poisoned, see exact_output.h).
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "fuzz/rct/exact_output.h"
#include "image/rct_codec.h"

static const uint32_t kMaxOutput = 16u << 20;

static void Check(bool condition, const char* what) {
    if (!condition) {
        fprintf(stderr, "property violated: %s\n", what);
        abort();
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static ExactOutput output = {nullptr, kMaxOutput, 0};
    // A copy of exactly `size` bytes, so that a read past the end is caught.
    uint8_t* file = new uint8_t[size ? size : 1];
    if (size) memcpy(file, data, size);
    RctHeader h;
    const uint8_t* name = nullptr;
    const uint8_t* stream = nullptr;
    int32_t status = RctParseFile(file, (uint32_t)size, &h, &name, &stream);

    if (size >= kRctFixedHeaderSize) {
        RctHeader fixed;
        int32_t fixedStatus = RctParseFixedHeader(file, &fixed);
        Check((fixedStatus == kRctBadSignature) == (status == kRctBadSignature),
              "fixed header and file parse disagree on the signature");
        if (fixedStatus == kRctOk && fixed.signature == kRctTC01 && size >= 22) {
            RctSetNameLength(&fixed, file + kRctFixedHeaderSize);
        }
        if (status == kRctOk) {
            Check(fixed.signature == h.signature && fixed.width == h.width &&
                      fixed.height == h.height && fixed.dataSize == h.dataSize &&
                      fixed.nameLength == h.nameLength && fixed.streamOffset == h.streamOffset,
                  "fixed header differs from file parse");
        }
    }
    if (status == kRctOk) {
        Check(stream == file + h.streamOffset, "stream pointer");
        Check(h.streamOffset <= size && h.dataSize <= size - h.streamOffset, "stream in file");
        Check((name != nullptr) == (h.signature == kRctTC01), "name only for TC01");
        if (name) Check(name + h.nameLength <= stream, "name before the stream");
        uint32_t total = 0;
        // Decode pictures up to 16 MB; larger ones cost time without testing anything new.
        if (RctOutputSize(h.width, h.height, &total) == kRctOk && total <= kMaxOutput) {
            uint8_t* out = OpenExactOutput(&output, total);
            RctDecodeInfo info;
            int32_t decoded = RctDecompress(stream, h.dataSize, h.width, h.height, out, &info);
            Check(info.streamUsed <= h.dataSize && info.outputDone <= total, "positions");
            Check(decoded != kRctOk || info.outputDone == total, "complete when well-formed");
        }
    } else {
        Check(stream == nullptr, "no stream on failure");
    }
    delete[] file;
    return 0;
}
