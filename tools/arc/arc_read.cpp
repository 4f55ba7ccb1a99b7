// Reading an archive's index back and sizing its files (see arc_read.h).
#include "tools/arc/arc_read.h"

#include <stdio.h>

#include <algorithm>

#include "tools/common/tool_files.h"
#include "tools/common/tool_output.h"
#include "tools/arc/arc_tool.h"

bool OpenArchive(const char* path, LoadedArchive* archive) {
    archive->index = nullptr;
    if (GetPathKind(path, &archive->fileSize) != kPathFile) {
        PrintError("cannot read %s", path);
        return false;
    }
    FILE* file = OpenFile(path, "rb");
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

namespace {

// A place where a file may end: an entry's offset (position = its index position, the final
// entry's being entryCount) or the end of the file (position entryCount + 1).
struct Boundary {
    uint64_t offset;
    uint64_t position;
};

bool operator<(const Boundary& a, const Boundary& b) {
    return a.offset != b.offset ? a.offset < b.offset : a.position < b.position;
}

}  // namespace

std::vector<uint64_t> ComputeEntrySizes(const LoadedArchive& archive) {
    uint32_t count = archive.header.entryCount;
    // An end of data this tool wrote past the end of the file closes the last file there, so that
    // a cut-short file is told as such instead of being read to the end of what is left.
    const ArchiveIndexEntry& final = archive.index[count];
    bool cutShort = final.nameHash == kEndOfDataHash && final.offset > archive.fileSize;
    std::vector<Boundary> order;
    for (uint32_t i = 0; i <= count; i++) {
        if (archive.index[i].offset <= archive.fileSize || (i == count && cutShort))
            order.push_back({archive.index[i].offset, i});
    }
    if (!cutShort) order.push_back({archive.fileSize, (uint64_t)count + 1});
    std::sort(order.begin(), order.end());

    std::vector<uint64_t> sizes(count, kSizePastEnd);
    for (uint32_t i = 0; i < count; i++) {
        uint64_t offset = archive.index[i].offset;
        if (offset > archive.fileSize) continue;
        // The entry itself is in `order`, and an end (of the data or of the file) comes after it.
        auto self = std::lower_bound(order.begin(), order.end(), Boundary{offset, i});
        uint64_t end = (self + 1)->offset;
        sizes[i] = end > archive.fileSize ? kSizeCutShort : end - offset;
    }
    return sizes;
}
