// The free space an update needs: all its drafts at once, or the peak of replacing its files one
// at a time.
#include <gtest/gtest.h>

#include <vector>

#include "update/core/space_plan.h"

namespace {

const uint64_t kMiB = 1 << 20;
const uint64_t kGrowth = kDirectoryGrowthPerNewName;
const uint64_t kRecord = kFileRecordBytes;
const uint64_t kReserve = kSpaceReserve;

SpacePlanFile New(uint64_t size) {
    return {size, 0, false};
}
SpacePlanFile Replacing(uint64_t size, uint64_t old) {
    return {size, old, true};
}

TEST(SpacePlan, PeakOfTheSequence) {
    struct Case {
        const char* name;
        std::vector<SpacePlanFile> files;
        uint32_t cluster;
        uint64_t need;
    };
    const Case cases[] = {
        {"nothing to copy", {}, 4096, 0},
        {"one new file", {New(10 * kMiB)}, 4096, kGrowth + 10 * kMiB + kRecord + kReserve},
        {"an empty file needs only its entry", {New(0)}, 4096, kGrowth + kRecord + kReserve},
        {"sizes round up to whole clusters", {New(1)}, 4096, kGrowth + 4096 + kRecord + kReserve},
        {"a cluster of 64 KiB", {New(65537)}, 65536, kGrowth + 131072 + kRecord + kReserve},
        {"cluster size 0 counts bytes", {New(1)}, 0, kGrowth + 1 + kRecord + kReserve},
        // The draft needs its room while the old file still exists; a replaced name adds no
        // directory entry.
        {"replacing a file of the same size",
         {Replacing(8 * kMiB, 8 * kMiB)},
         4096,
         8 * kMiB + kRecord + kReserve},
        // Two replacements that each grow a file: the second starts from what the first added.
        {"growth adds up",
         {Replacing(3 * kMiB, 2 * kMiB), Replacing(3 * kMiB, 2 * kMiB)},
         4096,
         1 * kMiB + 3 * kMiB + kRecord + kReserve},
        // A large file replaced early frees room for a later one: the peak is the first file.
        {"shrinking first frees room for later files",
         {Replacing(5 * kMiB, 9 * kMiB), New(2 * kMiB)},
         4096,
         5 * kMiB + kRecord + kReserve},
        // Each file alone fits in 4 MiB of free space; the sequence needs more.
        {"each fits, the sequence does not",
         {Replacing(1536 * 1024, 1024 * 1024), Replacing(1536 * 1024, 1024 * 1024),
          Replacing(1536 * 1024, 1024 * 1024), Replacing(1536 * 1024, 1024 * 1024),
          Replacing(1536 * 1024, 1024 * 1024), New(1536 * 1024)},
         4096,
         kGrowth + 5 * 512 * 1024 + 1536 * 1024 + kRecord + kReserve},
        {"sizes near 2^64 saturate",
         {New(UINT64_MAX - 10), New(UINT64_MAX - 10)},
         4096,
         UINT64_MAX},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ComputeSpaceNeeded(c.files.data(), (uint32_t)c.files.size(), c.cluster), c.need)
            << c.name;
    }
}

TEST(SpacePlan, AllDraftsAtOnce) {
    struct Case {
        const char* name;
        std::vector<SpacePlanFile> files;
        uint64_t need;
    };
    const Case cases[] = {
        {"nothing to copy", {}, 0},
        {"one new file", {New(10 * kMiB)}, 10 * kMiB + kRecord + kGrowth + kReserve},
        {"a replacement adds no directory entry",
         {Replacing(8 * kMiB, 8 * kMiB)},
         8 * kMiB + kRecord + kReserve},
        // What a replacement frees comes only after every draft is written.
        {"a shrinking file frees nothing in time",
         {Replacing(5 * kMiB, 9 * kMiB), New(2 * kMiB)},
         7 * kMiB + 2 * kRecord + kGrowth + kReserve},
        {"sizes round up to whole clusters",
         {Replacing(1, 1), New(4097)},
         4096 + 8192 + 2 * kRecord + kGrowth + kReserve},
        // Ten thousand small help files that replace existing ones: about 50 MB, not 160.
        {"many small replacements", std::vector<SpacePlanFile>(10000, Replacing(700, 650)),
         10000 * (4096 + kRecord) + kReserve},
        {"sizes near 2^64 saturate", {New(UINT64_MAX - 10), New(UINT64_MAX - 10)}, UINT64_MAX},
    };
    for (const Case& c : cases) {
        uint32_t count = (uint32_t)c.files.size();
        EXPECT_EQ(ComputeSpaceNeededAllAtOnce(c.files.data(), count, 4096), c.need) << c.name;
        EXPECT_GE(ComputeSpaceNeededAllAtOnce(c.files.data(), count, 4096),
                  ComputeSpaceNeeded(c.files.data(), count, 4096))
            << c.name;
    }
}

TEST(SpacePlan, MebibytesRound) {
    struct Case {
        uint64_t bytes, up, down;
    };
    const Case cases[] = {
        {0, 0, 0},    {1, 1, 0},        {kMiB - 1, 1, 0},
        {kMiB, 1, 1}, {kMiB + 1, 2, 1}, {UINT64_MAX, (UINT64_MAX >> 20) + 1, UINT64_MAX >> 20},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MebibytesRoundedUp(c.bytes), c.up) << c.bytes;
        EXPECT_EQ(MebibytesRoundedDown(c.bytes), c.down) << c.bytes;
    }
}

}  // namespace
