// How much free space an update needs on the install volume.
//
// Files are replaced one at a time, in the order the update copies them. Each file is first
// written in full to a temporary file beside its destination while the old file still exists;
// only then does the temporary file replace the old one, whose space is freed. The room the
// update needs is therefore not the sum of the new sizes, nor the largest file, but the peak of
// that sequence: what earlier replacements have added (or freed) so far, plus the file being
// written now.
//
// Sizes are counted in whole clusters, as the file system allocates them. On top of that each
// file copied is allowed kDirectoryGrowthPerFile for the directory entries and file records it
// may add (kept for the rest of the sequence), and the whole update kSpaceReserve, so that the
// volume is not left exactly full for the file system's own needs.
//
// Portable: no platform calls, so the arithmetic is tested on its own.
#pragma once
#include <stdint.h>

enum : uint32_t {
    kDirectoryGrowthPerFile = 16 * 1024,
    kSpaceReserve = 256 * 1024,
};

struct SpacePlanFile {
    uint64_t newSize;   // the file as the update writes it
    uint64_t oldSize;   // the file it replaces (only when `replaces`)
    bool replaces;      // an old file of that name exists and is freed by the replacement
};

// The free bytes the sequence needs at its peak, margins included; 0 for no files. A cluster
// size of 0 counts bytes as they are. Saturates at UINT64_MAX instead of wrapping.
uint64_t ComputeSpaceNeeded(const SpacePlanFile* files, uint32_t count, uint32_t clusterSize);

// Whole mebibytes: `bytes` rounded up (for what is needed) or down (for what is free).
uint64_t MebibytesRoundedUp(uint64_t bytes);
uint64_t MebibytesRoundedDown(uint64_t bytes);
