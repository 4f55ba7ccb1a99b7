// Free space needed by an update (see space_plan.h).
#include "update/core/space_plan.h"

static const uint64_t kMax = UINT64_MAX;

static uint64_t AddSaturating(uint64_t a, uint64_t b) {
    return a > kMax - b ? kMax : a + b;
}

// Bytes the file system allocates for a file of `size` bytes.
static uint64_t Allocated(uint64_t size, uint32_t clusterSize) {
    if (clusterSize == 0 || size == 0) return size;
    uint64_t rest = size % clusterSize;
    return rest == 0 ? size : AddSaturating(size, clusterSize - rest);
}

uint64_t ComputeSpaceNeeded(const SpacePlanFile* files, uint32_t count, uint32_t clusterSize) {
    if (count == 0) return 0;
    // What the sequence has added to the volume so far, as grown and freed parts kept apart so
    // that no step goes below zero or wraps.
    uint64_t grown = 0, freed = 0, peak = 0;
    for (uint32_t i = 0; i < count; i++) {
        uint64_t written = Allocated(files[i].newSize, clusterSize);
        if (!files[i].replaces) grown = AddSaturating(grown, kDirectoryGrowthPerNewName);
        // While the draft is written, the old file still holds its space.
        uint64_t during = AddSaturating(AddSaturating(grown, written), kFileRecordBytes);
        uint64_t need = during > freed ? during - freed : 0;
        if (need > peak) peak = need;
        grown = AddSaturating(grown, written);
        if (files[i].replaces)
            freed = AddSaturating(freed, Allocated(files[i].oldSize, clusterSize));
    }
    return AddSaturating(peak, kSpaceReserve);
}

uint64_t ComputeSpaceNeededAllAtOnce(const SpacePlanFile* files, uint32_t count,
                                     uint32_t clusterSize) {
    if (count == 0) return 0;
    uint64_t need = kSpaceReserve;
    for (uint32_t i = 0; i < count; i++) {
        need = AddSaturating(need, Allocated(files[i].newSize, clusterSize));
        need = AddSaturating(need, kFileRecordBytes);
        if (!files[i].replaces) need = AddSaturating(need, kDirectoryGrowthPerNewName);
    }
    return need;
}

uint64_t MebibytesRoundedUp(uint64_t bytes) {
    return (bytes >> 20) + ((bytes & 0xFFFFF) != 0 ? 1 : 0);
}

uint64_t MebibytesRoundedDown(uint64_t bytes) {
    return bytes >> 20;
}
