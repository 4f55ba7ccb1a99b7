// What an update copies: the executable's name on the media and the update list. Code page 932
// texts are written as bytes, since this test is also built where literals stay UTF-8.
#include "update/core/update_list.h"

#include <gtest/gtest.h>

#include <string.h>

#include <string>

TEST(MediaExeName, LowerCasedWithBin) {
    struct Case {
        const char* exeName;
        const char* mediaName;
    };
    const Case cases[] = {
        {"vorlin.exe", "vorlin.bin"},
        {"Game.EXE", "game.bin"},
        {"Game", "game"},
        {"a.exe.exe", "a.bin"},
        {"TOOL.Exe.cfg", "tool.bin"},
        {"game.ex", "game.ex"},
        // ＧＡＭＥ.EXE: full-width capitals are lower-cased too.
        {"\x82\x66\x82\x60\x82\x6C\x82\x64.EXE", "\x82\x87\x82\x81\x82\x8D\x82\x85.bin"},
        // 表示.exe: 表's trail byte is a backslash, and stays one.
        {"\x95\x5C\x8E\xA6.exe", "\x95\x5C\x8E\xA6.bin"},
        // ﾃｽﾄ.EXE: half-width katakana are single bytes and stay.
        {"\xC3\xBD\xC4.EXE", "\xC3\xBD\xC4.bin"},
    };
    for (const Case& c : cases) {
        char media[kUpdateNameBytes];
        MakeMediaExeName(c.exeName, media);
        EXPECT_STREQ(media, c.mediaName) << c.exeName;
    }
}

// A name longer than the buffer is cut on a character boundary, never inside a double-byte
// character.
TEST(MediaExeName, LongNameIsCutOnACharacterBoundary) {
    std::string name = "a";
    for (int i = 0; i < 100; i++) name += "\x82\xA0";  // あ
    char media[kUpdateNameBytes];
    MakeMediaExeName(name.c_str(), media);
    EXPECT_EQ(strlen(media), (size_t)kUpdateNameBytes - 1);
    name = "ab" + name.substr(1);
    MakeMediaExeName(name.c_str(), media);
    EXPECT_EQ(strlen(media), (size_t)kUpdateNameBytes - 2);
}

TEST(UpdateFileList, PlainEntriesThenTheHelpPattern) {
    const char* const plain[] = {"update.arc", "fastdata.arc", "data.arc",   "slowdata.arc",
                                 "voice.arc",  "voice2.arc",   "voice3.arc", "update.txt"};
    ASSERT_EQ((int)(sizeof plain / sizeof plain[0]) + 1, kUpdateFileListSize);
    for (int i = 0; i + 1 < kUpdateFileListSize; i++) EXPECT_STREQ(kUpdateFileList[i], plain[i]);
    EXPECT_STREQ(kUpdateFileList[kUpdateFileListSize - 1], "|help\\*.*");
    EXPECT_EQ(std::string(kUpdateFileList[kUpdateFileListSize - 1] + 1, 4), kUpdateHelpFolder);
}
