// Reading an archive back for `list` and `extract`: its header and index through the launcher's
// own loader, and the size of each file, where resfs/archive_members.h says each file ends (in
// data order, equal offsets in index order, the final entry's offset and the end of the file
// closing the last file; any writer's layout reads back this way, not only the tool's own). When
// the tool's own end of data lies past the end of the file, the file was cut short: the file that
// ends there is not sized but marked as cut short.
#pragma once

#include <stdint.h>

#include <vector>

#include "resfs/archive_format.h"

struct LoadedArchive {
    uint64_t fileSize;
    ArchiveHeader header;
    ArchiveIndexEntry* index;  // entryCount + 1 entries
};

// Reads `path`'s header and index. False after printing a message when it cannot be read or
// is not an archive; otherwise the caller releases archive->index with ReleaseArchiveIndex.
bool OpenArchive(const char* path, LoadedArchive* archive);

const uint64_t kSizePastEnd = UINT64_MAX;  // an entry whose offset lies past the end of the file
// An entry whose data the archive's own end-of-data entry says runs past the end of the file:
// the archive was cut short.
const uint64_t kSizeCutShort = UINT64_MAX - 1;

// The size of each of the entryCount searchable entries, or kSizePastEnd.
std::vector<uint64_t> ComputeEntrySizes(const LoadedArchive& archive);
