// LoadRctImage: the picture's bytes read through the resource file system (its head first, which
// says how many bytes the picture takes), read by the image core's one reading of a picture
// (RctReadPicture), decompressed straight into the bitmap section's own memory, rows then moved to
// the surface's stride.
//
// A short read of the head or the picture starts the load again from the open (a medium may fail
// for a moment), at most three times in all; a file that stays short is malformed. Malformed
// files of any kind give null and leave no surface and no buffer behind.
#include "image/rct_load.h"

#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

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

// Reads the picture's bytes from the open stream into a new buffer (*bytes, *size): its head,
// then as many more bytes as the head says the picture takes.
static LoadStep ReadPictureBytes(FILE* file, uint8_t** bytes, uint32_t* size) {
    *bytes = nullptr;
    uint64_t left = BytesLeftIn(file);
    uint8_t head[kRctHeadSize];
    size_t got = fread(head, 1, sizeof head, file);
    RctHeader header;
    int32_t status = RctParseHead(head, (uint32_t)got, &header);
    if (status == kRctBadSignature) return kNotAPicture;
    if (status != kRctOk) return kShortRead;
    uint32_t outputSize;
    if (RctOutputSize(header.width, header.height, &outputSize) != kRctOk) return kNotAPicture;
    // A damaged header may claim more data than the file holds: that is a short file, not a
    // reason to ask the heap for the claimed size (and to tell the user memory is exhausted).
    uint64_t pictureBytes = (uint64_t)header.streamOffset + header.dataSize;
    if (pictureBytes > left) return kShortRead;
    *bytes = (uint8_t*)AllocOrWarn((size_t)pictureBytes);
    if (!*bytes) return kNotAPicture;
    // A picture shorter than the head read (a tiny TC00 file) takes only its own bytes of it.
    size_t fromHead = got < pictureBytes ? got : (size_t)pictureBytes;
    memcpy(*bytes, head, fromHead);
    size_t rest = (size_t)pictureBytes - fromHead;
    if (fread(*bytes + fromHead, 1, rest, file) != rest) {
        free(*bytes);
        *bytes = nullptr;
        return kShortRead;
    }
    *size = (uint32_t)pictureBytes;
    return kLoaded;
}

// One attempt from the open to the decoded surface.
static LoadStep TryLoad(const char* name, BitmapSurface** result) {
    *result = nullptr;
    FILE* file = OpenResourceFileOrRetry(name, "rb");
    uint8_t* bytes;
    uint32_t size = 0;
    LoadStep step = ReadPictureBytes(file, &bytes, &size);
    fclose(file);
    if (step != kLoaded) return step;

    RctPicture picture;
    BitmapSurface* surface = nullptr;
    if (RctReadPicture(bytes, size, &picture) == kRctOk)
        surface = CreateTrueColorSurface(picture.header.width, picture.header.height, 0);
    if (!surface) {
        free(bytes);
        return kNotAPicture;
    }
    int32_t status = RctDecodePicture(&picture, (uint8_t*)surface->bits, nullptr);
    free(bytes);
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
