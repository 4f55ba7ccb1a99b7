// Start-up of the real update.exe, run as a separate process in prepared media folders: the
// single-instance guard, the running-game refusal, and the missing settings file.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "tests/resfs/resfs_fixture.h"
#include "tests/app/tiny_picture.h"
#include "tests/support/win_support.h"

namespace {

const char kTitle[] = "テスト ゲーム アップデート 1.0";
// The menu may open without an installation, and reads its install state from a key of its own.
#define MENU_SETTINGS "UPDATENEEDINSTALL 0\r\nREG_GLOBAL VorlinStartupTest\r\n"
const char kEnv[] = "TITLEBAR テスト|ゲーム\r\nVERSION 1.0\r\n" MENU_SETTINGS "[EOF]\r\n";

std::string LauncherCommand() { return "\"" + WindowsPath(VORLIN_UPDATE_EXE) + "\""; }

struct Media {
    ScratchDir dir;
    explicit Media(const std::string& env) {
        if (!env.empty()) WriteBytes(dir.File("vorlin.env"), env);
        WriteBytes(dir.File("update.rct"), TinyPicture());
    }
};

Child StartLauncher(const Media& media) { return StartChild(LauncherCommand(), media.dir.path); }

// Closes a launcher's menu with its close box and expects the process to end with 0.
void CloseMenu(Child* launcher, HWND menu) {
    PostMessageA(menu, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitChild(launcher), 0u);
}

bool MutexExists(const char* name) {
    HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, name);
    if (mutex) CloseHandle(mutex);
    return mutex != NULL;
}

TEST(Startup, SecondLauncherIsRefusedAndTheFirstGoesOn) {
    Media media(kEnv);
    Child first = StartLauncher(media);
    WindowSeen menu;
    ASSERT_TRUE(WaitForDialog(first.id, kTitle, &menu));
    EXPECT_TRUE(MutexExists(kTitle));
    EXPECT_FALSE(MutexExists("テスト ゲーム")) << "the game's name is only probed, never held";

    Child second = StartLauncher(media);
    WindowSeen box;
    ASSERT_TRUE(WaitForDialog(second.id, nullptr, &box));
    EXPECT_EQ(box.text, std::string("[ ") + kTitle + " ] は既に起動中です");
    EXPECT_EQ(box.caption, kTitle);
    EXPECT_EQ(box.owner, nullptr);
    EXPECT_TRUE(box.HasButton(IDOK));
    EXPECT_FALSE(box.HasButton(IDCANCEL));
    PressButton(box.window, IDOK);
    EXPECT_EQ(WaitChild(&second), 0u);

    EXPECT_TRUE(ChildRunning(first));
    EXPECT_TRUE(IsWindowVisible(menu.window));
    CloseMenu(&first, menu.window);
}

TEST(Startup, LaunchersOfDifferentVersionsDoNotExcludeEachOther) {
    Media v1("TITLEBAR Same\r\nVERSION 1\r\n" MENU_SETTINGS);
    Media v2("TITLEBAR Same\r\nVERSION 2\r\n" MENU_SETTINGS);
    Child a = StartLauncher(v1);
    WindowSeen menuA, menuB;
    ASSERT_TRUE(WaitForDialog(a.id, "Same アップデート 1", &menuA));
    Child b = StartLauncher(v2);
    ASSERT_TRUE(WaitForDialog(b.id, "Same アップデート 2", &menuB));
    CloseMenu(&b, menuB.window);
    CloseMenu(&a, menuA.window);
}

TEST(Startup, RunningGameIsRefused) {
    HANDLE game = CreateMutexA(NULL, TRUE, "テスト ゲーム");
    ASSERT_NE(game, nullptr);
    Media media(kEnv);
    Child launcher = StartLauncher(media);
    WindowSeen box;
    ASSERT_TRUE(WaitForDialog(launcher.id, nullptr, &box));
    EXPECT_EQ(box.text, "[ テスト ゲーム ] を終了後に起動してください");
    EXPECT_EQ(box.caption, kTitle);
    EXPECT_EQ(box.owner, nullptr);
    PressButton(box.window, IDOK);
    EXPECT_EQ(WaitChild(&launcher), 0u);
    CloseHandle(game);
}

TEST(Startup, WithBothRunningOnlyTheSecondLauncherMessageIsShown) {
    HANDLE game = CreateMutexA(NULL, TRUE, "テスト ゲーム");
    HANDLE other = CreateMutexA(NULL, TRUE, kTitle);
    Media media(kEnv);
    Child launcher = StartLauncher(media);
    WindowSeen box;
    ASSERT_TRUE(WaitForDialog(launcher.id, nullptr, &box));
    EXPECT_EQ(box.text, std::string("[ ") + kTitle + " ] は既に起動中です");
    PressButton(box.window, IDOK);
    EXPECT_EQ(WaitChild(&launcher), 0u);
    CloseHandle(other);
    CloseHandle(game);
}

TEST(Startup, BackslashInTheTitleEndsSilently) {
    Media media("TITLEBAR Bad\\Name\r\n");
    Child launcher = StartLauncher(media);
    EXPECT_EQ(WaitChild(&launcher), 0u);
    WindowSeen nothing;
    EXPECT_FALSE(WaitForDialog(launcher.id, nullptr, &nothing, 200));
}

TEST(Startup, MissingSettingsFileBlocksBeforeAnyMutexAndCancelEndsWithMinusOne) {
    Media media("");
    Child launcher = StartLauncher(media);
    WindowSeen box;
    ASSERT_TRUE(WaitForDialog(launcher.id, nullptr, &box));
    EXPECT_EQ(box.text, "Ffopen : ファイル[vorlin.env]の読み込みで失敗しました");
    EXPECT_EQ(box.caption, "");
    EXPECT_EQ(box.owner, nullptr);
    EXPECT_TRUE(box.HasButton(IDRETRY));
    EXPECT_TRUE(box.HasButton(IDCANCEL));
    EXPECT_FALSE(MutexExists("ＶＯＲＬＩＮ アプリケーション アップデート Version 1.01"));
    EXPECT_FALSE(MutexExists("ＶＯＲＬＩＮ アプリケーション"));
    PressButton(box.window, IDCANCEL);
    EXPECT_EQ(WaitChild(&launcher), 0xFFFFFFFFu);
}

TEST(Startup, MissingSettingsFileThenRetryStartsTheMenu) {
    Media media("");
    Child launcher = StartLauncher(media);
    WindowSeen box;
    ASSERT_TRUE(WaitForDialog(launcher.id, nullptr, &box));
    WriteBytes(media.dir.File("vorlin.env"), kEnv);
    PressButton(box.window, IDRETRY);
    WindowSeen menu;
    ASSERT_TRUE(WaitForDialog(launcher.id, kTitle, &menu));
    CloseMenu(&launcher, menu.window);
}

// The settings and the picture may come from the media's archive instead of loose files.
TEST(Startup, SettingsAndPictureFromTheUpdateArchive) {
    Media media("");
    DeleteFileA(media.dir.File("update.rct").c_str());
    WriteBytes(media.dir.File("update.arc"),
               BuildArchive({{"vorlin.env", std::string("TITLEBAR Archived\r\nVERSION 9\r\n") +
                                                MENU_SETTINGS + "[EOF]\r\n"},
                             {"update.rct", TinyPicture()}}));
    Child launcher = StartLauncher(media);
    WindowSeen menu;
    ASSERT_TRUE(WaitForDialog(launcher.id, "Archived アップデート 9", &menu));
    CloseMenu(&launcher, menu.window);
}

// A folder named "fastdata" serves as a mount too.
TEST(Startup, SettingsFromTheFastdataFolder) {
    Media media("");
    CreateDirectoryA(media.dir.File("fastdata").c_str(), NULL);
    CreateDirectoryA(media.dir.File("fastdata\\config").c_str(), NULL);
    WriteBytes(media.dir.File("fastdata\\config\\vorlin.env"),
               std::string("TITLEBAR Folder\r\nVERSION 3\r\n") + MENU_SETTINGS);
    Child launcher = StartLauncher(media);
    WindowSeen menu;
    ASSERT_TRUE(WaitForDialog(launcher.id, "Folder アップデート 3", &menu));
    CloseMenu(&launcher, menu.window);
}

}  // namespace
