// Archive header and index reading (from memory and from a file) and the index search.
#include "resfs/archive_format.h"

#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

typedef std::vector<uint8_t> Bytes;

static void PutU32(Bytes* out, uint32_t v) {
    for (int i = 0; i < 4; i++) out->push_back((uint8_t)(v >> (8 * i)));
}

// Header with `count`, then the given entries (which may be more or fewer than count + 1).
static Bytes MakeArchive(uint32_t count, std::vector<ArchiveIndexEntry> entries) {
    Bytes out(kArchiveMagic, kArchiveMagic + kArchiveMagicSize);
    PutU32(&out, count);
    PutU32(&out, 0x11111111u);
    PutU32(&out, 0x22222222u);
    for (const ArchiveIndexEntry& e : entries) {
        PutU32(&out, e.nameHash);
        PutU32(&out, e.offset);
    }
    return out;
}

static Bytes ValidTwoFiles() {
    Bytes a = MakeArchive(2, {{0x10, 52}, {0x20, 55}, {0xFFFFFFFFu, 58}});
    for (const char* d = "abcdef"; *d; d++) a.push_back((uint8_t)*d);
    return a;
}

struct HeaderCase {
    const char* name;
    Bytes bytes;
    int32_t result;
    uint32_t count;
};

static std::vector<HeaderCase> HeaderCases() {
    Bytes badMagic = ValidTwoFiles();
    badMagic[15] = '!';
    Bytes badVersion = ValidTwoFiles();
    badVersion[14] = '1';
    Bytes insideIndex = ValidTwoFiles();
    insideIndex.resize(kArchiveHeaderSize + 2 * 8 + 7);
    Bytes noFinalEntry = MakeArchive(2, {{0x10, 44}, {0x20, 44}});
    Bytes shortHeader = ValidTwoFiles();
    shortHeader.resize(27);
    return {
        {"valid with two files", ValidTwoFiles(), 1, 2},
        {"no files: one unsearched entry", MakeArchive(0, {{0xFFFFFFFFu, 36}}), 1, 0},
        {"index ends the file", MakeArchive(1, {{0x10, 44}, {0xFFFFFFFFu, 44}}), 1, 1},
        {"16th magic byte not NUL", badMagic, 0, 0},
        {"other version", badVersion, 0, 0},
        {"27 bytes", shortHeader, 0, 0},
        {"empty file", Bytes(), 0, 0},
        {"header only, N = 0", MakeArchive(0, {}), 0, 0},
        {"ends inside the index", insideIndex, 0, 0},
        {"unsearched entry missing", noFinalEntry, 0, 0},
        {"largest count that fits 32 bits", MakeArchive(0x1FFFFFFEu, {{1, 2}}), 0, 0},
        {"count too large for 32 bits", MakeArchive(0x1FFFFFFFu, {{1, 2}}), 0, 0},
        {"count 0xFFFFFFFF", MakeArchive(0xFFFFFFFFu, {{1, 2}}), 0, 0},
    };
}

static void ExpectLoaded(const HeaderCase& c, int32_t result, const ArchiveHeader& header,
                         const ArchiveIndexEntry* index, const char* how) {
    EXPECT_EQ(result, c.result) << c.name << how;
    if (result == 1) {
        EXPECT_EQ(header.entryCount, c.count) << c.name << how;
        EXPECT_EQ(header.words[0], 0x11111111u) << c.name << how;
        EXPECT_EQ(header.words[1], 0x22222222u) << c.name << how;
        ASSERT_NE(index, nullptr) << c.name << how;
        const uint8_t* raw = c.bytes.data() + kArchiveHeaderSize + 8 * c.count;
        EXPECT_EQ(index[c.count].nameHash, (uint32_t)raw[0] | (uint32_t)raw[1] << 8 |
                                               (uint32_t)raw[2] << 16 | (uint32_t)raw[3] << 24)
            << c.name << how;
    } else {
        static const ArchiveHeader kZero = {};
        EXPECT_EQ(memcmp(&header, &kZero, sizeof header), 0) << c.name << how;
        EXPECT_EQ(index, nullptr) << c.name << how;
    }
}

TEST(ArchiveHeader, ParseFromMemory) {
    for (const HeaderCase& c : HeaderCases()) {
        ArchiveHeader header;
        memset(&header, 0xAB, sizeof header);
        ArchiveIndexEntry* index = nullptr;
        int32_t result =
            ParseArchiveIndex(c.bytes.data(), (uint32_t)c.bytes.size(), &header, &index);
        ExpectLoaded(c, result, header, index, " (memory)");
        uint32_t count = 12345;
        int32_t hasMagic = c.bytes.size() >= 28 && memcmp(c.bytes.data(), kArchiveMagic, 16) == 0;
        EXPECT_EQ(IsArchiveHeader(c.bytes.data(), (uint32_t)c.bytes.size(), &count), hasMagic)
            << c.name;
        ReleaseArchiveIndex(index);
    }
}

static unsigned long OwnProcessId() {
#ifdef _WIN32
    return GetCurrentProcessId();
#else
    return (unsigned long)getpid();
#endif
}

TEST(ArchiveHeader, LoadFromFile) {
    // Of this process's own: another run of the tests may be writing its own at the same time.
    std::string path = ::testing::TempDir() + "resfs_archive_format_test_" +
                       std::to_string(OwnProcessId()) + ".arc";
    for (const HeaderCase& c : HeaderCases()) {
        FILE* f = fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        ASSERT_EQ(fwrite(c.bytes.data(), 1, c.bytes.size(), f), c.bytes.size());
        fclose(f);
        ArchiveHeader header;
        memset(&header, 0xAB, sizeof header);
        ArchiveIndexEntry* index = nullptr;
        int32_t result = LoadArchiveIndex(path.c_str(), &header, &index);
        ExpectLoaded(c, result, header, index, " (file)");
        ReleaseArchiveIndex(index);
    }
    remove(path.c_str());
}

TEST(ArchiveHeader, MissingFileIsNoArchive) {
    ArchiveHeader header;
    memset(&header, 0xAB, sizeof header);
    ArchiveIndexEntry* index = (ArchiveIndexEntry*)&header;  // must be overwritten, not freed
    std::string path = ::testing::TempDir() + "resfs_no_such_archive.arc";
    EXPECT_EQ(LoadArchiveIndex(path.c_str(), &header, &index), 0);
    EXPECT_EQ(index, nullptr);
    EXPECT_EQ(header.entryCount, 0u);
    EXPECT_EQ(header.magic[0], 0);
}

TEST(ArchiveHeader, IndexSize) {
    struct Case {
        const char* name;
        uint32_t count;
        int32_t result;
        uint32_t bytes;
    };
    static const Case kCases[] = {
        {"no files", 0, 1, 8},
        {"two files", 2, 1, 24},
        {"largest", 0x1FFFFFFEu, 1, 0xFFFFFFF8u},
        {"one more", 0x1FFFFFFFu, 0, 0},
        {"all ones", 0xFFFFFFFFu, 0, 0},
    };
    for (const Case& c : kCases) {
        uint32_t bytes = 0;
        EXPECT_EQ(ComputeArchiveIndexSize(c.count, &bytes), c.result) << c.name;
        if (c.result) {
            EXPECT_EQ(bytes, c.bytes) << c.name;
        }
    }
}

TEST(FindArchiveEntry, NoFilesNeverFinds) {
    const ArchiveIndexEntry index[] = {{0xFFFFFFFFu, 36}};
    for (uint32_t key : {0u, 1u, 0x80000000u, 0xFFFFFFFFu})
        EXPECT_EQ(FindArchiveEntry(index, 0, key), nullptr) << key;
}

TEST(FindArchiveEntry, UnsignedOrder) {
    const ArchiveIndexEntry index[] = {{0x00000001u, 100},
                                       {0x7FFFFFFFu, 101},
                                       {0x80000000u, 102},
                                       {0xFFFFFFFEu, 103},
                                       {0xFFFFFFFFu, 104}};
    for (int i = 0; i < 4; i++)
        EXPECT_EQ(FindArchiveEntry(index, 4, index[i].nameHash), &index[i]) << i;
    // Absent keys, and the unsearched last entry's hash, are not found.
    for (uint32_t key : {0u, 2u, 0x80000001u, 0xFFFFFFFFu})
        EXPECT_EQ(FindArchiveEntry(index, 4, key), nullptr) << key;
}

TEST(FindArchiveEntry, SignedOrderLeavesEntriesUnreachable) {
    const ArchiveIndexEntry index[] = {{0x80000000u, 100},
                                       {0xF0000000u, 101},
                                       {0x00000001u, 102},
                                       {0x7FFFFFFFu, 103},
                                       {0xFFFFFFFFu, 104}};
    int unreachable = 0;
    for (int i = 0; i < 4; i++)
        if (FindArchiveEntry(index, 4, index[i].nameHash) == nullptr) unreachable++;
    EXPECT_GT(unreachable, 0);
    EXPECT_EQ(FindArchiveEntry(index, 4, 0x80000000u), nullptr);
}

TEST(FindArchiveEntry, DuplicatesFoundEitherWay) {
    struct Case {
        const char* name;
        std::vector<ArchiveIndexEntry> index;
        uint32_t key;
    };
    const Case kCases[] = {
        {"run in the middle", {{5, 1}, {7, 2}, {7, 3}, {7, 4}, {9, 5}, {0, 6}}, 7},
        {"pair alone", {{7, 1}, {7, 2}, {0, 3}}, 7},
        {"pair at the start", {{7, 1}, {7, 2}, {8, 3}, {9, 4}, {10, 5}, {0, 6}}, 7},
        {"pair at the end", {{1, 1}, {2, 2}, {3, 3}, {7, 4}, {7, 5}, {0, 6}}, 7},
        {"high hashes",
         {{0x7FFFFFFFu, 1}, {0x80000000u, 2}, {0x80000000u, 3}, {0, 4}},
         0x80000000u},
    };
    for (const Case& c : kCases) {
        uint32_t n = (uint32_t)c.index.size() - 1;
        const ArchiveIndexEntry* e = FindArchiveEntry(c.index.data(), n, c.key);
        ASSERT_NE(e, nullptr) << c.name;
        EXPECT_EQ(e->nameHash, c.key) << c.name;
        EXPECT_LT(e - c.index.data(), (ptrdiff_t)n) << c.name;
    }
}

TEST(FindArchiveEntry, ManyEntries) {
    std::vector<ArchiveIndexEntry> index;
    uint32_t h = 0;
    for (uint32_t i = 0; i < 5000; i++) {
        h += 1 + (i * 2654435761u >> 12);  // increasing, spread over the whole range
        index.push_back({h, i});
    }
    index.push_back({0, 0});
    for (uint32_t i = 0; i < 5000; i++) {
        const ArchiveIndexEntry* e = FindArchiveEntry(index.data(), 5000, index[i].nameHash);
        ASSERT_EQ(e, &index[i]) << i;
        if (i + 1 < 5000 && index[i].nameHash + 1 != index[i + 1].nameHash) {
            ASSERT_EQ(FindArchiveEntry(index.data(), 5000, index[i].nameHash + 1), nullptr) << i;
        }
    }
}

TEST(LookupArchiveOffset, OffsetMustBeSeekable) {
    const ArchiveIndexEntry index[] = {
        {1, 0x7FFFFFFFu}, {2, 0x80000000u}, {3, 0xFFFFFFFFu}, {4, 36}, {0xFFFFFFFFu, 0}};
    struct Case {
        const char* name;
        uint32_t key;
        int32_t result;
        int32_t offset;
    };
    static const Case kCases[] = {
        {"largest seekable offset", 1, 1, 0x7FFFFFFF},
        {"offset 2^31", 2, 0, 0},
        {"offset 0xFFFFFFFF", 3, 0, 0},
        {"ordinary", 4, 1, 36},
        {"absent", 5, 0, 0},
    };
    for (const Case& c : kCases) {
        int32_t offset = -1;
        EXPECT_EQ(LookupArchiveOffset(index, 4, c.key, &offset), c.result) << c.name;
        if (c.result) {
            EXPECT_EQ(offset, c.offset) << c.name;
        }
    }
    EXPECT_TRUE(IsArchiveOffsetReadable(0x7FFFFFFFu));
    EXPECT_FALSE(IsArchiveOffsetReadable(0x80000000u));
}
