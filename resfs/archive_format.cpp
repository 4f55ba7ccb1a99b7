// Reading the header and index of a resource archive, and the lookup in its index. Every field is
// read through a byte reader with a sticky error; a header is validated completely, and its
// index size checked against 32 bits (and the file's length where known), before the index is
// allocated.
#include "resfs/archive_format.h"

#include <stdlib.h>
#include <string.h>

const uint8_t kArchiveMagic[kArchiveMagicSize] = {'V', 'o', 'r', 'l', 'i', 'n', 'A', 'r',
                                                  'c', 'V', '1', '.', '0', '0', '0', 0};

struct ByteReader {
    const uint8_t* p;
    uint32_t size, pos;
    bool failed;
};

static uint32_t ReadU32(ByteReader* r) {
    if (r->failed || r->size - r->pos < 4) {
        r->failed = true;
        return 0;
    }
    const uint8_t* b = r->p + r->pos;
    r->pos += 4;
    return (uint32_t)b[0] | (uint32_t)b[1] << 8 | (uint32_t)b[2] << 16 | (uint32_t)b[3] << 24;
}

static void ReadBytes(ByteReader* r, uint8_t* out, uint32_t n) {
    if (r->failed || r->size - r->pos < n) {
        r->failed = true;
        memset(out, 0, n);
        return;
    }
    memcpy(out, r->p + r->pos, n);
    r->pos += n;
}

int32_t ParseArchiveHeader(const uint8_t* bytes, uint32_t size, ArchiveHeader* header) {
    ByteReader r = {bytes, size, 0, false};
    ReadBytes(&r, header->magic, kArchiveMagicSize);
    header->entryCount = ReadU32(&r);
    header->words[0] = ReadU32(&r);
    header->words[1] = ReadU32(&r);
    if (r.failed || memcmp(header->magic, kArchiveMagic, kArchiveMagicSize) != 0) {
        memset(header, 0, sizeof *header);
        return 0;
    }
    return 1;
}

int32_t IsArchiveHeader(const uint8_t* bytes, uint32_t size, uint32_t* entryCount) {
    ArchiveHeader header;
    if (!ParseArchiveHeader(bytes, size, &header)) return 0;
    if (entryCount) *entryCount = header.entryCount;
    return 1;
}

int32_t ComputeArchiveIndexSize(uint32_t entryCount, uint32_t* byteCount) {
    // (N + 1) * 8 <= 0xFFFFFFFF, written so that nothing overflows.
    if (entryCount > UINT32_MAX / kArchiveEntrySize - 1) return 0;
    *byteCount = (entryCount + 1) * kArchiveEntrySize;
    return 1;
}

// `bytes` may be the storage of `entries` itself: each entry is read completely before it is
// written, and no entry is written before its own bytes are read.
int32_t DecodeArchiveIndex(const uint8_t* bytes, uint32_t size, ArchiveIndexEntry* entries,
                           uint32_t count) {
    ByteReader r = {bytes, size, 0, false};
    for (uint32_t i = 0; i < count && !r.failed; i++) {
        uint32_t nameHash = ReadU32(&r);
        uint32_t offset = ReadU32(&r);
        entries[i].nameHash = nameHash;
        entries[i].offset = offset;
    }
    return r.failed ? 0 : 1;
}

ArchiveIndexEntry* AllocArchiveIndex(uint32_t entryCount) {
    uint32_t byteCount;
    if (!ComputeArchiveIndexSize(entryCount, &byteCount)) return nullptr;
    return (ArchiveIndexEntry*)malloc((size_t)byteCount);
}

void ReleaseArchiveIndex(ArchiveIndexEntry* index) {
    free(index);
}

static int32_t NotAnArchive(ArchiveHeader* header, ArchiveIndexEntry** index) {
    memset(header, 0, sizeof *header);
    ReleaseArchiveIndex(*index);
    *index = nullptr;
    return 0;
}

int32_t ParseArchiveIndex(const uint8_t* bytes, uint32_t size, ArchiveHeader* header,
                          ArchiveIndexEntry** index) {
    *index = nullptr;
    uint32_t indexBytes;
    if (!ParseArchiveHeader(bytes, size, header) ||
        !ComputeArchiveIndexSize(header->entryCount, &indexBytes) ||
        indexBytes > size - kArchiveHeaderSize)
        return NotAnArchive(header, index);
    *index = AllocArchiveIndex(header->entryCount);
    if (!*index ||
        !DecodeArchiveIndex(bytes + kArchiveHeaderSize, indexBytes, *index, header->entryCount + 1))
        return NotAnArchive(header, index);
    return 1;
}

// Whether `needed` more bytes can follow the current position. A stream that cannot tell its
// position or length (or a file too long for a long) is given the benefit of the doubt: the read
// that follows finds out.
static bool StreamHasRoom(FILE* file, uint32_t needed) {
    long here = ftell(file);
    if (here < 0) return true;
    if (fseek(file, 0, SEEK_END) != 0) return fseek(file, here, SEEK_SET) == 0;
    long end = ftell(file);
    if (fseek(file, here, SEEK_SET) != 0) return false;
    if (end < here) return true;
    return (uint64_t)(end - here) >= needed;
}

int32_t ReadArchiveIndex(FILE* file, ArchiveHeader* header, ArchiveIndexEntry** index) {
    *index = nullptr;
    uint8_t raw[kArchiveHeaderSize];
    uint32_t indexBytes;
    if (fread(raw, 1, sizeof raw, file) != sizeof raw ||
        !ParseArchiveHeader(raw, sizeof raw, header) ||
        !ComputeArchiveIndexSize(header->entryCount, &indexBytes) ||
        !StreamHasRoom(file, indexBytes))
        return NotAnArchive(header, index);
    *index = AllocArchiveIndex(header->entryCount);
    if (!*index || fread(*index, 1, indexBytes, file) != indexBytes ||
        !DecodeArchiveIndex((const uint8_t*)*index, indexBytes, *index, header->entryCount + 1))
        return NotAnArchive(header, index);
    return 1;
}

int32_t LoadArchiveIndex(const char* fileName, ArchiveHeader* header, ArchiveIndexEntry** index) {
    *index = nullptr;
    FILE* file = fopen(fileName, "rb");
    if (!file) return NotAnArchive(header, index);
    int32_t result = ReadArchiveIndex(file, header, index);
    fclose(file);
    return result;
}

const ArchiveIndexEntry* FindArchiveEntry(const ArchiveIndexEntry* index, uint32_t entryCount,
                                          uint32_t nameHash) {
    uint32_t low = 0, high = entryCount;  // search [low, high)
    while (low < high) {
        uint32_t mid = low + (high - low) / 2;
        uint32_t h = index[mid].nameHash;
        if (h == nameHash) return &index[mid];
        if (h < nameHash)
            low = mid + 1;
        else
            high = mid;
    }
    return nullptr;
}

bool IsArchiveOffsetReadable(uint32_t offset) {
    return offset <= kArchiveMaxOffset;
}

int32_t LookupArchiveOffset(const ArchiveIndexEntry* index, uint32_t entryCount, uint32_t nameHash,
                            int32_t* offset) {
    const ArchiveIndexEntry* entry = FindArchiveEntry(index, entryCount, nameHash);
    if (!entry || !IsArchiveOffsetReadable(entry->offset)) return 0;
    *offset = (int32_t)entry->offset;
    return 1;
}
