// Reading an archive's index back and sizing its files (see arc_read.h).
#include "tools/arc/arc_read.h"

#include <stdio.h>

#include "resfs/archive_members.h"
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

std::vector<uint64_t> ComputeEntrySizes(const LoadedArchive& archive) {
    uint32_t count = archive.header.entryCount;
    // An end of data this tool wrote past the end of the file is where the data should end, so
    // that a file cut short is told as such instead of being read to the end of what is left.
    const ArchiveIndexEntry& final = archive.index[count];
    bool cutShort = final.nameHash == kEndOfDataHash && final.offset > archive.fileSize;
    uint64_t dataEnd = cutShort ? final.offset : archive.fileSize;
    std::vector<uint64_t> ends = ComputeArchiveMemberEnds(archive.index, count, dataEnd);

    std::vector<uint64_t> sizes(count, kSizePastEnd);
    for (uint32_t i = 0; i < count; i++) {
        uint64_t offset = archive.index[i].offset;
        if (offset > archive.fileSize) continue;
        sizes[i] = ends[i] > archive.fileSize ? kSizeCutShort : ends[i] - offset;
    }
    return sizes;
}
