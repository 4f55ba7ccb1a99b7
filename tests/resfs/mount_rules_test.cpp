// The rules of a folder mount: which files it indexes and which sub-folders it scans. Code page
// 932 texts are written as bytes, since this test is also built where literals stay UTF-8.
#include "resfs/mount_rules.h"

#include <gtest/gtest.h>

TEST(MountRules, RegisteredMountsInOrder) {
    EXPECT_STREQ(kResourceMounts[0], "update");
    EXPECT_STREQ(kResourceMounts[1], "fastdata");
}

TEST(MountRules, IndexedFiles) {
    struct Case {
        const char* name;
        bool indexed;
    };
    const Case cases[] = {
        {"update.rct", true},
        {"notes.txt", false},
        {"README.TXT", false},
        {"a.b.LnK", false},
        {"x.exe", false},
        {"x.com", false},
        {"x.dll", false},
        {"x.log", false},
        {"x.sue", false},
        {"x.mdb", false},
        {"x.vrs", false},
        {"x.vrh", false},
        {"x.db", false},
        {"notes.txt.bak", true},  // only the part from the last dot counts
        {"x.dbx", true},
        {"x.d", true},
        {"LICENSE", true},
        {".txt", false},
        {"x.", true},
        {"\x95\x5C.txt", false},  // 表.txt
        {"\x83\x41.TXT", false},  // ア.TXT
        {"\x82\x2E", true},       // no dot: 0x2E after a lead byte is no trail byte, but the
                                  // pair is one character all the same
        {"x.\x82\x73\x82\x77\x82\x73", true},  // x.ＴＸＴ: full-width letters are no extension
    };
    for (const Case& c : cases) EXPECT_EQ(IsIndexedFileName(c.name), c.indexed) << c.name;
}

TEST(MountRules, ScannedFolders) {
    struct Case {
        const char* name;
        bool scanned;
    };
    const Case cases[] = {
        {"pics", true},       {".", false},         {"..", false},        {"old.", false},
        {"debuginfo", false}, {"DebugInfo", false}, {"debuginfo2", true}, {"debug", true},
        {".hidden", true},    {"\x95\x5C", true},  // 表
    };
    for (const Case& c : cases) EXPECT_EQ(IsScannedFolderName(c.name), c.scanned) << c.name;
}

TEST(MountRules, ExtensionIsTheLastDotOutsideDoubleByteCharacters) {
    const char* name = "a.b\x81\x2E";  // not a real character, but its second byte is taken with it
    EXPECT_EQ(FindNameExtension(name), name + 1);
    EXPECT_EQ(FindNameExtension("abc"), nullptr);
}
