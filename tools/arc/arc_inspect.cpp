// `list` and `verify`: reading an archive's header and index back. `list` reads through the same
// loader the launcher uses; `verify` reads the fields itself so that it can say what is wrong
// (arc_verify.h, shared with vorlin-media).
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
#include "tools/arc/arc_verify.h"

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
    std::vector<std::string> problems;
    uint32_t entryCount;
    VerifyArchiveFile(file, fileSize, &problems, &entryCount);
    fclose(file);
    for (const std::string& problem : problems) fprintf(stderr, "%s: %s\n", path, problem.c_str());
    if (!problems.empty()) {
        fprintf(stderr, "%s: %d problem%s\n", path, (int)problems.size(),
                problems.size() == 1 ? "" : "s");
        return kExitFailed;
    }
    printf("%s: good, %u files\n", path, (unsigned)entryCount);
    return kExitOk;
}
