// The full check of an archive (see archive_verify.h).
#include "resfs/archive_verify.h"

#include <stdarg.h>

#include <algorithm>

#include "resfs/archive_format.h"

namespace {

struct Problems {
    std::vector<std::string>* texts;
};

void Report(Problems* p, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

void Report(Problems* p, const char* format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    p->texts->push_back(text);
}

uint32_t LoadU32(const uint8_t* b) {
    return (uint32_t)b[0] | (uint32_t)b[1] << 8 | (uint32_t)b[2] << 16 | (uint32_t)b[3] << 24;
}

// Reads the header and index for verify; false (with the problem reported) when the rest
// cannot be checked.
bool ReadForVerify(FILE* file, uint64_t fileSize, Problems* problems, ArchiveHeader* header,
                   std::vector<ArchiveIndexEntry>* index) {
    uint8_t raw[kArchiveHeaderSize];
    if (fileSize < kArchiveHeaderSize || fread(raw, 1, sizeof raw, file) != sizeof raw) {
        Report(problems, "shorter than the %u-byte header", (unsigned)kArchiveHeaderSize);
        return false;
    }
    if (!ParseArchiveHeader(raw, sizeof raw, header)) {
        Report(problems, "wrong magic: the file does not begin with \"VorlinArcV1.000\" and a NUL");
        return false;
    }
    uint32_t count = LoadU32(raw + 16), indexBytes;
    if (!ComputeArchiveIndexSize(count, &indexBytes) ||
        fileSize - kArchiveHeaderSize < indexBytes) {
        Report(problems,
               "the index of %u + 1 entries (%llu bytes) runs past the end of the file "
               "(%llu bytes)",
               (unsigned)count, (unsigned long long)(count + 1ull) * 8,
               (unsigned long long)fileSize);
        return false;
    }
    std::vector<uint8_t> bytes(indexBytes);
    index->resize((size_t)count + 1);
    if (fread(bytes.data(), 1, indexBytes, file) != indexBytes ||
        !DecodeArchiveIndex(bytes.data(), indexBytes, index->data(), count + 1)) {
        Report(problems, "cannot read the index");
        return false;
    }
    return true;
}

void CheckIndex(const std::vector<ArchiveIndexEntry>& index, uint32_t count, uint64_t fileSize,
                Problems* problems) {
    uint64_t dataStart = kArchiveHeaderSize + ((uint64_t)count + 1) * kArchiveEntrySize;
    for (uint32_t i = 1; i < count; i++) {
        if (index[i].nameHash < index[i - 1].nameHash)
            Report(problems,
                   "entry %u (hash %08x) is out of order after entry %u (hash %08x): "
                   "the index must ascend as unsigned numbers",
                   (unsigned)i, (unsigned)index[i].nameHash, (unsigned)(i - 1),
                   (unsigned)index[i - 1].nameHash);
    }
    std::vector<uint32_t> hashes;
    for (uint32_t i = 0; i < count; i++) hashes.push_back(index[i].nameHash);
    std::sort(hashes.begin(), hashes.end());
    for (size_t i = 1; i < hashes.size(); i++) {
        if (hashes[i] == hashes[i - 1] && (i < 2 || hashes[i - 2] != hashes[i]))
            Report(problems, "hash %08x appears more than once", (unsigned)hashes[i]);
    }
    for (uint32_t i = 0; i < count; i++) {
        uint32_t offset = index[i].offset;
        if (!IsArchiveOffsetReadable(offset))
            Report(problems,
                   "entry %u (hash %08x): offset %u is at or above 2^31, where no seek "
                   "reaches",
                   (unsigned)i, (unsigned)index[i].nameHash, (unsigned)offset);
        else if (offset > fileSize)
            Report(problems,
                   "entry %u (hash %08x): offset %u is past the end of the file (%llu "
                   "bytes)",
                   (unsigned)i, (unsigned)index[i].nameHash, (unsigned)offset,
                   (unsigned long long)fileSize);
        else if (offset < dataStart)
            Report(problems,
                   "entry %u (hash %08x): offset %u points into the header or index, "
                   "which end at %llu",
                   (unsigned)i, (unsigned)index[i].nameHash, (unsigned)offset,
                   (unsigned long long)dataStart);
        const ArchiveIndexEntry* found = FindArchiveEntry(index.data(), count, index[i].nameHash);
        if (!found)
            Report(problems, "entry %u (hash %08x) cannot be found by the launcher's binary search",
                   (unsigned)i, (unsigned)index[i].nameHash);
    }
    // The final entry as vorlin-arc writes it records where the data ends: the file must end
    // there too, and every file must begin before it. (Another writer's final entry may hold
    // anything; it is not read.)
    const ArchiveIndexEntry& final = index[count];
    if (final.nameHash != kEndOfDataHash) return;
    uint64_t end = final.offset;
    if (end > fileSize) {
        Report(problems,
               "the data ends at byte %llu by the final entry, but the file has only %llu bytes: "
               "the archive is cut short",
               (unsigned long long)end, (unsigned long long)fileSize);
    } else if (end < fileSize) {
        Report(problems,
               "%llu bytes follow the end of the data (byte %llu by the final entry): the file "
               "is longer than its archive",
               (unsigned long long)(fileSize - end), (unsigned long long)end);
    }
    if (end < dataStart) {
        Report(problems,
               "the final entry puts the end of the data at %llu, inside the header or "
               "index, which end at %llu",
               (unsigned long long)end, (unsigned long long)dataStart);
    }
    for (uint32_t i = 0; i < count; i++) {
        if (index[i].offset > end && index[i].offset <= fileSize)
            Report(problems,
                   "entry %u (hash %08x): offset %u lies after the end of the data (byte %llu by "
                   "the final entry)",
                   (unsigned)i, (unsigned)index[i].nameHash, (unsigned)index[i].offset,
                   (unsigned long long)end);
    }
}

}  // namespace

bool VerifyArchiveFile(FILE* file, uint64_t fileSize, std::vector<std::string>* problems,
                       uint32_t* entryCount) {
    size_t before = problems->size();
    Problems p = {problems};
    ArchiveHeader header;
    std::vector<ArchiveIndexEntry> index;
    *entryCount = 0;
    if (ReadForVerify(file, fileSize, &p, &header, &index)) {
        *entryCount = header.entryCount;
        CheckIndex(index, header.entryCount, fileSize, &p);
    }
    return problems->size() == before;
}
