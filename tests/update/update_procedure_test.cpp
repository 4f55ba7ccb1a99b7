// The whole update procedure in this process: the question, the install folder from the registry
// or from the SETUP dialog, both copy stages, the record in the registry and the closing message.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <functional>
#include <thread>

#include "settings/env_settings.h"
#include "settings/registry_store.h"
#include "tests/update/update_fixture.h"
#include "update/update_procedure.h"

namespace {

const char kCopyCaption[] = "ファイルのコピー中...";

// One dialog the procedure is expected to show, and how the user answers it.
struct Step {
    std::string text;     // the box's text, or the dialog's caption for a dialog
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

class Procedure : public UpdateTest {
protected:
    std::string regGlobal = "VorlinUpdateTest" + std::to_string(GetCurrentProcessId());
    void SetUp() override {
        UpdateTest::SetUp();
        SetClipboardText("");
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
        MakeSource(media.File("vorlin.bin"), "game program");
        MakeSource(media.File("update.arc"), Pattern(300000));
        MakeSource(media.File("update.txt"), "notes");
        CreateDirectoryA(media.File("help").c_str(), NULL);
        MakeSource(media.File("help\\index.htm"), "help");
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
    auto seen = RunWithAnswers([&] { result = RunUpdate(); }, {{kQuestion, Press(IDNO)}});
    EXPECT_EQ(result, 1);
    EXPECT_EQ(seen, std::vector<std::string>{kQuestion});
    EXPECT_TRUE(ListFolder(install.path).empty());
    EXPECT_EQ(Updated(), -7);
}

TEST_F(Procedure, RecordedFolderIsUpdatedAndTheUpdateRecorded) {
    Settings("");
    SetInstTo(install.path);
    MakeMedia();
    int result = -5;
    std::vector<std::string> seen;
    CopyWatch watch;
    WatchCopiesDuring(&watch, [&] {
        seen = RunWithAnswers([&] { result = RunUpdate(); },
                              {{kQuestion, Press(IDYES)}, {kDone, Press(IDOK)}});
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(seen, (std::vector<std::string>{kQuestion, kDone}));
    // The executable under the one-bar dialog, then the list under the two-bar dialog.
    EXPECT_EQ(watch.bars, (std::vector<int>{1, 2}));
    ExpectInstalled(install.path);
    EXPECT_EQ(Updated(), 1);
}

// A list copy that stops (here: Cancel as data.arc begins) after the executable was replaced
// leaves the update unrecorded.
TEST_F(Procedure, StoppedListCopyLeavesTheUpdateUnrecorded) {
    Settings("");
    SetInstTo(install.path);
    MakeMedia();
    MakeSource(media.File("data.arc"), Pattern(400000, 3));
    WriteBytes(install.File("data.arc"), "old data");
    // The executable was replaced already: the message says the game is only partly updated.
    const char* stopped = kStoppedPartly;
    int result = -5;
    std::vector<std::string> seen;
    CopyWatch watch;
    watch.cancelAt = "data.arc";
    WatchCopiesDuring(&watch, [&] {
        seen = RunWithAnswers([&] { result = RunUpdate(); },
                              {{kQuestion, Press(IDYES)}, {stopped, Press(IDOK)}});
    });
    EXPECT_TRUE(watch.cancelled);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(seen, (std::vector<std::string>{kQuestion, stopped}));
    EXPECT_EQ(ReadBytes(install.File("vorlin.exe")), "game program");
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
    auto seen = RunWithAnswers([&] { result = RunUpdate(); },
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
    auto seen = RunWithAnswers([&] { result = RunUpdate(); },
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
    auto seen = RunWithAnswers([&] { result = RunUpdate(); },
                               {{kQuestion, Press(IDYES)},
                                {kNoFolder, Press(IDOK)},
                                {"インストール先のフォルダの指定",
                                 [&](HWND setup) {
                                     SetDlgItemTextA(setup, 1000, chosen.c_str());
                                     PressButton(setup, 1);
                                 }},
                                {confirm, Press(IDYES)},
                                {kDone, Press(IDOK)}});
    EXPECT_EQ(result, 0);
    EXPECT_EQ(seen.size(), 5u);
    ExpectInstalled(chosen);
    EXPECT_EQ(Updated(), 1);
    char instTo[260];
    EXPECT_EQ(ReadRegistryString(regGlobal.c_str(), "Game", "InstTo", "absent", instTo,
                                 sizeof instTo),
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
        auto seen = RunWithAnswers([&] { result = RunUpdate(); }, steps);
        EXPECT_EQ(result, -1);
        EXPECT_EQ(seen.size(), steps.size());
        EXPECT_EQ(Updated(), -7);
    }
}

}  // namespace
