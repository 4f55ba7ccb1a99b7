// The update file list and the executable copy: what is measured, copied and skipped, the
// messages of a failed copy, the wildcard search.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "settings/env_settings.h"
#include "tests/update/update_fixture.h"
#include "update/core/update_list.h"
#include "update/core/update_plan.h"
#include "update/windows/update_texts.h"

namespace {

class UpdateFiles : public UpdateTest {
protected:
    void TearDown() override {
        FreeEnvironmentSettings();
        UpdateTest::TearDown();
    }
    uint32_t holdLimitMs = kDefaultHoldLimitMs;
    uint64_t listTotal = 0, listCopied = 0;  // what the two-bar dialog counted
    bool dialogLeftOpen = false;
    // Both stages of an update into `folder` from the current folder, as the update runs them after
    // its check: the plan, the executable drafted, the list drafted and everything put in place;
    // a stopped update is told in its box. 0 when done, 1 when stopped.
    int Stages(const std::string& folder) {
        WindowsRun w;
        BeginWindowsRun(&w, folder, GetExeNameSetting(), holdLimitMs);
        w.fs.table.markUpdated = [](void*) { return kFsOk; };  // no registry key of its own
        UpdateOutcome outcome = kUpdateStopped;
        if (BuildUpdatePlan(&w.run)) outcome = CopyCheckedUpdate(&w.run);
        if (outcome != kUpdateDone) TellUpdateEnd(&w.run, outcome);
        listTotal = w.dialog.total;
        listCopied = w.run.stageCopied;
        dialogLeftOpen = outcome == kUpdateDone && w.dialog.window != NULL;
        EndWindowsRun(&w);
        return outcome == kUpdateDone ? 0 : 1;
    }
    void Settings(const std::string& lines) {
        WriteBytes(media.File("vorlin.env"), lines);
        ForgetRegistryKeyNames();  // each test names its own registry key
        LoadEnvironmentSettings("vorlin.env");
    }
};

TEST_F(UpdateFiles, ExecutableIsCopiedFromItsBinName) {
    Settings("EXENAME Game.EXE\r\n");
    MakeSource(media.File("game.bin"), "game program");
    EXPECT_EQ(Stages(install.path), 0);
    EXPECT_EQ(ReadBytes(install.File("Game.EXE")), "game program");
    EXPECT_FALSE(dialogLeftOpen);
}

// No executable on the media: no one-bar dialog, only the list's.
TEST_F(UpdateFiles, MissingExecutableIsSkippedWithoutADialog) {
    Settings("");
    CopyWatch watch;
    WatchCopiesDuring(&watch, [&] { EXPECT_EQ(Stages(install.path), 0); });
    EXPECT_EQ(watch.bars, std::vector<int>{2});
    EXPECT_TRUE(ListFolder(install.path).empty());
}

// The game started again after the check: its executable is held when the update puts the new one
// in place. The box names the installed file and says the game is as it was.
TEST_F(UpdateFiles, DestinationHeldAfterTheCheckIsToldAsInUse) {
    Settings("EXENAME Game.EXE\r\n");
    MakeSource(media.File("game.bin"), "new");
    WriteBytes(install.File("Game.EXE"), "old");
    HANDLE held = CreateFileA(install.File("Game.EXE").c_str(), GENERIC_READ, FILE_SHARE_READ, NULL,
                              OPEN_EXISTING, 0, NULL);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    holdLimitMs = 300;
    SetClipboardText("sentinel text");
    const std::string text = "ファイル[" + install.File("Game.EXE") +
                             "]を他のプログラムが使用しているため、書き換えられません。\n"
                             "ゲームを実行中の場合は終了し、そのファイルを使用しているプログラムを"
                             "閉じてから、もう一度アップデートを実行してください。\n"
                             "ゲームは更新前の状態に戻しました。";
    int result = -5;
    EXPECT_TRUE(AnswerBox([&] { result = Stages(install.path); }, text, IDOK));
    CloseHandle(held);
    EXPECT_EQ(result, 1);
    EXPECT_TRUE(ClipboardHolds(text));
    EXPECT_EQ(ReadBytes(install.File("Game.EXE")), "old");
    EXPECT_EQ(ListFolder(install.path), std::vector<std::string>{"Game.EXE"});
}

TEST_F(UpdateFiles, OnlyTheEntriesOnTheMediaAreCopied) {
    MakeSource(media.File("update.arc"), Pattern(1000, 1));
    MakeSource(media.File("update.txt"), "readme");
    MakeSource(media.File("other.arc"), "not in the list");
    EXPECT_EQ(Stages(install.path), 0);
    EXPECT_EQ(ListFolder(install.path), (std::vector<std::string>{"update.arc", "update.txt"}));
    EXPECT_TRUE(ReadBytes(install.File("update.arc")) == Pattern(1000, 1));
    EXPECT_EQ(listTotal, 1006u);
    EXPECT_EQ(listCopied, 1006u);
    EXPECT_FALSE(dialogLeftOpen);
}

TEST_F(UpdateFiles, EveryListEntryInOrder) {
    const char* plain[] = {"update.arc", "fastdata.arc", "data.arc",   "slowdata.arc",
                           "voice.arc",  "voice2.arc",   "voice3.arc", "update.txt"};
    for (const char* name : plain) MakeSource(media.File(name), name);
    CreateDirectoryA(media.File("help").c_str(), NULL);
    MakeSource(media.File("help\\index.htm"), "help");
    EXPECT_EQ(Stages(install.path), 0);
    for (const char* name : plain) EXPECT_EQ(ReadBytes(install.File(name)), name);
    EXPECT_EQ(ReadBytes(install.File("help\\index.htm")), "help");
    EXPECT_EQ(GetFileAttributesA(install.File("help\\index.htm").c_str()),
              (DWORD)FILE_ATTRIBUTE_ARCHIVE);
}

TEST_F(UpdateFiles, HelpFolderCases) {
    struct Case {
        const char* name;
        int kind;  // 0 missing, 1 a file named help, 2 empty folder, 3 files and a sub-folder
        bool helpMade;
        std::vector<std::string> copied;
    };
    const Case cases[] = {
        {"no help folder", 0, false, {}},
        {"a file named help", 1, false, {}},
        {"an empty help folder", 2, true, {}},
        {"files and a sub-folder", 3, true, {"a.htm", "b.png"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir from, to;
        SetCurrentDirectoryA(from.path.c_str());
        if (c.kind == 1) WriteBytes(from.File("help"), "file");
        if (c.kind >= 2) CreateDirectoryA(from.File("help").c_str(), NULL);
        if (c.kind == 3) {
            MakeSource(from.File("help\\a.htm"), "a");
            MakeSource(from.File("help\\b.png"), "b");
            CreateDirectoryA(from.File("help\\sub").c_str(), NULL);
            MakeSource(from.File("help\\sub\\deep.htm"), "deep");
        }
        EXPECT_EQ(Stages(to.path), 0);
        DWORD attributes = GetFileAttributesA(to.File("help").c_str());
        EXPECT_EQ(attributes != INVALID_FILE_ATTRIBUTES, c.helpMade);
        if (c.helpMade) {
            EXPECT_EQ(ListFolder(to.File("help")), c.copied);
        }
        SetCurrentDirectoryA(media.path.c_str());
    }
}

// A folder put in the way of a help file after the check: the commit cannot put the file there and
// undoes what it did; the box names the file and says the game is as it was.
TEST_F(UpdateFiles, FolderInTheWayAtTheCommitIsUndone) {
    CreateDirectoryA(media.File("help").c_str(), NULL);
    MakeSource(media.File("help\\a.htm"), "a");
    MakeSource(media.File("update.arc"), "new arc");
    WriteBytes(install.File("update.arc"), "old arc");
    CreateDirectoryA(install.File("help").c_str(), NULL);
    CreateDirectoryA(install.File("help\\a.htm").c_str(), NULL);  // in the way
    int result = -5;
    EXPECT_TRUE(AnswerBox([&] { result = Stages(install.path); },
                          "ファイル[" + install.File("help\\a.htm") +
                              "]のコピーに失敗しました。\nインストール先を確認してください。\n"
                              "ゲームは更新前の状態に戻しました。",
                          IDOK));
    EXPECT_EQ(result, 1);
    EXPECT_EQ(ReadBytes(install.File("update.arc")), "old arc");
    EXPECT_EQ(ListFolder(install.path), (std::vector<std::string>{"help", "update.arc"}));
    EXPECT_EQ(ListFolder(install.File("help")), std::vector<std::string>{"a.htm"});
}

// Cancel during entry 3: every file is still a draft, so the update stops with the game exactly as
// it was: no draft left, the old data.arc intact, nothing added.
TEST_F(UpdateFiles, CancelDuringTheThirdEntryStopsTheList) {
    MakeSource(media.File("update.arc"), "1");
    MakeSource(media.File("fastdata.arc"), "2");
    MakeSource(media.File("data.arc"), Pattern(1u << 20));
    MakeSource(media.File("slowdata.arc"), "4");
    MakeSource(media.File("voice.arc"), "5");
    MakeSource(media.File("update.txt"), "8");
    CreateDirectoryA(media.File("help").c_str(), NULL);
    MakeSource(media.File("help\\index.htm"), "9");
    WriteBytes(install.File("data.arc"), "old data");
    int result = -5;
    CopyWatch watch;
    watch.cancelAt = "data.arc";  // pressed as data.arc begins
    bool answered = false;
    WatchCopiesDuring(&watch, [&] {
        answered =
            AnswerBox([&] { result = Stages(install.path); }, "アップデートを中止しました", IDOK);
    });
    EXPECT_TRUE(watch.cancelled);
    EXPECT_TRUE(answered);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(ListFolder(install.path), std::vector<std::string>{"data.arc"});
    EXPECT_EQ(ReadBytes(install.File("data.arc")), "old data");
}

// The Win32 file system's pattern search: files and folders of the pattern's folder, never "."
// or "..", nothing for a pattern that matches nothing or a folder that is not there.
TEST_F(UpdateFiles, WildcardSearch) {
    CreateDirectoryA(media.File("help").c_str(), NULL);
    CreateDirectoryA(media.File("help\\sub").c_str(), NULL);
    WriteBytes(media.File("help\\readme.txt"), "r");
    WriteBytes(media.File("help\\x.y.z"), "x");
    WriteBytes(media.File("top.arc"), "t");
    struct Case {
        const char* pattern;
        FsError first;
        std::vector<std::string> matches;
    };
    const Case cases[] = {
        {"help\\*.*", kFsOk, {"readme.txt", "sub", "x.y.z"}},
        {"*.arc", kFsOk, {"top.arc"}},
        {"help\\*.none", kFsNotFound, {}},
        {"nothing\\*.*", kFsPathNotFound, {}},
    };
    Win32FileSystem fs;
    InitWin32FileSystem(&fs, "", "");
    const UpdateFileSystem* t = &fs.table;
    for (const Case& c : cases) {
        FsSearch search = nullptr;
        FsFound found;
        std::vector<std::string> matches;
        FsError error = t->findFirst(t->context, c.pattern, &search, &found);
        EXPECT_EQ(error, c.first) << c.pattern;
        if (error == kFsOk) {
            do {
                matches.push_back(found.name);
            } while (t->findNext(t->context, search, &found) == kFsOk);
            EXPECT_EQ(t->findNext(t->context, search, &found), kFsNotFound)
                << "an exhausted search stays exhausted";
            t->findClose(t->context, search);
        }
        std::sort(matches.begin(), matches.end());
        EXPECT_EQ(matches, c.matches) << c.pattern;
    }
}

TEST_F(UpdateFiles, InstallFolderTooLongForAPathFailsWithTheMessage) {
    MakeSource(media.File("update.arc"), "1");
    std::string folder = "C:\\" + std::string(256, 'f');
    int result = -5;
    EXPECT_TRUE(AnswerBox(
        [&] { result = Stages(folder); },
        "ファイル[update.arc]のコピーに失敗しました。\nインストール先を確認してください。\n"
        "ゲームのファイルは変更されていません。",
        IDOK));
    EXPECT_EQ(result, 1);
}

}  // namespace
