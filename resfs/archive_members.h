// Where each file of a resource archive ends. The archive stores no sizes (archive_format.h): a
// member's data runs from its offset to where the next member by offset begins, or to where the
// data ends. Members are put in data order by offset, and members at one offset in index order:
// the archive tool writes the data in index order, so an empty file shares its offset with the
// file after it and comes first. So every byte of data belongs to exactly one member, and an
// empty file is never given the bytes of the file that follows it. The final entry's offset (the
// end of the data the archive tool records) ends a member too. Portable: the media tools size
// members by it, for any writer's layout.
#pragma once

#include <stdint.h>

#include <vector>

#include "resfs/archive_format.h"

// The end of each of the entryCount searchable members of `index` (entryCount + 1 entries), at
// most `dataEnd` (where the data ends: the archive's length, or past it the end of data that a
// cut-short archive's final entry records). A member whose offset lies past dataEnd has no data:
// its end is its own offset. Offsets past dataEnd end nothing.
std::vector<uint64_t> ComputeArchiveMemberEnds(const ArchiveIndexEntry* index, uint32_t entryCount,
                                               uint64_t dataEnd);
