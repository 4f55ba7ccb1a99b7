// Where each archive member ends (see archive_members.h): one sort of every place a member can
// end, then each member ends at the place after its own.
#include "resfs/archive_members.h"

#include <algorithm>

namespace {

// A place where a member may end: an entry's offset (position: its index position, the final
// entry's being entryCount) or where the data ends (position entryCount + 1).
struct Boundary {
    uint64_t offset;
    uint64_t position;
};

bool operator<(const Boundary& a, const Boundary& b) {
    return a.offset != b.offset ? a.offset < b.offset : a.position < b.position;
}

}  // namespace

std::vector<uint64_t> ComputeArchiveMemberEnds(const ArchiveIndexEntry* index, uint32_t entryCount,
                                               uint64_t dataEnd) {
    std::vector<Boundary> order;
    for (uint32_t i = 0; i <= entryCount; i++) {
        if (index[i].offset <= dataEnd) order.push_back({index[i].offset, i});
    }
    order.push_back({dataEnd, (uint64_t)entryCount + 1});
    std::sort(order.begin(), order.end());

    std::vector<uint64_t> ends(entryCount);
    for (uint32_t i = 0; i < entryCount; i++) {
        uint64_t offset = index[i].offset;
        if (offset > dataEnd) {
            ends[i] = offset;
            continue;
        }
        // The member itself is in `order`, and the end of the data comes after it.
        auto self = std::lower_bound(order.begin(), order.end(), Boundary{offset, i});
        ends[i] = (self + 1)->offset;
    }
    return ends;
}
