// How much free space an update needs on the install volume, in the two orders it can take.
//
// All at once (the usual order): every new file is first written in full as a draft beside its
// destination while every old file still exists; only then are the drafts put in place and the old
// files freed. The room needed is the sum of all new files.
//
// One at a time (offered when only that fits): each file is written and put in place before the
// next, so the room needed is the peak of that sequence: what earlier replacements have added (or
// freed) so far, plus the file being written now.
//
// Sizes are counted in whole clusters, as the file system allocates them. Each draft is also
// allowed kFileRecordBytes for its file record while it exists beside the old file; a name that is
// new in its folder (a file added, not replaced) is allowed kDirectoryGrowthPerNewName for the
// directory entries it adds, kept for good. The whole update keeps kSpaceReserve on top, so that
// the volume is not left exactly full for the file system's own needs.
//
// Portable: no platform calls, so the arithmetic is tested on its own.
#pragma once
#include <stdint.h>

enum : uint32_t {
    kFileRecordBytes = 1024,
    kDirectoryGrowthPerNewName = 16 * 1024,
    kSpaceReserve = 256 * 1024,
};

struct SpacePlanFile {
    uint64_t newSize;  // the file as the update writes it
    uint64_t oldSize;  // the file it replaces (only when `replaces`)
    bool replaces;     // an old file of that name exists and is freed by the replacement
};

// The free bytes the one-at-a-time sequence needs at its peak, margins included; 0 for no files.
// A cluster size of 0 counts bytes as they are. Saturates at UINT64_MAX instead of wrapping.
uint64_t ComputeSpaceNeeded(const SpacePlanFile* files, uint32_t count, uint32_t clusterSize);
// The free bytes needed to draft every file at once, margins included; 0 for no files. Never less
// than ComputeSpaceNeeded for the same files.
uint64_t ComputeSpaceNeededAllAtOnce(const SpacePlanFile* files, uint32_t count,
                                     uint32_t clusterSize);

// Whole mebibytes: `bytes` rounded up (for what is needed) or down (for what is free).
uint64_t MebibytesRoundedUp(uint64_t bytes);
uint64_t MebibytesRoundedDown(uint64_t bytes);
