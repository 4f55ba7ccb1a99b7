// Opening resource files: the search orders, archives and indexed folders, and the limits.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "resfs/mounts.h"
#include "resfs/resource_open.h"
#include "settings/env_settings.h"
#include "tests/resfs/resfs_fixture.h"

namespace {

class Open : public MediaFolder {
protected:
    std::string Read(const char* name, const char* mode = "rb") {
        return ReadStream(OpenResourceFile(name, mode));
    }
};

TEST_F(Open, SearchOrders) {
    Put("item.dat", "disk");
    Put("song.ogg", "disk");
    Put("Voice.WAV", "disk");
    Put("update\\item.dat", "update");
    Put("update\\song.ogg", "update");
    Put("update\\voice.wav", "update");
    Put("update\\shared.bin", "update");
    Put("update\\only.bin", "update");
    Put("fastdata\\shared.bin", "fastdata");
    Put("fastdata\\late.bin", "fastdata");
    ASSERT_EQ(MountResourceSource("update", 0), 0);
    ASSERT_EQ(MountResourceSource("fastdata", 0), 0);
    struct Case {
        const char* name;
        const char* requested;
        const char* expected;
    };
    const Case cases[] = {
        {"ordinary name: the current folder first", "item.dat", "disk"},
        {"audio name: the mounts first", "song.ogg", "update"},
        {"audio name, any letter case", "VOICE.wav", "update"},
        {"found in both mounts: the first registered", "shared.bin", "update"},
        {"found in the second mount only", "late.bin", "fastdata"},
        {"letter case of A-Z does not matter", "ONLY.BIN", "update"},
        {"a slash is a directory part", "any/where/only.bin", "<null>"},
        {"backslash: the disk only", "sub\\only.bin", "<null>"},
        {"absent everywhere", "absent.bin", "<null>"},
        {"empty name", "", "<null>"},
    };
    for (const Case& c : cases) EXPECT_EQ(Read(c.requested), c.expected) << c.name;
    EXPECT_EQ(CurrentDirectory(), media.path);
}

TEST_F(Open, FolderIndexTriesEachCopyInScanOrder) {
    Put("update\\a\\same.bin", "a");
    Put("update\\b\\same.bin", "b");
    RetryEveryBox([] { ASSERT_EQ(MountResourceSource("update", 0), 0); });
    ResourceMount* m = GetFirstMount();
    ASSERT_EQ(m->dirCount, 2);
    std::string first = m->dirIndex[0].directory;
    std::string firstData = first.substr(first.size() - 1);
    EXPECT_EQ(Read("same.bin"), firstData);
    // The first copy is gone: the second one is used.
    DeleteFileA((first + "\\same.bin").c_str());
    EXPECT_EQ(Read("same.bin"), firstData == "a" ? "b" : "a");
    // Files added after the scan are not in the index.
    Put("update\\a\\new.bin", "new");
    EXPECT_EQ(Read("new.bin"), "<null>");
}

TEST_F(Open, ArchiveEntries) {
    std::string archive = BuildArchive({
        {"update.rct", "PICTURE"},
        {"vorlin.env", "TITLEBAR Arc|Title\r\n[EOF]\r\nTITLEBAR Past\r\n"},
        {"other.dat", "OTHER-DATA"},
    });
    WriteBytes(media.File("update.arc"), archive);
    ASSERT_EQ(MountResourceSource("update", 0), 1);
    // The stream is the archive itself: it runs on past the entry's end.
    EXPECT_EQ(Read("UPDATE.RCT").substr(0, 7), "PICTURE");
    EXPECT_EQ(Read("pics/Update.rct").substr(0, 7), "PICTURE");
    EXPECT_EQ(Read("other.dat"), "OTHER-DATA");

    // Two streams into one archive are independent.
    FILE* a = OpenResourceFile("update.rct", "rb");
    FILE* b = OpenResourceFile("other.dat", "rb");
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    char x[8] = {}, y[8] = {};
    fread(x, 1, 7, a);
    fread(y, 1, 5, b);
    EXPECT_STREQ(x, "PICTURE");
    EXPECT_STREQ(y, "OTHER");
    fclose(a);
    fclose(b);

    // Text mode: the settings reader stops at its own end marker inside the archive.
    FILE* text = OpenResourceFile("vorlin.env", "rt");
    char line[64] = "";
    ASSERT_NE(text, nullptr);
    fgets(line, sizeof line, text);
    EXPECT_STREQ(line, "TITLEBAR Arc|Title\n");
    fclose(text);
    LoadEnvironmentSettings("vorlin.env");
    EXPECT_STREQ(GetTitlebarSetting(), "Arc Title");
}

TEST_F(Open, UnreachableArchiveOffsetFallsThroughToTheNextMount) {
    WriteBytes(media.File("update.arc"),
               BuildArchive({{"far.bin", "near"}, {"ok.bin", "fine"}}, "far.bin", 0x80000000u));
    Put("fastdata\\far.bin", "fastdata");
    ASSERT_EQ(MountResourceSource("update", 0), 1);
    ASSERT_EQ(MountResourceSource("fastdata", 0), 0);
    EXPECT_EQ(Read("far.bin"), "fastdata");
    EXPECT_EQ(Read("ok.bin"), "fine");
}

// An offset beyond the archive's end (a cut-short archive, a damaged index) is not taken for an
// empty file: the search goes on. An offset equal to the length is an empty last file.
TEST_F(Open, ArchiveOffsetsBeyondTheEndAreNotFound) {
    const uint32_t length = (uint32_t)BuildArchive({{"x.bin", "x"}}).size();
    struct Case {
        const char* name;
        uint32_t offset;
        const char* read;  // what a read of x.bin gives with fastdata\x.bin present
    };
    const Case cases[] = {
        {"at the end: an empty last file", length, ""},
        {"one byte past the end", length + 1, "fastdata"},
        {"far past the end", length + 100000, "fastdata"},
        {"just below 2^31", 0x7FFFFFFFu, "fastdata"},
    };
    Put("fastdata\\x.bin", "fastdata");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ForgetAllMounts();
        WriteBytes(media.File("update.arc"), BuildArchive({{"x.bin", "x"}}, "x.bin", c.offset));
        ASSERT_EQ(MountResourceSource("update", 0), 1);
        ASSERT_EQ(MountResourceSource("fastdata", 0), 0);
        EXPECT_EQ(Read("x.bin"), c.read);
    }
}

// Settings in a damaged archive with nothing else holding them: the user is told the file cannot
// be read, instead of the launcher running on defaults.
TEST_F(Open, SettingsBeyondTheArchiveEndAskForTheFile) {
    WriteBytes(media.File("update.arc"),
               BuildArchive({{"vorlin.env", "TITLEBAR Arc\n"}}, "vorlin.env", 5000));
    ASSERT_EQ(MountResourceSource("update", 0), 1);
    WindowSeen box;
    DriveDialogWith([&] { LoadEnvironmentSettings("vorlin.env"); },
                    [&](const WindowSeen& s) {
                        WriteBytes(media.File("vorlin.env"), "TITLEBAR Disk\n");
                        PressButton(s.window, IDRETRY);
                    },
                    &box);
    EXPECT_EQ(box.text, "Ffopen : ファイル[vorlin.env]の読み込みで失敗しました");
    EXPECT_STREQ(GetTitlebarSetting(), "Disk");
    FreeEnvironmentSettings();
}

// Names with a double-byte character whose second byte is 0x5C, the backslash's code ("表" is
// 95 5C, "ソ" 83 5C, "能" 94 5C, "予" 97 5C, "十" 8F 5C): that byte is never taken for a
// separator, neither by the backslash test of the search order nor by the final component that
// gives the lookup key, nor by the folder scan.
TEST_F(Open, TrailByteBackslashIsPartOfItsCharacter) {
    Put("update\\表.rct", "folder root");
    Put("update\\表\\in.dat", "folder 表");
    Put("update\\pics\\ソ.rct", "folder pics");
    WriteBytes(media.File("fastdata.arc"),
               BuildArchive({{"能.rct", "archive root"}, {"pics\\予.rct", "archive pics"}}));
    Put("pics\\十.rct", "disk");
    ASSERT_EQ(MountResourceSource("update", 0), 0);
    ASSERT_EQ(MountResourceSource("fastdata", 0), 1);
    struct Case {
        const char* request;
        const char* read;
    };
    const Case cases[] = {
        {"表.rct", "folder root"},      {"in.dat", "folder 表"},
        {"ソ.rct", "folder pics"},      {"能.rct", "archive root"},
        {"予.rct", "archive pics"},     {"pics\\十.rct", "disk"},
        {"pics\\予.rct", "<null>"},  // a name with a real backslash is opened directly only
        {"表", "<null>"},
    };
    // A stream from the archive runs on past its file: compare the file's own bytes.
    for (const Case& c : cases) {
        EXPECT_EQ(Read(c.request).substr(0, strlen(c.read)), c.read) << c.request;
    }
}

TEST_F(Open, ArchiveThatHasGoneIsPassedOver) {
    WriteBytes(media.File("update.arc"), BuildArchive({{"gone.bin", "arc"}}));
    Put("fastdata\\gone.bin", "fastdata");
    ASSERT_EQ(MountResourceSource("update", 0), 1);
    ASSERT_EQ(MountResourceSource("fastdata", 0), 0);
    DeleteFileA(media.File("update.arc").c_str());
    EXPECT_EQ(Read("gone.bin"), "fastdata");
}

TEST_F(Open, UnindexedFolderMounts) {
    Put("update\\readme.txt", "excluded but present");
    Put("fastdata\\notes.txt", "fast");
    ASSERT_EQ(MountResourceSource("update", 1), 0);    // audio names only
    ASSERT_EQ(MountResourceSource("fastdata", 0), 0);  // every name
    ASSERT_EQ(GetFirstMount()->dirIndex, nullptr);
    Put("update\\late.ogg", "late audio");
    EXPECT_EQ(Read("readme.txt"), "<null>") << "ordinary names skip an audio-only mount";
    EXPECT_EQ(Read("late.ogg"), "late audio");
    EXPECT_EQ(Read("notes.txt"), "fast");
}

TEST_F(Open, NamesAndPathsBeyondThePathLimitAreNotOpened) {
    std::string longName(300, 'n');
    EXPECT_EQ(Read(longName.c_str()), "<null>");
    std::string longAudio = std::string(300, 'a') + ".ogg";
    EXPECT_EQ(Read(longAudio.c_str()), "<null>");
    // An indexed folder deep enough that folder, backslash and name pass 259 bytes.
    std::string deep = "update";
    while (media.path.size() + deep.size() < 240) deep += "\\dddddddddd";
    Put(deep + "\\file_with_a_name_long_enough.bin", "deep");
    Put("update\\short.bin", "short");
    ASSERT_EQ(MountResourceSource("update", 0), 0);
    EXPECT_EQ(Read("file_with_a_name_long_enough.bin"), "<null>");
    EXPECT_EQ(Read("short.bin"), "short");
}

TEST_F(Open, AudioNameWithABackslashIsOpenedDirectly) {
    Put("sub\\tune.wav", "disk");
    Put("update\\tune.wav", "update");
    ASSERT_EQ(MountResourceSource("update", 0), 0);
    EXPECT_EQ(Read("sub\\tune.wav"), "disk");
    EXPECT_EQ(Read("nothing\\tune.wav"), "<null>");
}

TEST_F(Open, RetryOpensAFileThatWasPutInPlace) {
    std::string path = media.File("late.dat");
    FILE* file = nullptr;
    WindowSeen box;
    DriveDialogWith([&] { file = OpenResourceFileOrRetry("late.dat", "rb"); },
                    [&](const WindowSeen& s) {
                        WriteBytes(path, "here");
                        PressButton(s.window, IDRETRY);
                    },
                    &box);
    EXPECT_EQ(box.text, "Ffopen : ファイル[late.dat]の読み込みで失敗しました");
    EXPECT_EQ(ReadStream(file), "here");
}

}  // namespace
