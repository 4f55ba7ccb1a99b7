// `list` and `verify`: reading an archive's header and index back. `list` reads through the same
// loader the launcher uses; `verify` reads the fields itself so that it can say what is wrong.
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "resfs/archive_format.h"
#include "resfs/cp932_lower.h"
#include "tools/arc/arc_files.h"
#include "tools/arc/arc_tool.h"

namespace {

struct LoadedArchive {
    uint64_t fileSize;
    ArchiveHeader header;
    ArchiveIndexEntry* index;  // entryCount + 1 entries
};

bool OpenArchive(const char* path, LoadedArchive* archive) {
    archive->index = nullptr;
    if (GetPathKind(path, &archive->fileSize) != kPathFile) {
        PrintError("cannot read %s", path);
        return false;
    }
    FILE* file = fopen(path, "rb");
    if (!file) {
        PrintError("cannot read %s", path);
        return false;
    }
    int32_t isArchive = ReadArchiveIndex(file, &archive->header, &archive->index);
    fclose(file);
    if (!isArchive) {
        PrintError("%s is not a resource archive, or its index is cut short (see verify)", path);
        return false;
    }
    return true;
}

// The size of entry i: up to the next entry's offset (the final entry's for the last file), as
// the tool writes data in index order. Where that next offset lies before this one or past the
// end of the file (an archive written otherwise), up to the next offset above this one among
// all entries, or to the end of the file.
uint64_t EntrySize(const LoadedArchive& archive, const std::vector<uint64_t>& boundaries,
                   uint32_t i) {
    uint32_t offset = archive.index[i].offset, next = archive.index[i + 1].offset;
    if (next >= offset && next <= archive.fileSize) return next - offset;
    auto above = std::upper_bound(boundaries.begin(), boundaries.end(), (uint64_t)offset);
    return above == boundaries.end() ? 0 : *above - offset;
}

struct Problems {
    const char* path;
    int count;
};

void Report(Problems* p, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

void Report(Problems* p, const char* format, ...) {
    va_list args;
    va_start(args, format);
    fprintf(stderr, "%s: ", p->path);
    vfprintf(stderr, format, args);
    fputc('\n', stderr);
    va_end(args);
    p->count++;
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
}

}  // namespace

int RunList(int argc, char** argv) {
    if (argc < 1) {
        PrintError("list: give the archive to list");
        return kExitUsage;
    }
    LoadedArchive archive;
    if (!OpenArchive(argv[0], &archive)) return kExitFailed;
    uint32_t count = archive.header.entryCount;
    std::vector<uint64_t> boundaries = {archive.fileSize};
    for (uint32_t i = 0; i <= count; i++) {
        if (archive.index[i].offset <= archive.fileSize)
            boundaries.push_back(archive.index[i].offset);
    }
    std::sort(boundaries.begin(), boundaries.end());

    int status = kExitOk;
    std::vector<uint32_t> keys;
    for (int n = 1; n < argc; n++) {
        uint32_t key = ComputeLookupKey(argv[n]);
        keys.push_back(key);
        int32_t offset;
        if (!LookupArchiveOffset(archive.index, count, key, &offset)) {
            PrintError("%s (hash %08x) is not found in %s", argv[n], (unsigned)key, argv[0]);
            status = kExitFailed;
        }
    }
    printf("%-8s  %10s  %10s  %s\n", "hash", "offset", "size", "name");
    for (uint32_t i = 0; i < count; i++) {
        const ArchiveIndexEntry& e = archive.index[i];
        std::string names;
        for (size_t n = 0; n < keys.size(); n++) {
            if (keys[n] != e.nameHash) continue;
            if (!names.empty()) names += ", ";
            names += argv[n + 1];
        }
        if (e.offset > archive.fileSize)
            printf("%08x  %10u  %10s  %s\n", (unsigned)e.nameHash, (unsigned)e.offset, "past end",
                   names.c_str());
        else
            printf("%08x  %10u  %10llu  %s\n", (unsigned)e.nameHash, (unsigned)e.offset,
                   (unsigned long long)EntrySize(archive, boundaries, i), names.c_str());
    }
    printf("%u files; final entry: hash %08x, offset %u\n", (unsigned)count,
           (unsigned)archive.index[count].nameHash, (unsigned)archive.index[count].offset);
    ReleaseArchiveIndex(archive.index);
    return status;
}

int RunVerify(int argc, char** argv) {
    if (argc != 1) {
        PrintError("verify: give exactly one archive");
        return kExitUsage;
    }
    const char* path = argv[0];
    uint64_t fileSize = 0;
    FILE* file = GetPathKind(path, &fileSize) == kPathFile ? fopen(path, "rb") : nullptr;
    if (!file) {
        PrintError("cannot read %s", path);
        return kExitFailed;
    }
    Problems problems = {path, 0};
    ArchiveHeader header;
    std::vector<ArchiveIndexEntry> index;
    if (ReadForVerify(file, fileSize, &problems, &header, &index))
        CheckIndex(index, header.entryCount, fileSize, &problems);
    fclose(file);
    if (problems.count > 0) {
        fprintf(stderr, "%s: %d problem%s\n", path, problems.count, problems.count == 1 ? "" : "s");
        return kExitFailed;
    }
    printf("%s: good, %u files\n", path, (unsigned)header.entryCount);
    return kExitOk;
}
