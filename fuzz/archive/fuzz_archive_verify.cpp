// Fuzzes the full archive check (`vorlin-arc verify`, `vorlin-media check`). Properties: it
// answers "good" exactly when it names no problem; an archive it calls good is one the launcher
// loads, whose every entry the launcher's search finds at an offset inside the file's data, after
// the header and index; when the final entry is the tool's own end of data, a good archive ends
// exactly there; and an archive the launcher cannot load is never good.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "resfs/archive_format.h"
#include "resfs/archive_verify.h"

static void Check(bool condition, const char* what) {
    if (!condition) {
        fprintf(stderr, "property failed: %s\n", what);
        abort();
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0 || size > 0xFFFFFFFFu) return 0;  // fmemopen needs at least one byte
    FILE* stream = fmemopen((void*)data, size, "rb");
    if (!stream) return 0;
    std::vector<std::string> problems;
    uint32_t count = 0xDEADBEEF;
    bool good = VerifyArchiveFile(stream, size, &problems, &count);
    fclose(stream);
    Check(good == problems.empty(), "good exactly when no problem is named");
    for (const std::string& p : problems) Check(!p.empty(), "every problem has a text");

    ArchiveHeader header;
    ArchiveIndexEntry* index = nullptr;
    int32_t loaded = ParseArchiveIndex(data, (uint32_t)size, &header, &index);
    if (!loaded) {
        Check(!good, "what the launcher cannot load is not good");
        return 0;
    }
    Check(count == header.entryCount, "the entry count is the header's");
    if (good) {
        uint64_t dataStart =
            kArchiveHeaderSize + ((uint64_t)header.entryCount + 1) * kArchiveEntrySize;
        for (uint32_t i = 0; i < header.entryCount; i++) {
            int32_t offset = -1;
            Check(LookupArchiveOffset(index, header.entryCount, index[i].nameHash, &offset) == 1,
                  "good: every entry is found");
            Check((uint64_t)offset >= dataStart && (uint64_t)offset <= size,
                  "good: every offset lies in the data");
            if (i > 0) Check(index[i - 1].nameHash < index[i].nameHash, "good: ascending, unique");
        }
        const ArchiveIndexEntry& final = index[header.entryCount];
        if (final.nameHash == kEndOfDataHash)
            Check(final.offset == size, "good: the data ends where the file ends");
    }
    ReleaseArchiveIndex(index);
    return 0;
}
