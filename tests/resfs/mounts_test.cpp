// Mount registration against real archives and real directory trees under Wine.
#include <gtest/gtest.h>
#include <windows.h>

#include <set>
#include <string>
#include <vector>

#include "resfs/mounts.h"
#include "resfs/name_hash.h"
#include "tests/resfs/resfs_fixture.h"
#include "ui/alloc.h"

namespace {

class Mounts : public MediaFolder {};

int CountMounts() {
    int n = 0;
    for (ResourceMount* m = GetFirstMount(); m; m = m->next) n++;
    return n;
}

uint32_t HashOf(const char* lowerName) { return ComputeNameHash(lowerName); }

std::string ValidArchive() { return BuildArchive({{"vorlin.env", "TITLEBAR A\n"}}); }

TEST_F(Mounts, ArchiveOrDirectoryOrNeither) {
    struct Case {
        const char* name;
        const std::string* archive;  // contents of update.arc, null for none
        bool directory;       // a folder "update" with one file
        bool plainFile;       // "update" is an ordinary file
        int32_t result;
    };
    std::string valid = ValidArchive();
    std::string wrongSixteenth = valid;
    wrongSixteenth[15] = '!';
    std::string shortFile = valid.substr(0, 27);
    std::string endsInIndex = valid.substr(0, 30);
    std::string zeroEntries = BuildArchive({});
    const Case cases[] = {
        {"archive beats the folder", &valid, true, false, 1},
        {"archive with no entries", &zeroEntries, false, false, 1},
        {"wrong 16th magic byte falls back to the folder", &wrongSixteenth, true, false, 0},
        {"27-byte file falls back", &shortFile, true, false, 0},
        {"file ending in its index falls back", &endsInIndex, true, false, 0},
        {"folder alone", nullptr, true, false, 0},
        {"an ordinary file is neither", nullptr, false, true, -1},
        {"nothing at all", nullptr, false, false, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir dir;
        SetCurrentDirectoryA(dir.path.c_str());
        if (c.archive) {
            WriteBytes(dir.File("update.arc"), *c.archive);
        }
        if (c.directory) {
            CreateDirectoryA(dir.File("update").c_str(), NULL);
            WriteBytes(dir.File("update\\inside.dat"), "x");
        }
        if (c.plainFile) WriteBytes(dir.File("update"), "plain");
        int before = CountMounts();
        EXPECT_EQ(MountResourceSource("update", 0), c.result);
        EXPECT_EQ(CountMounts(), before + (c.result == -1 ? 0 : 1));
        EXPECT_EQ(CurrentDirectory(), dir.path);
        if (c.result == -1) continue;
        ResourceMount* m = GetFirstMount();
        while (m->next) m = m->next;
        if (c.result == 1) {
            EXPECT_EQ(m->kind, Archive);
            EXPECT_STREQ(m->path, "update.arc");
            EXPECT_NE(m->archiveIndex, nullptr);
            EXPECT_EQ(m->dirIndex, nullptr) << "the folder is not scanned";
        } else {
            EXPECT_EQ(m->kind, Directory);
            EXPECT_STREQ(m->path, "update\\");
            EXPECT_EQ(m->archiveIndex, nullptr);
            EXPECT_EQ(m->archiveHeader.entryCount, 0u);
            ASSERT_EQ(m->dirCount, 1);
            EXPECT_EQ(m->dirIndex[0].nameHash, HashOf("inside.dat"));
            EXPECT_EQ(std::string(m->dirIndex[0].directory), dir.path + "\\update");
        }
    }
}

TEST_F(Mounts, FolderIndexSkipsExcludedFilesAndFolders) {
    Put("update\\README.TXT");
    Put("update\\tool.Exe");
    Put("update\\game.DLL");
    Put("update\\notes.txt.bak");
    Put("update\\LICENSE");
    Put("update\\pics\\Title.RCT");
    Put("update\\pics\\deeper\\voice.ogg");
    Put("update\\DebugInfo\\hidden.dat");
    Put("update\\debuginfo2\\shown.dat");
    Put("update\\sub.d\\inner.dat");  // a dot inside a folder name is fine
    Put("update\\表.TxT");              // excluded: the trail byte 0x5C is no separator
    Put("update\\full.ｔｘｔ");          // full-width letters are no extension of the list
    Put("update\\.db");
    EXPECT_EQ(MountResourceSource("update", 0), 0);
    EXPECT_EQ(CurrentDirectory(), media.path);
    ResourceMount* m = GetFirstMount();
    ASSERT_NE(m, nullptr);
    std::set<std::pair<uint32_t, std::string>> found;
    for (int32_t i = 0; i < m->dirCount; i++) {
        found.insert({m->dirIndex[i].nameHash, m->dirIndex[i].directory});
    }
    std::string root = media.path + "\\update";
    std::set<std::pair<uint32_t, std::string>> expected = {
        {HashOf("notes.txt.bak"), root},
        {HashOf("license"), root},
        {HashOf("title.rct"), root + "\\pics"},
        {HashOf("voice.ogg"), root + "\\pics\\deeper"},
        {HashOf("shown.dat"), root + "\\debuginfo2"},
        {HashOf("inner.dat"), root + "\\sub.d"},
        {HashOf("full.ｔｘｔ"), root},
    };
    EXPECT_EQ(found, expected);
    EXPECT_EQ(m->dirCount, 7);
    EXPECT_EQ(m->dirCapacity, 1000);
    // Entries of one folder share one string.
    const char* pics = nullptr;
    for (int32_t i = 0; i < m->dirCount; i++) {
        if (std::string(m->dirIndex[i].directory) == root) {
            if (!pics) pics = m->dirIndex[i].directory;
            EXPECT_EQ(m->dirIndex[i].directory, pics);
        }
    }
}

TEST_F(Mounts, TreeOfExcludedFilesOnlyHasNoIndex) {
    Put("update\\a.txt");
    Put("update\\sub\\b.log");
    EXPECT_EQ(MountResourceSource("update", 0), 0);
    ResourceMount* m = GetFirstMount();
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->dirIndex, nullptr);
    EXPECT_EQ(m->dirCount, 0);
}

TEST_F(Mounts, DuplicateNamesWarnOncePerEarlierCopy) {
    Put("update\\one\\Sound.WAV", "1");
    Put("update\\two\\sound.wav", "2");
    Put("update\\three\\SOUND.wav", "3");
    std::vector<std::string> boxes =
        RetryEveryBox([] { EXPECT_EQ(MountResourceSource("update", 0), 0); });
    ResourceMount* m = GetFirstMount();
    ASSERT_NE(m, nullptr);
    ASSERT_EQ(m->dirCount, 3);
    // Whichever order the listing gives, the n-th copy names each earlier copy's folder.
    ASSERT_EQ(boxes.size(), 3u);
    std::string dirs[3];
    for (int i = 0; i < 3; i++) dirs[i] = m->dirIndex[i].directory;
    auto nameIn = [&](const std::string& dir) {
        std::string tail = dir.substr(dir.rfind('\\') + 1);
        return tail == "one" ? "Sound.WAV" : tail == "two" ? "sound.wav" : "SOUND.wav";
    };
    EXPECT_EQ(boxes[0], "ファイル[ " + std::string(nameIn(dirs[1])) + " ]が[ " + dirs[0] +
                            " ]と[ " + dirs[1] + " ]に存在します");
    EXPECT_EQ(boxes[1], "ファイル[ " + std::string(nameIn(dirs[2])) + " ]が[ " + dirs[0] +
                            " ]と[ " + dirs[2] + " ]に存在します");
    EXPECT_EQ(boxes[2], "ファイル[ " + std::string(nameIn(dirs[2])) + " ]が[ " + dirs[1] +
                            " ]と[ " + dirs[2] + " ]に存在します");
    EXPECT_EQ(CurrentDirectory(), media.path);
}

TEST_F(Mounts, DifferentNamesWithTheSameCrcAlsoWarn) {
    ASSERT_EQ(HashOf("plumless"), HashOf("buckeroo"));
    Put("update\\plumless");
    Put("update\\buckeroo");
    std::vector<std::string> boxes =
        RetryEveryBox([] { EXPECT_EQ(MountResourceSource("update", 0), 0); });
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find("]に存在します"), std::string::npos);
    EXPECT_EQ(GetFirstMount()->dirCount, 2);
}

TEST_F(Mounts, IndexGrowsInStepsOfAThousand) {
    CreateDirectoryA("update", NULL);
    for (int i = 0; i < 2000; i++) {
        WriteBytes(media.path + "\\update\\f" + std::to_string(i) + ".dat", "");
        if (i == 998) {
            EXPECT_EQ(MountResourceSource("update", 0), 0);  // 999 files
            EXPECT_EQ(GetFirstMount()->dirCapacity, 1000);
        }
    }
    // A fresh registration of the same folder under another spelling of its path.
    std::string path = media.path + "\\update\\";
    EXPECT_EQ(MountResourceSource(path.c_str(), 0), 0);
    ResourceMount* m = GetFirstMount()->next;
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->dirCount, 2000);
    EXPECT_EQ(m->dirCapacity, 3000);
    WriteBytes(media.path + "\\update\\f2000.dat", "");
    EXPECT_EQ(MountResourceSource("update", 0), 0);
    ResourceMount* last = m->next;
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->dirCount, 2001);
    EXPECT_EQ(last->dirCapacity, 3000);
}

bool FailIndexBlock(size_t size) { return size == 1000 * sizeof(DirIndexEntry); }

// When the index block cannot be had, the user is warned once, not once for every later file,
// and the mount holds nothing.
TEST_F(Mounts, IndexThatCannotBeAllocatedWarnsOnce) {
    for (int i = 0; i < 30; i++) Put("update\\f" + std::to_string(i) + ".dat");
    for (int i = 0; i < 30; i++) Put("update\\sub\\g" + std::to_string(i) + ".dat");
    int before = CountMounts();
    int32_t result = 7;
    SetAllocFailureForTests(FailIndexBlock);
    std::vector<std::string> boxes = BoxesDuring([&] { result = MountResourceSource("update", 0); });
    SetAllocFailureForTests(nullptr);
    EXPECT_EQ(boxes, std::vector<std::string>{"メモリ容量が不足しています。処理を中断します。"});
    EXPECT_EQ(result, -1);
    EXPECT_EQ(CountMounts(), before);
    EXPECT_EQ(CurrentDirectory(), media.path);
    // With memory back, the same folder mounts as usual.
    EXPECT_EQ(MountResourceSource("update", 0), 0);
}

// A mount folder whose full path is too long to become the current directory: nothing is
// registered, nothing of the media folder is indexed, and the current directory stays.
TEST_F(Mounts, FolderThatCannotBeEnteredIsRefused) {
    std::string deep = media.path;
    while (deep.size() < 245) {
        deep += "\\dddddddddd";
        CreateDirectoryA(deep.c_str(), NULL);
    }
    ASSERT_TRUE(SetCurrentDirectoryA(deep.c_str()));
    CreateDirectoryA("update_long_name", NULL);
    WriteBytes(deep + "\\media_file.dat", "x");
    EXPECT_EQ(MountResourceSource("update_long_name", 0), -1);
    EXPECT_EQ(GetFirstMount(), nullptr);
    EXPECT_EQ(CurrentDirectory(), deep);
}

TEST_F(Mounts, SubfolderThatCannotBeEnteredIsSkipped) {
    Put("update\\kept.dat");
    // Folders past the ordinary path limit, made with the long-path prefix.
    auto wide = [](const std::string& path) {
        std::wstring w = L"\\\\?\\";
        for (char c : path) w.push_back((wchar_t)(unsigned char)c);  // the scratch path is ASCII
        return w;
    };
    std::vector<std::string> chain;
    std::string deep = media.path + "\\update";
    while (deep.size() < 275) {
        deep += "\\ssssssssss";
        ASSERT_TRUE(CreateDirectoryW(wide(deep).c_str(), NULL)) << deep;
        chain.push_back(deep);
    }
    HANDLE lost = CreateFileW(wide(deep + "\\lost.dat").c_str(), GENERIC_WRITE, 0, NULL,
                              CREATE_NEW, 0, NULL);
    ASSERT_NE(lost, INVALID_HANDLE_VALUE);
    CloseHandle(lost);
    EXPECT_EQ(MountResourceSource("update", 0), 0);
    EXPECT_EQ(GetFirstMount()->dirCount, 1);
    EXPECT_EQ(CurrentDirectory(), media.path);
    DeleteFileW(wide(deep + "\\lost.dat").c_str());
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) RemoveDirectoryW(wide(*it).c_str());
}

TEST_F(Mounts, ReRegistrationFollowsThePathRule) {
    WriteBytes(media.File("update.arc"), ValidArchive());
    EXPECT_EQ(MountResourceSource("update", 0), 1);
    // A bare name never equals a resolved path: a second mount is added.
    EXPECT_EQ(MountResourceSource("update", 0), 1);
    EXPECT_EQ(CountMounts(), 2);
    // The archive's own file name matches the first mount, which is emptied and resolved again
    // in place ("update.arc.arc" is no archive, "update.arc" no folder): it stays, empty.
    EXPECT_EQ(MountResourceSource("UPDATE.ARC", 1), -1);
    EXPECT_EQ(CountMounts(), 2);
    ResourceMount* first = GetFirstMount();
    EXPECT_EQ(first->archiveIndex, nullptr);
    EXPECT_EQ(first->unindexedAudioOnly, 0);
    EXPECT_STREQ(first->path, "");
}

TEST(MountHelpers, HasExtension) {
    struct Case {
        const char* name;
        const char* extension;
        bool expected;
    };
    const Case cases[] = {
        {"README.TXT", ".txt", true},   {"notes.txt.bak", ".txt", false},
        {"LICENSE", ".txt", false},     {"a.b.LnK", ".lnk", true},
        {".db", ".db", true},           {"x.dbx", ".db", false},
        {"表.txt", ".txt", true},       {"ア.TXT", ".txt", true},
    };
    for (const Case& c : cases) EXPECT_EQ(HasExtension(c.name, c.extension), c.expected) << c.name;
}

}  // namespace
