// The whole update procedure in this process: the question, the install folder from the registry
// or from the SETUP dialog, both copy stages, the record in the registry and the closing message.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <map>
#include <thread>

#include "settings/env_settings.h"
#include "settings/registry_store.h"
#include "tests/update/side_files.h"
#include "tests/update/update_fixture.h"
#include "update/core/journal_format.h"
#include "update/core/space_plan.h"
#include "update/core/sum_file.h"
#include "update/windows/update_procedure.h"
#include "update/windows/win32_file_system.h"
#include "ui/message_box.h"

namespace {

const char kCopyCaption[] = "ファイルのコピー中...";

// One dialog the procedure is expected to show, and how the user answers it.
struct Step {
    std::string text;  // the box's text, or the dialog's caption for a dialog
    std::function<void(HWND)> answer;
};

std::function<void(HWND)> Press(int id) {
    return [id](HWND w) { PressButton(w, id); };
}

// Runs `action` while answering the dialogs it shows, in the order of `steps`. A dialog that is
// not the next step's (after a few seconds of waiting for it) is recorded and dismissed, so a
// wrong road fails the test instead of hanging it. Returns what was seen, in order.
std::vector<std::string> RunWithAnswers(const std::function<void()>& action,
                                        const std::vector<Step>& steps) {
    std::vector<std::string> seen;
    std::atomic<bool> done(false);
    std::thread driver([&] {
        size_t next = 0;
        DWORD waitingSince = GetTickCount();
        while (!done) {
            WindowSeen dialog;
            if (next < steps.size() &&
                WaitForDialogWithText(GetCurrentProcessId(), steps[next].text, &dialog, 50)) {
                seen.push_back(steps[next].text);
                steps[next++].answer(dialog.window);
                WaitForWindowGone(dialog.window, 5000);
                waitingSince = GetTickCount();
                continue;
            }
            if (GetTickCount() - waitingSince < 5000) continue;
            // Something else: a dialog that is neither a copy dialog nor still being made.
            if (WaitForDialog(GetCurrentProcessId(), nullptr, &dialog, 50) &&
                dialog.caption != kCopyCaption && !GetDlgItem(dialog.window, 1010) &&
                !(dialog.caption.empty() && dialog.text.empty())) {
                seen.push_back(dialog.text.empty() ? dialog.caption : dialog.text);
                PressButton(dialog.window, IDCANCEL);
                PressButton(dialog.window, IDOK);
                WaitForWindowGone(dialog.window, 5000);
            }
        }
    });
    action();
    done = true;
    driver.join();
    return seen;
}

// The boxes of a file another program holds: a media file, or one of the install folder.
std::string MediaInUse(const std::string& name) {
    return "ファイル[" + name +
           "]を他のプログラムが使用しているため、読み込めません。\n"
           "そのファイルを使用しているプログラムを閉じてから、もう一度アップデートを実行してくださ"
           "い。\n"
           "ゲームのファイルは変更されていません。";
}
std::string InstalledInUse(const std::string& path, const char* state) {
    return "ファイル[" + path +
           "]を他のプログラムが使用しているため、書き換えられません。\n"
           "ゲームを実行中の場合は終了し、そのファイルを使用しているプログラムを閉じてから、"
           "もう一度アップデートを実行してください。\n" +
           state;
}
const char kUnchanged[] = "ゲームのファイルは変更されていません。";
const char kGetTheMediaAgain[] =
    "メディアを入手し直してから、もう一度アップデートを実行してください。";

class Procedure : public UpdateTest {
protected:
    std::string regGlobal = "VorlinUpdateTest" + std::to_string(GetCurrentProcessId());
    uint32_t holdLimitMs = 300;  // a hold that lasts is given up quickly
    void SetUp() override {
        UpdateTest::SetUp();
        SetClipboardText("");
        // A run that was killed may have left its key under a process id used again now.
        RegDeleteTreeA(HKEY_CURRENT_USER, ("Software\\" + regGlobal).c_str());
    }
    // The whole procedure on the Win32 file system, as the launcher runs it.
    int Update() {
        Win32FileSystem fs;
        InitWin32FileSystem(&fs, GetRegGlobalSetting(), GetRegLocalSetting());
        return RunUpdateOn(&fs.table, holdLimitMs);
    }
    void TearDown() override {
        RegDeleteTreeA(HKEY_CURRENT_USER, ("Software\\" + regGlobal).c_str());
        FreeEnvironmentSettings();
        UpdateTest::TearDown();
    }
    void Settings(const std::string& extra) {
        WriteBytes(media.File("vorlin.env"),
                   "REG_GLOBAL " + regGlobal + "\r\nREG_LOCAL Game\r\nINSTTO Hoshi\r\n" + extra);
        ForgetRegistryKeyNames();  // each test names its own registry key
        LoadEnvironmentSettings("vorlin.env");
    }
    void SetInstTo(const std::string& folder) {
        WriteRegistryString(regGlobal.c_str(), "Game", "InstTo", folder.c_str(), 0);
    }
    int Updated() { return ReadRegistryInt(regGlobal.c_str(), "Game", "Updated", -7); }
    void MakeMedia() {
        InFolder inMedia(media.path);
        MakeMediaHere();
    }
    // The same media in the current folder.
    void MakeMediaHere() {
        MakeSource("vorlin.bin", "game program");
        MakeSource("update.arc", Pattern(300000));
        MakeSource("update.txt", "notes");
        CreateDirectoryA("help", NULL);
        MakeSource("help\\index.htm", "help");
    }
    void ExpectInstalled(const std::string& folder) {
        EXPECT_EQ(ReadBytes(folder + "\\vorlin.exe"), "game program");
        EXPECT_TRUE(ReadBytes(folder + "\\update.arc") == Pattern(300000));
        EXPECT_EQ(ReadBytes(folder + "\\update.txt"), "notes");
        EXPECT_EQ(ReadBytes(folder + "\\help\\index.htm"), "help");
        for (const char* name : {"\\vorlin.exe", "\\update.arc", "\\help\\index.htm"}) {
            std::string path = folder + name;
            EXPECT_EQ(GetFileAttributesA(path.c_str()), (DWORD)FILE_ATTRIBUTE_ARCHIVE) << name;
            EXPECT_TRUE(SameTime(TimesOf(path).modified, OldTime(10))) << name;
        }
    }
};

const char kQuestion[] = "アップデートを開始します。宜しいですか？";
const char kDone[] = "アップデートを終了しました。";
const char kNoFolder[] = "インストール先フォルダが無効又は特定できません";

TEST_F(Procedure, NoAtTheQuestionDoesNothing) {
    Settings("");
    SetInstTo(install.path);
    MakeMedia();
    int result = -5;
    auto seen = RunWithAnswers([&] { result = Update(); }, {{kQuestion, Press(IDNO)}});
    EXPECT_EQ(result, 1);
    EXPECT_EQ(seen, std::vector<std::string>{kQuestion});
    EXPECT_TRUE(ListFolder(install.path).empty());
    EXPECT_EQ(Updated(), -7);
}

// A list copy that stops (here: Cancel as data.arc begins) after the executable was drafted
// leaves the game as it was and the update unrecorded.
TEST_F(Procedure, StoppedListCopyLeavesTheUpdateUnrecorded) {
    Settings("");
    SetInstTo(install.path);
    MakeMedia();
    MakeSource(media.File("data.arc"), Pattern(400000, 3));
    WriteBytes(install.File("data.arc"), "old data");
    // Nothing installed was touched yet: the message says no more than that the update stopped.
    const char* stopped = "アップデートを中止しました";
    int result = -5;
    std::vector<std::string> seen;
    CopyWatch watch;
    watch.cancelAt = "data.arc";
    WatchCopiesDuring(&watch, [&] {
        seen = RunWithAnswers([&] { result = Update(); },
                              {{kQuestion, Press(IDYES)}, {stopped, Press(IDOK)}});
    });
    EXPECT_TRUE(watch.cancelled);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(seen, (std::vector<std::string>{kQuestion, stopped}));
    EXPECT_EQ(ListFolder(install.path), std::vector<std::string>{"data.arc"});
    EXPECT_EQ(ReadBytes(install.File("data.arc")), "old data");
    EXPECT_EQ(Updated(), -7);
}

TEST_F(Procedure, RecordedFolderThatDoesNotExistIsNotCreated) {
    Settings("");
    std::string missing = install.path + "\\missing";
    SetInstTo(missing);
    MakeMedia();
    int result = -5;
    // Refused before anything is copied, naming the folder.
    std::string failed = "インストール先フォルダ[" + missing +
                         "]が見つかりません。\nゲームのインストール先を確認してください。";
    auto seen = RunWithAnswers([&] { result = Update(); },
                               {{kQuestion, Press(IDYES)}, {failed, Press(IDOK)}});
    EXPECT_EQ(result, 1);
    EXPECT_EQ(seen, (std::vector<std::string>{kQuestion, failed}));
    EXPECT_EQ(GetFileAttributesA(missing.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(Updated(), -7);
}

TEST_F(Procedure, NoRecordedFolderAndInstallationNeeded) {
    Settings("");  // UPDATENEEDINSTALL absent: 1
    MakeMedia();
    int result = -5;
    auto seen = RunWithAnswers([&] { result = Update(); },
                               {{kQuestion, Press(IDYES)}, {kNoFolder, Press(IDOK)}});
    EXPECT_EQ(result, -1);
    EXPECT_EQ(seen, (std::vector<std::string>{kQuestion, kNoFolder}));
}

TEST_F(Procedure, ChosenFolderIsCreatedFilledAndNotRecorded) {
    Settings("UPDATENEEDINSTALL 0\r\n");
    MakeMedia();
    std::string chosen = install.path + "\\Games\\Hoshi";
    std::string confirm = "[" + chosen + "]にインストールします";
    int result = -5;
    auto seen = RunWithAnswers([&] { result = Update(); }, {{kQuestion, Press(IDYES)},
                                                            {kNoFolder, Press(IDOK)},
                                                            {"インストール先のフォルダの指定",
                                                             [&](HWND setup) {
                                                                 SetDlgItemTextA(setup, 1000,
                                                                                 chosen.c_str());
                                                                 PressButton(setup, 1);
                                                             }},
                                                            {confirm, Press(IDYES)},
                                                            {kDone, Press(IDOK)}});
    EXPECT_EQ(result, 0);
    EXPECT_EQ(seen.size(), 5u);
    ExpectInstalled(chosen);
    EXPECT_EQ(Updated(), 1);
    char instTo[260];
    EXPECT_EQ(
        ReadRegistryString(regGlobal.c_str(), "Game", "InstTo", "absent", instTo, sizeof instTo),
        -1);
}

TEST_F(Procedure, ChoiceCancelledOrFolderNotCreatable) {
    Settings("UPDATENEEDINSTALL 0\r\n");
    MakeMedia();
    WriteBytes(install.File("file"), "in the way");
    std::string blocked = install.path + "\\file\\sub";
    struct Case {
        const char* name;
        std::function<void(HWND)> onSetup;
        std::vector<Step> after;
    };
    std::string confirm = "[" + blocked + "]にインストールします";
    const Case cases[] = {
        {"cancelled", Press(2), {{"アップデートを中止しました", Press(IDOK)}}},
        {"not creatable",
         [&](HWND setup) {
             SetDlgItemTextA(setup, 1000, blocked.c_str());
             PressButton(setup, 1);
         },
         {{confirm, Press(IDYES)}, {"指定された場所には書き込み出来ません。", Press(IDOK)}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<Step> steps = {{kQuestion, Press(IDYES)},
                                   {kNoFolder, Press(IDOK)},
                                   {"インストール先のフォルダの指定", c.onSetup}};
        steps.insert(steps.end(), c.after.begin(), c.after.end());
        int result = -5;
        auto seen = RunWithAnswers([&] { result = Update(); }, steps);
        EXPECT_EQ(result, -1);
        EXPECT_EQ(seen.size(), steps.size());
        EXPECT_EQ(Updated(), -7);
    }
}

}  // namespace

namespace {

// Every file below `folder` with its bytes ("help\\index.htm" -> "help").
std::map<std::string, std::string> Snapshot(const std::string& folder,
                                            const std::string& prefix = "") {
    std::map<std::string, std::string> files;
    for (const std::string& name : ListFolder(folder + (prefix.empty() ? "" : "\\" + prefix))) {
        std::string relative = prefix.empty() ? name : prefix + "\\" + name;
        std::string path = folder + "\\" + relative;
        if (GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY) {
            std::map<std::string, std::string> inner = Snapshot(folder, relative);
            files.insert(inner.begin(), inner.end());
            files[relative + "\\"] = "";
        } else {
            files[relative] = ReadBytes(path);
        }
    }
    return files;
}

// Opens `path` for reading with `share` as another program would; the caller closes it.
HANDLE HoldOpen(const std::string& path, DWORD share) {
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ, share, NULL, OPEN_EXISTING, 0, NULL);
    EXPECT_NE(handle, INVALID_HANDLE_VALUE) << path;
    return handle;
}

const char kCancelled[] = "アップデートを中止しました";

// The refusal of a second update on one install folder.
std::string UpdateRunning(const std::string& install) {
    return "インストール先フォルダ[" + install +
           "]では、別のアップデートを実行中です。\nそのアップデートが終わってから、もう一度アップデ"
           "ートを"
           "実行してください。";
}

// Avoidable failures are found before the first byte: one box, nothing in the install folder
// changed, the update not recorded.
TEST_F(Procedure, RefusedBeforeTheFirstByte) {
    Settings("");
    struct Case {
        const char* name;
        // Run in the media folder; returns a handle held open until the update has run.
        std::function<HANDLE(const std::string& install)> arrange;
        std::function<std::string(const std::string& install)> box;
    };
    const Case cases[] = {
        {"a media entry held open without sharing",
         [](const std::string&) { return HoldOpen("update.arc", 0); },
         [](const std::string&) { return MediaInUse("update.arc"); }},
        {"the game holds data.arc open",
         [](const std::string& install) {
             MakeSource("data.arc", "new data");
             WriteBytes(install + "\\data.arc", "old data");
             return HoldOpen(install + "\\data.arc", FILE_SHARE_READ);
         },
         [](const std::string& install) {
             return InstalledInUse(install + "\\data.arc", kUnchanged);
         }},
        {"a folder in the way",
         [](const std::string& install) {
             CreateDirectoryA((install + "\\update.txt").c_str(), NULL);
             return INVALID_HANDLE_VALUE;
         },
         [](const std::string& install) {
             return "ファイル[" + install +
                    "\\update.txt]を書き換えられません。\nゲームを実行中の場合は終了して下さい。";
         }},
        {"a file where the help folder goes",
         [](const std::string& install) {
             WriteBytes(install + "\\help", "not a folder");
             return INVALID_HANDLE_VALUE;
         },
         [](const std::string& install) {
             return "ファイル[" + install +
                    "\\help]を書き換えられません。\nゲームを実行中の場合は終了して下さい。";
         }},
        // Another launcher, of any title, updating the same folder: its named lock, and its lock
        // file in the folder.
        {"another launcher's named lock on the folder",
         [](const std::string& install) {
             char name[kFolderLockNameBytes];
             FormatFolderLockName(install.c_str(), name);
             return CreateMutexA(NULL, FALSE, name);
         },
         UpdateRunning},
        {"another launcher's lock file in the folder",
         [](const std::string& install) {
             WriteBytes(install + "\\~vup-lock.txt", "");
             return HoldOpen(install + "\\~vup-lock.txt", 0);
         },
         UpdateRunning},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir caseMedia, caseInstall;
        InFolder inCase(caseMedia.path);
        SetInstTo(caseInstall.path);
        MakeMediaHere();
        WriteBytes(caseInstall.File("vorlin.exe"), "old game");
        WriteBytes(caseInstall.File("update.arc"), "old archive");
        HANDLE held = c.arrange(caseInstall.path);
        std::map<std::string, std::string> installed = Snapshot(caseInstall.path);
        std::string box = c.box(caseInstall.path);
        int result = -5;
        std::vector<std::string> seen = RunWithAnswers(
            [&] { result = Update(); }, {{kQuestion, Press(IDYES)}, {box, Press(IDOK)}});
        EXPECT_EQ(result, 1);
        EXPECT_EQ(seen, (std::vector<std::string>{kQuestion, box}));
        if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
        EXPECT_TRUE(Snapshot(caseInstall.path) == installed);
        EXPECT_EQ(Updated(), -7);
    }
}

TEST_F(Procedure, CancelAsSoonAsTheDialogExistsCopiesNothing) {
    Settings("");
    SetInstTo(install.path);
    MakeMedia();
    WriteBytes(install.File("vorlin.exe"), "old game");
    int result = -5;
    std::vector<std::string> seen;
    CopyWatch watch;
    watch.cancelAt = "ファイルの検査中...";
    WatchCopiesDuring(&watch, [&] {
        seen = RunWithAnswers([&] { result = Update(); },
                              {{kQuestion, Press(IDYES)}, {kCancelled, Press(IDOK)}});
    });
    EXPECT_TRUE(watch.cancelled);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(seen, (std::vector<std::string>{kQuestion, kCancelled}));
    EXPECT_EQ(watch.bars, std::vector<int>{1});
    EXPECT_EQ(ListFolder(install.path), std::vector<std::string>{"vorlin.exe"});
    EXPECT_EQ(ReadBytes(install.File("vorlin.exe")), "old game");
    EXPECT_EQ(Updated(), -7);
}

// Only the copy's own temporary names are removed, in the folders the update writes; their room
// counts as free.
TEST_F(Procedure, LeftoversOfInterruptedUpdatesAreRemovedAndNothingElse) {
    Settings("");
    SetInstTo(install.path);
    MakeMedia();
    CreateDirectoryA(install.File("help").c_str(), NULL);
    const char* leftovers[] = {"~vup1a2b.tmp", "~VUP00FF.TMP", "help\\~vupffff.tmp"};
    const char* kept[] = {"~vup12345.tmp", "~vupxyz1.tmp", "keep~vup1234.tmp",  "~vup1234.tmp.bak",
                          "~vup123.tmp",   "save.tmp",     "help\\~vup1234.txt"};
    for (const char* name : leftovers) WriteBytes(install.File(name), "leftover");
    for (const char* name : kept) WriteBytes(install.File(name), "user file");
    int result = -5;
    RunWithAnswers([&] { result = Update(); }, {{kQuestion, Press(IDYES)}, {kDone, Press(IDOK)}});
    EXPECT_EQ(result, 0);
    ExpectInstalled(install.path);
    for (const char* name : leftovers) {
        EXPECT_EQ(GetFileAttributesA(install.File(name).c_str()), INVALID_FILE_ATTRIBUTES) << name;
    }
    for (const char* name : kept) EXPECT_EQ(ReadBytes(install.File(name)), "user file") << name;
}

// A help file whose name has 0x5C as a second byte ("表" is 95 5C): its temporary file lies in the
// help folder under the copy's own name pattern, so that a leftover would be found.
TEST_F(Procedure, TemporaryNameOfATrailByteBackslashName) {
    Settings("");
    SetInstTo(install.path);
    MakeMedia();
    MakeSource(media.File("help\\表.htm"), "hyou");
    CopyWatch watch;
    watch.listAt = "help\\表.htm";
    watch.listFolder = install.File("help");
    int result = -5;
    WatchCopiesDuring(&watch, [&] {
        RunWithAnswers([&] { result = Update(); },
                       {{kQuestion, Press(IDYES)}, {kDone, Press(IDOK)}});
    });
    EXPECT_EQ(result, 0);
    ASSERT_EQ(watch.listed.size(), 2u) << "index.htm and the draft";
    std::string temporary = watch.listed[0] == "index.htm" ? watch.listed[1] : watch.listed[0];
    EXPECT_TRUE(IsUpdateSideFileName(temporary.c_str())) << temporary;
    EXPECT_EQ(ReadBytes(install.File("help\\表.htm")), "hyou");
}

// On a small volume (a 4 MiB RAM disk as T:), two replacements that each fit alone but not one
// after the other are refused before the first byte: the first grows its file, the second then
// lacks room for its temporary copy.
TEST_F(Procedure, SequenceThatDoesNotFitTheVolumeIsRefused) {
    ULARGE_INTEGER freeBytes;
    if (!GetDiskFreeSpaceExA("T:\\", &freeBytes, NULL, NULL)) {
        GTEST_SKIP() << "no small test drive T: (mounted by ./test)";
    }
    Settings("");
    std::string folder = "T:\\seq-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(folder.c_str(), NULL);
    SetInstTo(folder);
    const size_t oldSize = 1 << 20;
    WriteBytes(folder + "\\update.arc", Pattern(oldSize, 1));
    WriteBytes(folder + "\\fastdata.arc", Pattern(oldSize, 2));
    ASSERT_TRUE(GetDiskFreeSpaceExA("T:\\", &freeBytes, NULL, NULL));
    const uint64_t free = freeBytes.QuadPart;
    const size_t newSize = (size_t)(free - 300 * 1024);
    ASSERT_GT(free, oldSize + 312 * 1024) << "the drive is too small for this test";
    const SpacePlanFile one = {newSize, oldSize, true};
    const SpacePlanFile both[] = {one, one};
    ASSERT_LE(ComputeSpaceNeeded(&one, 1, 4096), free) << "each file alone fits";
    uint64_t need = ComputeSpaceNeeded(both, 2, 4096);
    ASSERT_GT(need, free) << "the sequence does not";
    MakeSource(media.File("update.arc"), Pattern(newSize, 3));
    MakeSource(media.File("fastdata.arc"), Pattern(newSize, 4));
    std::map<std::string, std::string> installed = Snapshot(folder);
    // Refused with both figures: the room for every draft at once, and for one file at a time.
    uint64_t needAllAtOnce = ComputeSpaceNeededAllAtOnce(both, 2, 4096);
    char box[256];
    snprintf(box, sizeof box,
             "インストール先の空き容量が不足しています。\n"
             "アップデートには%luMBの空き容量が必要です（1ファイルずつ更新する場合でも%luMB）。\n"
             "現在の空き容量は%luMBです。",
             (unsigned long)MebibytesRoundedUp(needAllAtOnce),
             (unsigned long)MebibytesRoundedUp(need), (unsigned long)MebibytesRoundedDown(free));
    int result = -5;
    std::vector<std::string> seen =
        RunWithAnswers([&] { result = Update(); }, {{kQuestion, Press(IDYES)}, {box, Press(IDOK)}});
    EXPECT_EQ(result, 1);
    EXPECT_EQ(seen, (std::vector<std::string>{kQuestion, box}));
    EXPECT_TRUE(Snapshot(folder) == installed) << "every old file byte-identical, nothing added";
    EXPECT_EQ(Updated(), -7);
    RemoveTree(folder);
}

}  // namespace

namespace {

// Writes update.sum into the media folder (the current directory) listing `names` with the
// digests and sizes of the files as they are now.
void SealMedia(const std::vector<std::string>& names) {
    std::vector<SumEntry> entries(names.size());
    for (size_t i = 0; i < names.size(); i++) {
        std::string bytes = ReadBytes(names[i]);
        entries[i].digest = ComputeSumDigest(bytes.data(), bytes.size());
        entries[i].size = bytes.size();
        snprintf(entries[i].name, sizeof entries[i].name, "%s", names[i].c_str());
    }
    char* text = nullptr;
    size_t length = 0;
    ASSERT_EQ(FormatSumFile(entries.data(), (uint32_t)entries.size(), &text, &length), kSumOk);
    WriteBytes("update.sum", std::string(text, length));
    free(text);
}

const std::vector<std::string> kMediaFiles = {"vorlin.bin", "update.arc", "update.txt",
                                              "help\\index.htm"};

// The recorded folder is updated and the update recorded: the executable under the one-bar dialog,
// then the list under the two-bar dialog. A sealed media that is complete and intact updates
// exactly as an unsealed one: the same dialogs, the same messages, the same files.
TEST_F(Procedure, RecordedFolderIsUpdatedAndTheUpdateRecorded) {
    struct Case {
        const char* name;
        std::vector<std::string> sealed;  // empty: no update.sum
    };
    const Case cases[] = {
        {"unsealed", {}},
        // Names as a disc may spell them: the seal matches them case-insensitively.
        {"sealed", {"VORLIN.BIN", "Update.Arc", "update.txt", "HELP\\Index.htm"}},
    };
    Settings("");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir caseMedia, caseInstall;
        InFolder inCase(caseMedia.path);
        SetInstTo(caseInstall.path);
        MakeMediaHere();
        if (!c.sealed.empty()) SealMedia(c.sealed);
        int result = -5;
        std::vector<std::string> seen;
        CopyWatch watch;
        WatchCopiesDuring(&watch, [&] {
            seen = RunWithAnswers([&] { result = Update(); },
                                  {{kQuestion, Press(IDYES)}, {kDone, Press(IDOK)}});
        });
        EXPECT_EQ(result, 0);
        EXPECT_EQ(seen, (std::vector<std::string>{kQuestion, kDone}));
        EXPECT_EQ(watch.bars, (std::vector<int>{1, 2}));
        ExpectInstalled(caseInstall.path);
        EXPECT_EQ(Updated(), 1);
        // The note of the commit under way went with its journal.
        char noted[MAX_PATH];
        EXPECT_EQ(ReadRegistryString(regGlobal.c_str(), "Game", "UpdatingFolder", "", noted,
                                     sizeof noted),
                  -1);
        RegDeleteTreeA(HKEY_CURRENT_USER, ("Software\\" + regGlobal).c_str());
    }
}

// A sealed media whose seal, or whose set of files, is not right is refused before the first
// byte, naming what is wrong.
TEST_F(Procedure, SealedMediaThatDoesNotMatchItsSealIsRefused) {
    Settings("");
    const std::string broken =
        "アップデート用のメディアの検証ファイル[update.sum]が壊れています。\n" +
        std::string(kGetTheMediaAgain);
    struct Case {
        const char* name;
        std::function<void()> arrange;  // after sealing kMediaFiles, in the media folder
        std::string box;
    };
    const Case cases[] = {
        {"a listed help file is missing", [] { DeleteFileA("help\\index.htm"); },
         "ファイル[help\\index.htm]がアップデート用のメディアにありません。\n"
         "メディアが不完全な可能性があります。\n" +
             std::string(kGetTheMediaAgain)},
        {"an unlisted file was added", [] { MakeSource("help\\extra.htm", "extra"); },
         "ファイル[help\\extra.htm]がアップデート用のメディアの検証ファイルに含まれていません。\n" +
             std::string(kGetTheMediaAgain)},
        {"a file has another size", [] { MakeSource("update.txt", "notes, longer"); },
         "ファイル[update.txt]のサイズが正しくありません。\n"
         "アップデート用のメディアが破損している可能性があります。\n" +
             std::string(kGetTheMediaAgain)},
        {"update.sum garbled",
         [] {
             std::string sum = ReadBytes("update.sum");
             sum[sum.size() / 2] ^= 0x20;
             WriteBytes("update.sum", sum);
         },
         broken},
        {"update.sum cut short",
         [] { WriteBytes("update.sum", ReadBytes("update.sum").substr(0, 40)); }, broken},
        {"update.sum empty", [] { WriteBytes("update.sum", ""); }, broken},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir caseMedia, caseInstall;
        InFolder inCase(caseMedia.path);
        SetInstTo(caseInstall.path);
        MakeMediaHere();
        SealMedia(kMediaFiles);
        c.arrange();
        WriteBytes(caseInstall.File("vorlin.exe"), "old game");
        std::map<std::string, std::string> installed = Snapshot(caseInstall.path);
        int result = -5;
        std::vector<std::string> seen = RunWithAnswers(
            [&] { result = Update(); }, {{kQuestion, Press(IDYES)}, {c.box, Press(IDOK)}});
        EXPECT_EQ(result, 1);
        EXPECT_EQ(seen, (std::vector<std::string>{kQuestion, c.box}));
        EXPECT_TRUE(Snapshot(caseInstall.path) == installed);
        EXPECT_EQ(Updated(), -7);
    }
}

// One byte of data.arc changed after sealing (same size): found while it is copied, before its
// draft can replace the old one. The message names data.arc, says the media is damaged, what to do,
// and that the game is unchanged (the executable and update.arc were only drafts).
TEST_F(Procedure, DamagedFileIsFoundWhileCopiedAndNotInstalled) {
    Settings("");
    SetInstTo(install.path);
    MakeMedia();
    MakeSource(media.File("data.arc"), Pattern(700000, 5));
    SealMedia({"vorlin.bin", "update.arc", "data.arc", "update.txt", "help\\index.htm"});
    std::string data = ReadBytes(media.File("data.arc"));
    data[500000] ^= 0x01;
    MakeSource(media.File("data.arc"), data);
    WriteBytes(install.File("data.arc"), "old data");
    const std::string box =
        "ファイル[data.arc]のデータが正しくありません。\n"
        "アップデート用のメディアが破損している可能性があります。\n" +
        std::string(kGetTheMediaAgain) + "\n" + kUnchanged;
    int result = -5;
    std::vector<std::string> seen =
        RunWithAnswers([&] { result = Update(); }, {{kQuestion, Press(IDYES)}, {box, Press(IDOK)}});
    EXPECT_EQ(result, 1);
    EXPECT_EQ(seen, (std::vector<std::string>{kQuestion, box}));
    EXPECT_EQ(ReadBytes(install.File("data.arc")), "old data");
    EXPECT_EQ(ListFolder(install.path), std::vector<std::string>{"data.arc"})
        << "no draft left, nothing installed";
    EXPECT_EQ(Updated(), -7);
}

// ---- Every file operation of an update failing in turn ------------------------------------------
//
// A table of file operations that passes every call to the plain one but makes operation N fail in
// one of six ways; the update then runs in this process with its boxes answered at once. After each
// run the install folder must hold the old set or the new set as a whole (after a crash, the
// journal of an interrupted commit may be there instead), `Updated` must match, and the box must
// say truthfully which; then one more clean run must end with the new set and nothing left behind.

enum FaultKind { kDiskFull, kBriefHold, kLastingHold, kAccessDenied, kMediaReadError, kCrash };

struct Faults {
    int failAt = 0;  // 0: no fault
    int count = 0;   // operations made so far
    FaultKind kind = kDiskFull;
    bool frozen = false;     // a crash: the disk stays as it was at operation failAt
    int briefLeft = 0;       // tries of the held path a brief hold still refuses
    std::string heldPath;    // the path held (for good, or for briefLeft more tries)
    std::string failedPath;  // the file of operation failAt ("" when it had none)
    std::vector<std::pair<std::string, std::string>> renames;  // made, in order
};
Faults g_faults;
Win32FileSystem g_plain;  // what the faulty table passes each call on to

// Whether this operation (on `path`, or on a handle when null) fails; *error says how when it
// does. `opens` is false for the operations a held file does not refuse (its attributes, a
// search); a hold refuses only the operations that open a file by its name.
bool Fails(FsError* error, const char* path, bool opens = true, const char* otherPath = nullptr) {
    Faults& f = g_faults;
    f.count++;
    if (f.frozen) {
        *error = kFsDeviceError;
        return true;
    }
    if (f.kind == kLastingHold && !f.heldPath.empty() && opens &&
        ((path && f.heldPath == path) || (otherPath && f.heldPath == otherPath))) {
        *error = kFsHeld;
        return true;
    }
    bool holdable = opens && path;
    if (f.failAt == 0 || f.count != f.failAt ||
        ((f.kind == kBriefHold || f.kind == kLastingHold) && !holdable)) {
        if (f.kind == kBriefHold && holdable && f.briefLeft > 0 && f.heldPath == path) {
            f.briefLeft--;
            *error = kFsHeld;
            return true;
        }
        return false;
    }
    f.failedPath = path ? path : "";
    switch (f.kind) {
        case kDiskFull:
            *error = kFsDiskFull;
            break;
        case kBriefHold:
            f.heldPath = path;
            f.briefLeft = 2;
            *error = kFsHeld;
            break;
        case kLastingHold:
            f.heldPath = path;
            *error = kFsHeld;
            break;
        case kAccessDenied:
            *error = kFsAccessDenied;
            break;
        case kMediaReadError:
            *error = kFsDeviceError;
            break;
        case kCrash:
            f.frozen = true;
            *error = kFsDeviceError;
            break;
    }
    return true;
}

// The path each open file and search was opened by, so that an operation on one is known by its
// file.
std::map<void*, std::string> g_handlePaths;
const char* PathOf(void* h) {
    auto found = g_handlePaths.find(h);
    return found == g_handlePaths.end() ? nullptr : found->second.c_str();
}

const UpdateFileSystem* Plain() {
    return &g_plain.table;
}
void* PlainContext() {
    return g_plain.table.context;
}

FsError FOpen(void*, const char* p, uint32_t a, uint32_t s, FsCreate c, FsFile* file) {
    FsError error;
    if (Fails(&error, p)) return error;
    error = Plain()->open(PlainContext(), p, a, s, c, file);
    if (error == kFsOk) g_handlePaths[*file] = p;
    return error;
}
FsError FRead(void*, FsFile h, void* b, uint32_t n, uint32_t* got) {
    FsError error;
    return Fails(&error, PathOf(h), false) ? error : Plain()->read(PlainContext(), h, b, n, got);
}
FsError FWrite(void*, FsFile h, const void* b, uint32_t n) {
    FsError error;
    return Fails(&error, PathOf(h), false) ? error : Plain()->write(PlainContext(), h, b, n);
}
FsError FFlush(void*, FsFile h) {
    FsError error;
    return Fails(&error, PathOf(h), false) ? error : Plain()->flush(PlainContext(), h);
}
// A file is always closed (a process that ends closes its files too); only the result fails.
FsError FClose(void*, FsFile h) {
    FsError error = kFsOk;
    bool fails = Fails(&error, PathOf(h), false);
    Plain()->close(PlainContext(), h);
    g_handlePaths.erase(h);
    return fails ? error : kFsOk;
}
FsError FSize(void*, FsFile h, uint64_t* size) {
    FsError error;
    return Fails(&error, PathOf(h), false) ? error : Plain()->size(PlainContext(), h, size);
}
FsError FGetTimes(void*, FsFile h, FsTimes* t) {
    FsError error;
    return Fails(&error, PathOf(h), false) ? error : Plain()->getTimes(PlainContext(), h, t);
}
FsError FSetTimes(void*, FsFile h, const FsTimes* t) {
    FsError error;
    return Fails(&error, PathOf(h), false) ? error : Plain()->setTimes(PlainContext(), h, t);
}
FsError FGetAttributes(void*, const char* p, uint32_t* a) {
    FsError error;
    return Fails(&error, p, false) ? error : Plain()->getAttributes(PlainContext(), p, a);
}
FsError FSetAttributes(void*, const char* p, uint32_t a) {
    FsError error;
    return Fails(&error, p) ? error : Plain()->setAttributes(PlainContext(), p, a);
}
FsError FRename(void*, const char* a, const char* b, uint32_t flags) {
    FsError error;
    if (Fails(&error, a, true, b)) return error;
    error = Plain()->rename(PlainContext(), a, b, flags);
    if (error == kFsOk) g_faults.renames.push_back({a, b});
    return error;
}
FsError FRemove(void*, const char* p) {
    FsError error;
    return Fails(&error, p) ? error : Plain()->remove(PlainContext(), p);
}
FsError FMakeFolder(void*, const char* p) {
    FsError error;
    return Fails(&error, p) ? error : Plain()->makeFolder(PlainContext(), p);
}
FsError FRemoveFolder(void*, const char* p) {
    FsError error;
    return Fails(&error, p) ? error : Plain()->removeFolder(PlainContext(), p);
}
FsError FFreeSpace(void*, const char* p, uint64_t* a, uint32_t* c) {
    FsError error;
    return Fails(&error, p) ? error : Plain()->freeSpace(PlainContext(), p, a, c);
}
FsError FFindFirst(void*, const char* p, FsSearch* search, FsFound* found) {
    FsError error;
    if (Fails(&error, p, false)) return error;
    error = Plain()->findFirst(PlainContext(), p, search, found);
    if (error == kFsOk) g_handlePaths[*search] = p;
    return error;
}
FsError FFindNext(void*, FsSearch h, FsFound* found) {
    FsError error;
    return Fails(&error, PathOf(h), false) ? error : Plain()->findNext(PlainContext(), h, found);
}
void FFindClose(void*, FsSearch h) {
    FsError error;
    Fails(&error, PathOf(h), false);
    Plain()->findClose(PlainContext(), h);
    g_handlePaths.erase(h);
}
// The registry's records are not among the operations faulted here.
FsError FMarkUpdated(void*) {
    return Plain()->markUpdated(PlainContext());
}
FsError FNoteCommit(void*, const char* folder) {
    return Plain()->noteCommit(PlainContext(), folder);
}
FsError FNotedCommit(void*, char* folder) {
    return Plain()->notedCommit(PlainContext(), folder);
}

const UpdateFileSystem kFaultyFs = {
    nullptr,    FOpen,        FRead,         FWrite,         FFlush,         FClose,
    FSize,      FGetTimes,    FSetTimes,     FGetAttributes, FSetAttributes, FRename,
    FRemove,    FMakeFolder,  FRemoveFolder, FFreeSpace,     FFindFirst,     FFindNext,
    FFindClose, FMarkUpdated, FNoteCommit,   FNotedCommit};

std::vector<std::string> g_boxes;
int AnswerAtOnce(UINT flags, const char* text) {
    g_boxes.push_back(text);
    return (flags & MB_YESNO) ? IDYES : IDOK;
}

// A side file's path without its run ("~vup" + run + index + ".new" -> "~vup" + index + ".new"):
// each update has a run of its own, so the same file's side files differ from run to run.
std::string WithoutRun(const std::string& path) {
    size_t slash = path.rfind('\\');
    size_t start = slash == std::string::npos ? 0 : slash + 1;
    if (path.size() - start == 24 && path.compare(start, 4, "~vup") == 0) {
        return path.substr(0, start + 4) + path.substr(start + 12);
    }
    return path;
}

std::string Describe(const std::map<std::string, std::string>& files) {
    std::string out;
    for (const auto& e : files) {
        out += "  " + e.first + ": " + e.second.substr(0, 24) + "\n";
    }
    return out;
}
std::string Describe(const std::vector<std::string>& texts) {
    std::string out;
    for (const auto& t : texts) out += "  " + t + "\n";
    return out;
}

// Each kind of fault is tried at every third operation in one test, starting at `first` (1 to 3):
// three tests of a kind share the operations between them.
struct FaultRange {
    FaultKind kind;
    int first;
};
enum { kRangesPerKind = 3 };
void PrintTo(const FaultRange& range, std::ostream* os) {
    *os << "kind " << range.kind << " from operation " << range.first;
}

class FailingOperations : public Procedure, public ::testing::WithParamInterface<FaultRange> {
protected:
    FaultKind Kind() const { return GetParam().kind; }
    std::map<std::string, std::string> oldSet, newSet;

    void SetUp() override {
        Procedure::SetUp();
        Settings("");
        SetInstTo(install.path);
        InFolder here(media.path);
        MakeSource("vorlin.bin", "new game");
        MakeSource("update.arc", Pattern(5000, 1));
        MakeSource("data.arc", Pattern(300000, 2));  // three chunks
        MakeSource("voice.arc", Pattern(20000, 3));  // added: no old one
        CreateDirectoryA("help", NULL);
        MakeSource("help\\index.htm", "new help");
        MakeSource("help\\表.htm", "hyou");  // added, a name with a 0x5C trail byte
        SetMessageBoxAnswerForTests(AnswerAtOnce);
        InitWin32FileSystem(&g_plain, regGlobal.c_str(), "Game");
    }
    void TearDown() override {
        SetMessageBoxAnswerForTests(nullptr);
        Procedure::TearDown();
    }
    void MakeOldGame() {
        RemoveTree(install.path);
        CreateDirectoryA(install.path.c_str(), NULL);
        WriteBytes(install.File("vorlin.exe"), "old game");
        WriteBytes(install.File("update.arc"), "old update");
        WriteBytes(install.File("data.arc"), "old data");
        CreateDirectoryA(install.File("help").c_str(), NULL);
        WriteBytes(install.File("help\\index.htm"), "old help");
        RegDeleteKeyValueA(HKEY_CURRENT_USER, ("Software\\" + regGlobal + "\\Game").c_str(),
                           "Updated");
    }
    // One update with operation `failAt` failing (0: none); the boxes it showed.
    std::vector<std::string> Run(int failAt, int* operations = nullptr) {
        g_faults = Faults();
        g_faults.failAt = failAt;
        g_faults.kind = Kind();
        g_boxes.clear();
        RunUpdateOn(&kFaultyFs, 60);
        if (operations) *operations = g_faults.count;
        return g_boxes;
    }
};

TEST_P(FailingOperations, LeaveTheGameWhollyOldOrNewAndTheNextRunRepairsIt) {
    MakeOldGame();
    oldSet = Snapshot(install.path);
    int k = 0;
    Run(0, &k);
    newSet = Snapshot(install.path);
    ASSERT_EQ(Updated(), 1);
    ASSERT_NE(newSet, oldSet);
    ASSERT_EQ(newSet.count("help\\表.htm"), 1u);
    ASSERT_GT(k, 40);
    // What each side file of the clean run stands for: drafts moved in, backups moved aside.
    std::map<std::string, std::string> meant;
    for (const auto& r : g_faults.renames) {
        if (IsSideFile(r.first)) meant[WithoutRun(r.first)] = r.second;
        if (IsSideFile(r.second)) meant[WithoutRun(r.second)] = r.first;
    }
    ASSERT_GE(meant.size(), 6u);
    int oldAfter = 0, newAfter = 0, interrupted = 0;
    for (int n = GetParam().first; n <= k; n += kRangesPerKind) {
        SCOPED_TRACE("operation " + std::to_string(n) + " of " + std::to_string(k));
        MakeOldGame();
        std::vector<std::string> boxes = Run(n);
        std::map<std::string, std::string> after = Snapshot(install.path);
        // A journal beside its commit mark, whose removal failed, is the next update's to clear
        // away; the game is new. Any other journal is an interrupted commit.
        bool journal = after.count("~vup-journal.txt") != 0 && after.count("~vup-commit.txt") == 0;
        std::map<std::string, std::string> game = WithoutSideFiles(after);
        std::string last = boxes.empty() ? "" : boxes.back();
        // A journal is left by a process that stopped, or by an undo that could not finish and
        // said so; the next run undoes the rest.
        bool saidNotRestored = last.find("戻せませんでした") != std::string::npos;
        if (Kind() != kCrash && journal) {
            EXPECT_TRUE(saidNotRestored) << Describe(boxes);
        }
        if (game == newSet && !journal) {
            newAfter++;
            // A process that died after its commit point has a new game not yet recorded: the
            // next update, finding the commit mark, records it.
            if (Kind() != kCrash) {
                EXPECT_EQ(Updated(), 1);
                EXPECT_EQ(last, "アップデートを終了しました。");
            }
        } else if (game == oldSet && !journal) {
            oldAfter++;
            EXPECT_EQ(Updated(), -7);
            if (Kind() != kCrash) {
                EXPECT_TRUE(last.find("変更されていません") != std::string::npos ||
                            last.find("更新前の状態に戻しました") != std::string::npos ||
                            last.find("見つかりません") != std::string::npos ||
                            last.find("別のアップデートを実行中です") != std::string::npos)
                    << last;
                // The file named is the one that failed, or the installed file its draft or
                // backup stands for.
                std::string failed = g_faults.failedPath;
                if (meant.count(WithoutRun(failed))) failed = meant[WithoutRun(failed)];
                // The install folder's lock and the one-at-a-time record are told as the folder.
                if (failed == install.File("~vup-lock.txt") ||
                    failed == install.File("~vup-partly.txt")) {
                    failed = install.path;
                }
                // A search of a pattern's folder is told as that folder.
                if (failed.find('*') != std::string::npos) failed.erase(failed.rfind('\\'));
                if (!failed.empty()) {
                    EXPECT_NE(last.find("[" + failed + "]"), std::string::npos)
                        << "the box names another file than " << failed << ":\n"
                        << last;
                }
            }
        } else {
            interrupted++;
            EXPECT_TRUE(Kind() == kCrash || saidNotRestored)
                << "the game is neither the old nor the new one:\n"
                << Describe(after) << "boxes:\n"
                << Describe(boxes);
            EXPECT_TRUE(journal) << "a half-committed game without its journal";
            EXPECT_EQ(Updated(), -7);
        }
        // The next update, without faults, repairs whatever was left and installs the new set.
        std::vector<std::string> again = Run(0);
        EXPECT_EQ(Snapshot(install.path), newSet) << "after the repairing run";
        EXPECT_EQ(Updated(), 1);
        EXPECT_FALSE(again.empty() ? true : again.back() != "アップデートを終了しました。")
            << (again.empty() ? "" : again.back());
        if (HasFailure()) break;  // one broken operation tells enough
    }
    printf("[ faults   ] %d operations; after the fault: %d old, %d new, %d interrupted commits\n",
           k, oldAfter, newAfter, interrupted);
}

std::vector<FaultRange> AllFaultRanges() {
    std::vector<FaultRange> ranges;
    for (FaultKind kind :
         {kDiskFull, kBriefHold, kLastingHold, kAccessDenied, kMediaReadError, kCrash}) {
        for (int first = 1; first <= kRangesPerKind; first++) ranges.push_back({kind, first});
    }
    return ranges;
}

std::string FaultName(const ::testing::TestParamInfo<FaultRange>& info) {
    static const char* const kNames[] = {"DiskFull",     "BriefHold",      "LastingHold",
                                         "AccessDenied", "MediaReadError", "Crash"};
    return std::string(kNames[info.param.kind]) + "From" + std::to_string(info.param.first);
}

INSTANTIATE_TEST_SUITE_P(EachKind, FailingOperations, ::testing::ValuesIn(AllFaultRanges()),
                         FaultName);

}  // namespace
