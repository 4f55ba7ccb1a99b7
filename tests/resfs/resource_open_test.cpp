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

TEST_F(Open, OffsetPastTheEndOfTheArchiveGivesAnEmptyStream) {
    // A seek beyond the end succeeds on Windows; the reader then meets the end of the file.
    WriteBytes(media.File("update.arc"), BuildArchive({{"x.bin", "x"}}, "x.bin", 100000));
    ASSERT_EQ(MountResourceSource("update", 0), 1);
    EXPECT_EQ(Read("x.bin"), "");
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
