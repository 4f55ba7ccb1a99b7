// Fuzzes the archive header and index reader and the index search. Properties: the reader from
// memory and the reader from a stream agree; "not an archive" leaves a zeroed header and no
// index; a search only ever looks at the first N entries (they are copied into an allocation of
// exactly N entries, so AddressSanitizer sees any look at entry N or beyond); a found entry has
// the key's hash; in a sorted index every entry's hash is found; a looked-up offset is seekable.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "resfs/archive_format.h"

static void Check(bool condition, const char* what) {
    if (!condition) {
        fprintf(stderr, "property failed: %s\n", what);
        abort();
    }
}

static void CheckSearch(const ArchiveIndexEntry* entries, uint32_t count, uint32_t key) {
    const ArchiveIndexEntry* found = FindArchiveEntry(entries, count, key);
    if (found) {
        Check(found >= entries && found < entries + count, "found entry lies in the first N");
        Check(found->nameHash == key, "found entry has the key's hash");
    }
    int32_t offset = -1;
    int32_t looked = LookupArchiveOffset(entries, count, key, &offset);
    Check(looked == (found && found->offset <= kArchiveMaxOffset ? 1 : 0), "lookup agrees");
    if (looked) Check(offset >= 0 && (uint32_t)offset == found->offset, "lookup gives the offset");
}

static void CheckStreamAgrees(const uint8_t* data, size_t size, int32_t loaded,
                              const ArchiveHeader& header, const ArchiveIndexEntry* index) {
    if (size == 0) return;  // fmemopen needs at least one byte
    FILE* stream = fmemopen((void*)data, size, "rb");
    if (!stream) return;
    ArchiveHeader streamHeader;
    ArchiveIndexEntry* streamIndex = nullptr;
    int32_t streamLoaded = ReadArchiveIndex(stream, &streamHeader, &streamIndex);
    fclose(stream);
    Check(streamLoaded == loaded, "stream and memory readers agree");
    Check(memcmp(&streamHeader, &header, sizeof header) == 0, "same header");
    if (loaded)
        Check(memcmp(streamIndex, index, ((size_t)header.entryCount + 1) * kArchiveEntrySize) == 0,
              "same index");
    ReleaseArchiveIndex(streamIndex);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 0xFFFFFFFFu) return 0;
    ArchiveHeader header;
    memset(&header, 0x5A, sizeof header);
    ArchiveIndexEntry* index = nullptr;
    int32_t loaded = ParseArchiveIndex(data, (uint32_t)size, &header, &index);
    Check(loaded == 0 || loaded == 1, "result is 0 or 1");
    if (!loaded) {
        static const ArchiveHeader kZero = {};
        Check(memcmp(&header, &kZero, sizeof header) == 0 && index == nullptr, "nothing kept");
    }
    CheckStreamAgrees(data, size, loaded, header, index);
    if (!loaded) return 0;

    uint32_t count = header.entryCount;
    Check(size >= kArchiveHeaderSize + ((uint64_t)count + 1) * kArchiveEntrySize, "index in input");
    ArchiveIndexEntry* searchable =
        (ArchiveIndexEntry*)malloc(count ? (size_t)count * sizeof(ArchiveIndexEntry) : 1);
    memcpy(searchable, index, (size_t)count * sizeof(ArchiveIndexEntry));

    bool sorted = true;
    for (uint32_t i = 1; i < count; i++)
        sorted = sorted && index[i - 1].nameHash <= index[i].nameHash;
    uint32_t limit = count < 256 ? count : 256;
    for (uint32_t i = 0; i < limit; i++) {
        uint32_t key = index[i].nameHash;
        CheckSearch(searchable, count, key);
        CheckSearch(searchable, count, key + 1);
        if (sorted) Check(FindArchiveEntry(searchable, count, key) != nullptr, "sorted: all found");
    }
    CheckSearch(searchable, count, index[count].nameHash);
    CheckSearch(searchable, count, 0);
    CheckSearch(searchable, count, 0xFFFFFFFFu);
    free(searchable);
    ReleaseArchiveIndex(index);
    return 0;
}
