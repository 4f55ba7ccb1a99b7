// LoadRctImage: header and stream read through the resource file system, decompressed straight
// into the bitmap section's own memory, rows then moved to the surface's stride.
//
// A short read of the header or the stream starts the load again from the open (a medium may
// fail for a moment), at most three times in all; a file that stays short is malformed. Malformed
// files of any kind give null and leave no surface and no buffer behind.
#include "image/rct_load.h"

#include <io.h>

#include <cstdio>
#include <cstdlib>

#include "image/rct_codec.h"
#include "resfs/resource_open.h"
#include "ui/alloc.h"

enum { kLoadAttempts = 3 };

enum LoadStep { kLoaded, kShortRead, kNotAPicture };

// Bytes from the stream's position to the end of its file. A stream inside an archive runs on
// past the picture, so this bounds what the picture's data can be, without being its size.
static uint64_t BytesLeftIn(FILE* file) {
    long long length = _filelengthi64(_fileno(file));
    long long position = _ftelli64(file);
    if (length < 0 || position < 0 || position > length) return 0;
    return (uint64_t)(length - position);
}

// One attempt from the open to the decoded surface.
static LoadStep TryLoad(const char* name, BitmapSurface** result) {
    *result = nullptr;
    FILE* file = OpenResourceFileOrRetry(name, "rb");
    uint8_t fixed[kRctFixedHeaderSize];
    if (fread(fixed, 1, sizeof fixed, file) != sizeof fixed) {
        fclose(file);
        return kShortRead;
    }
    RctHeader header;
    if (RctParseFixedHeader(fixed, &header) != kRctOk) {
        fclose(file);
        return kNotAPicture;
    }
    if (header.signature == kRctTC01) {
        // The name field plays no part in decoding: read its length and step over it. A file
        // that ends here fails at the stream read below.
        uint8_t lengthBytes[2] = {0, 0};
        if (fread(lengthBytes, 1, 2, file) == 2) {
            RctSetNameLength(&header, lengthBytes);
            fseek(file, header.nameLength, SEEK_CUR);
        }
    }
    uint32_t outputSize;
    if (RctOutputSize(header.width, header.height, &outputSize) != kRctOk) {
        fclose(file);
        return kNotAPicture;
    }
    // A damaged header may claim more data than the file holds: that is a short file, not a
    // reason to ask the heap for the claimed size (and to tell the user memory is exhausted).
    if (header.dataSize > BytesLeftIn(file)) {
        fclose(file);
        return kShortRead;
    }
    uint8_t* stream = (uint8_t*)AllocOrWarn(header.dataSize ? header.dataSize : 1);
    if (!stream) {
        fclose(file);
        return kNotAPicture;
    }
    if (fread(stream, 1, header.dataSize, file) != header.dataSize) {
        fclose(file);
        free(stream);
        return kShortRead;
    }
    fclose(file);

    BitmapSurface* surface = CreateTrueColorSurface(header.width, header.height, 0);
    if (!surface) {
        free(stream);
        return kNotAPicture;
    }
    int32_t status = RctDecompress(stream, header.dataSize, header.width, header.height,
                                   (uint8_t*)surface->bits, nullptr);
    free(stream);
    if (status != kRctOk) {
        ReleaseSurface(surface, 1);
        return kNotAPicture;
    }
    SpreadRowsToStride(surface);
    *result = surface;
    return kLoaded;
}

BitmapSurface* LoadRctImage(const char* name) {
    for (int attempt = 0; attempt < kLoadAttempts; attempt++) {
        BitmapSurface* surface;
        if (TryLoad(name, &surface) != kShortRead) return surface;
    }
    return nullptr;
}

void SpreadRowsToStride(BitmapSurface* surface) {
    RctSpreadRows((uint8_t*)surface->bits, surface->width, surface->height, surface->stride);
}
