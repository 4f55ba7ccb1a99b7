// CRC-32 register arithmetic and the name hash.
#include "resfs/name_hash.h"

#include <gtest/gtest.h>

TEST(UpdateCrc32, CheckValue) {
    EXPECT_EQ(~UpdateCrc32(0xFFFFFFFFu, "123456789", 9), 0xCBF43926u);
}

TEST(UpdateCrc32, SingleBytesFromZeroGiveTableEntries) {
    const uint8_t one = 0x01, high = 0x80;
    EXPECT_EQ(UpdateCrc32(0, &one, 1), 0x77073096u);
    EXPECT_EQ(UpdateCrc32(0, &high, 1), 0xEDB88320u);
}

TEST(UpdateCrc32, NonPositiveLengthLeavesRegister) {
    EXPECT_EQ(UpdateCrc32(0x12345678u, "abc", 0), 0x12345678u);
    EXPECT_EQ(UpdateCrc32(0x12345678u, "abc", -1), 0x12345678u);
    EXPECT_EQ(UpdateCrc32(0x12345678u, nullptr, 0), 0x12345678u);
}

TEST(UpdateCrc32, PiecesGiveTheSameRegister) {
    uint32_t whole = UpdateCrc32(0xFFFFFFFFu, "update.rct", 10);
    uint32_t pieces = UpdateCrc32(UpdateCrc32(0xFFFFFFFFu, "upd", 3), "ate.rct", 7);
    EXPECT_EQ(whole, pieces);
}

TEST(ComputeNameHash, Values) {
    struct Case {
        const char* name;
        const char* text;
        uint32_t hash;
    };
    static const Case kCases[] = {
        {"lower-cased name", "update.rct", 0xB56852F7u},
        {"check string", "123456789", 0xCBF43926u},
        {"empty name", "", 0x00000000u},
        // It neither lower-cases nor strips directories: its callers do.
        {"capitals are hashed as they are", "Update.RCT", 0x6C9213ADu},
        {"directory part is hashed too", "pics/update.rct", 0x506F0D26u},
    };
    for (const Case& c : kCases) EXPECT_EQ(ComputeNameHash(c.text), c.hash) << c.name;
}
