// Where each archive member ends: in data order by offset, equal offsets in index order, the final
// entry's offset and the end of the data closing the last member; offsets past the end of the
// data end nothing.
#include "resfs/archive_members.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

const uint32_t kEnd = kEndOfDataHash;
const uint64_t kNone = UINT64_MAX;  // no more members in the row

struct Case {
    const char* name;
    std::vector<ArchiveIndexEntry> index;  // entryCount + 1 entries
    uint64_t dataEnd;
    uint64_t ends[4];  // of the searchable members, in index order
};

const Case kCases[] = {
    {"data in index order",
     {{0x10, 60}, {0x20, 64}, {0x30, 66}, {kEnd, 67}},
     67,
     {64, 66, 67, kNone}},
    {"data in another order",
     {{0x10, 60}, {0x20, 66}, {0x30, 64}, {kEnd, 67}},
     67,
     {64, 67, 66, kNone}},
    {"data in reverse order",
     {{0x10, 63}, {0x20, 61}, {0x30, 60}, {kEnd, 67}},
     67,
     {67, 63, 61, kNone}},
    {"the final entry ends the data before its end",
     {{0x10, 60}, {0x20, 66}, {0x30, 64}, {kEnd, 67}},
     69,
     {64, 67, 66, kNone}},
    {"a final entry of 0 leaves the end of the data",
     {{0x10, 66}, {0x20, 60}, {0x30, 64}, {0, 0}},
     67,
     {67, 64, 66, kNone}},
    {"equal offsets: the earlier in index order is empty",
     {{0x10, 60}, {0x20, 60}, {0x30, 64}, {kEnd, 66}},
     66,
     {60, 64, 66, kNone}},
    {"three at one offset: only the last in index order has the data",
     {{0x10, 60}, {0x20, 60}, {0x30, 60}, {kEnd, 62}},
     62,
     {60, 60, 62, kNone}},
    {"equal offsets out of data order",
     {{0x10, 64}, {0x20, 60}, {0x30, 64}, {kEnd, 66}},
     66,
     {64, 64, 66, kNone}},
    {"a member at the final entry's offset is empty",
     {{0x10, 60}, {0x20, 66}, {kEnd, 66}},
     70,
     {66, 66, kNone, kNone}},
    {"a member at the end of the data is empty",
     {{0x10, 60}, {0x20, 66}, {0, 0}},
     66,
     {66, 66, kNone, kNone}},
    {"an offset past the end ends nothing and has no data",
     {{0x10, 60}, {0x20, 99}, {0x30, 64}, {kEnd, 67}},
     67,
     {64, 99, 67, kNone}},
    {"a final entry past the end ends nothing",
     {{0x10, 60}, {0x20, 64}, {kEnd, 99}},
     67,
     {64, 67, kNone, kNone}},
    {"offsets at 2^32 - 1",
     {{0x10, 0xFFFFFFF0u}, {0x20, 0xFFFFFFFFu}, {kEnd, 0xFFFFFFFFu}},
     0xFFFFFFFFu,
     {0xFFFFFFFFu, 0xFFFFFFFFu, kNone, kNone}},
    {"no members", {{kEnd, 28}}, 28, {kNone, kNone, kNone, kNone}},
};

TEST(ArchiveMemberEnds, Table) {
    for (const Case& c : kCases) {
        uint32_t count = (uint32_t)c.index.size() - 1;
        std::vector<uint64_t> ends = ComputeArchiveMemberEnds(c.index.data(), count, c.dataEnd);
        ASSERT_EQ(ends.size(), (size_t)count) << c.name;
        for (uint32_t i = 0; i < count; i++)
            EXPECT_EQ(ends[i], c.ends[i]) << c.name << ", member " << i;
        for (uint32_t i = count; i < 4; i++) EXPECT_EQ(c.ends[i], kNone) << c.name;
    }
}

// Every byte of the data belongs to exactly one member: the sizes of members inside the data add
// up to the data from the first offset on (to the final entry's offset when it ends the data).
TEST(ArchiveMemberEnds, SizesCoverTheDataOnce) {
    for (const Case& c : kCases) {
        uint32_t count = (uint32_t)c.index.size() - 1;
        if (count == 0) continue;
        std::vector<uint64_t> ends = ComputeArchiveMemberEnds(c.index.data(), count, c.dataEnd);
        uint64_t first = UINT64_MAX, last = 0, total = 0;
        for (uint32_t i = 0; i < count; i++) {
            uint64_t offset = c.index[i].offset;
            if (offset > c.dataEnd) continue;
            ASSERT_GE(ends[i], offset) << c.name;
            total += ends[i] - offset;
            if (offset < first) first = offset;
            if (ends[i] > last) last = ends[i];
        }
        EXPECT_EQ(total, last - first) << c.name;
    }
}

}  // namespace
