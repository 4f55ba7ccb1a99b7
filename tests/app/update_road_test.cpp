// The whole road of an update in the real launcher, driven as a user would: the menu, the
// question, the copy dialogs, the closing message, and the fresh menu that offers the re-update.
#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/app/tiny_picture.h"
#include "tests/support/win_support.h"

namespace {

// A media folder and an install folder for the real launcher, with the registry naming the
// install folder under a key of this test process's own. `makeDataArc` writes the media's data.arc.
struct Road {
    ScratchDir media, install;
    std::string regGlobal = "VorlinRoadTest" + std::to_string(GetCurrentProcessId());
    std::string keyPath = "Software\\" + regGlobal + "\\Game";

    explicit Road(const std::function<void(const std::string&)>& makeDataArc) {
        WriteBytes(media.File("vorlin.env"), "TITLEBAR Road\r\nVERSION 1\r\nREG_GLOBAL " +
                                                 regGlobal +
                                                 "\r\nREG_LOCAL Game\r\nUPDATEREADME news.txt\r\n");
        WriteBytes(media.File("update.rct"), TinyPicture());
        WriteBytes(media.File("vorlin.bin"), "new game");
        makeDataArc(media.File("data.arc"));
        WriteBytes(media.File("update.txt"), "notes");
        CreateDirectoryA(media.File("help").c_str(), NULL);
        WriteBytes(media.File("help\\index.htm"), "help");
        WriteBytes(install.File("vorlin.exe"), "old game");
        HKEY key;
        EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, keyPath.c_str(), 0, NULL, 0, KEY_ALL_ACCESS,
                                  NULL, &key, NULL),
                  ERROR_SUCCESS);
        RegSetValueExA(key, "IsInst", 0, REG_SZ, (const BYTE*)"1", 2);
        RegSetValueExA(key, "InstTo", 0, REG_SZ, (const BYTE*)install.path.c_str(),
                       (DWORD)install.path.size() + 1);
        RegCloseKey(key);
    }
    ~Road() { RegDeleteTreeA(HKEY_CURRENT_USER, ("Software\\" + regGlobal).c_str()); }

    // The registry value Updated as text ("" when absent).
    std::string Updated() {
        char updated[16] = "";
        HKEY key;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, keyPath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
            return "";
        }
        DWORD type = 0, length = sizeof updated;
        LONG status = RegQueryValueExA(key, "Updated", NULL, &type, (BYTE*)updated, &length);
        RegCloseKey(key);
        return status == ERROR_SUCCESS && type == REG_SZ ? updated : "";
    }

    // Starts the launcher, presses the update button and answers Yes to the question.
    bool StartUpdate(Child* launcher, WindowSeen* menu) {
        *launcher = StartChild("\"" + WindowsPath(VORLIN_UPDATE_EXE) + "\"", media.path);
        if (!WaitForDialog(launcher->id, "Road アップデート 1", menu)) return false;
        EXPECT_EQ(DialogItemText(menu->window, 1002), "アップデート");
        PressButton(menu->window, 1002);
        WindowSeen box;
        if (!WaitForDialogWithText(launcher->id, "アップデートを開始します。宜しいですか？", &box)) {
            return false;
        }
        EXPECT_EQ(box.owner, menu->window);
        EXPECT_EQ(box.caption, "Road アップデート 1");
        PressButton(box.window, IDYES);
        return true;
    }
};

TEST(UpdateRoad, FromTheClickToTheFreshMenu) {
    Road road([](const std::string& path) { WriteBytes(path, std::string(400000, 'd')); });
    Child launcher;
    WindowSeen menu;
    ASSERT_TRUE(road.StartUpdate(&launcher, &menu));
    WindowSeen box;
    ASSERT_TRUE(WaitForDialogWithText(launcher.id, "アップデートを終了しました。", &box));
    PressButton(box.window, IDOK);

    // The menu ended with 1: start-up shows a fresh one that knows the update was applied.
    WindowSeen fresh;
    bool freshMenu = false;
    for (DWORD start = GetTickCount(); !freshMenu && GetTickCount() - start < 15000; Sleep(50)) {
        freshMenu = WaitForDialog(launcher.id, "Road アップデート 1", &fresh, 100) &&
                    fresh.window != menu.window && DialogItemText(fresh.window, 1002) == "再アップデート";
    }
    ASSERT_TRUE(freshMenu);
    PostMessageA(fresh.window, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitChild(&launcher), 0u);

    EXPECT_EQ(ReadBytes(road.install.File("vorlin.exe")), "new game");
    EXPECT_EQ(ReadBytes(road.install.File("data.arc")).size(), 400000u);
    EXPECT_EQ(ReadBytes(road.install.File("update.txt")), "notes");
    EXPECT_EQ(ReadBytes(road.install.File("help\\index.htm")), "help");
    EXPECT_EQ(GetFileAttributesA(road.install.File("vorlin.exe").c_str()), (DWORD)FILE_ATTRIBUTE_ARCHIVE);
    EXPECT_EQ(road.Updated(), "1");
}

// A large data.arc (sparse, so quick to make) whose copy takes long enough to be cut off.
void MakeLargeDataArc(const std::string& path) { MakeSparseFile(path, 1ll << 30); }

// Waits until the launcher's copy dialog is copying data.arc and its file bar has moved, but not
// to its end. Returns the dialog, or null when that was not seen.
HWND WaitForDataArcHalfWay(const Child& launcher) {
    DWORD start = GetTickCount();
    while (GetTickCount() - start < 30000) {
        WindowSeen copy;
        if (WaitForDialog(launcher.id, "ファイルのコピー中...", &copy, 50) &&
            DialogItemText(copy.window, 1012) == "data.arc") {
            HWND bar = GetDlgItem(copy.window, 1010);
            int position = (int)SendMessageA(bar, PBM_GETPOS, 0, 0);
            int upper = (int)SendMessageA(bar, PBM_GETRANGE, FALSE, 0);
            if (position > 0 && position < upper - 16) return copy.window;
        }
        Sleep(5);
    }
    return nullptr;
}

// The update's own files in a folder: drafts, backups and its journal.
std::vector<std::string> TemporaryFilesIn(const std::string& folder) {
    std::vector<std::string> found;
    for (const std::string& name : ListFolder(folder)) {
        if (name.compare(0, 4, "~vup") == 0) found.push_back(name);
    }
    return found;
}

// A road whose media carries a large data.arc over an old one in the install folder.
struct LargeRoad : Road {
    LargeRoad() : Road(MakeLargeDataArc) { WriteBytes(install.File("data.arc"), "old data"); }

    // Starts an update and waits until data.arc is half copied: its copy dialog, or null.
    HWND StartUpdateUntilDataArcHalfWay(Child* launcher, WindowSeen* menu) {
        return StartUpdate(launcher, menu) ? WaitForDataArcHalfWay(*launcher) : nullptr;
    }
};

// The end of an update of the large data.arc that succeeds: its closing box answered, the fresh
// menu seen, the launcher ended; the new game is installed whole and nothing of the update is left.
void ExpectTheNewGameWhole(Road& road, Child* launcher) {
    WindowSeen box, fresh;
    ASSERT_TRUE(WaitForDialogWithText(launcher->id, "アップデートを終了しました。", &box, 60000));
    PressButton(box.window, IDOK);
    ASSERT_TRUE(WaitForDialogWithText(launcher->id, "Road アップデート 1", &fresh));
    TerminateProcess(launcher->process, 0);
    WaitChild(launcher);
    EXPECT_EQ(ReadBytes(road.install.File("vorlin.exe")), "new game");
    EXPECT_EQ(FileSizeOf(road.install.File("data.arc")), 1ull << 30);
    EXPECT_EQ(TemporaryFilesIn(road.install.path), std::vector<std::string>{});
    EXPECT_EQ(road.Updated(), "1");
}

// The launcher killed while it drafts a large data.arc: the game is wholly the old one (the new
// executable was only a draft), and the next update removes the drafts it left and succeeds.
TEST(InterruptedUpdate, KilledLauncherLeavesWholeFilesAndTheNextUpdateSucceeds) {
    LargeRoad road;
    Child launcher;
    WindowSeen menu;
    ASSERT_NE(road.StartUpdateUntilDataArcHalfWay(&launcher, &menu), nullptr);
    TerminateProcess(launcher.process, 9);
    EXPECT_EQ(WaitChild(&launcher), 9u);

    EXPECT_EQ(ReadBytes(road.install.File("vorlin.exe")), "old game");
    EXPECT_EQ(ReadBytes(road.install.File("data.arc")), "old data");
    EXPECT_EQ(TemporaryFilesIn(road.install.path).size(), 3u)
        << "the executable's draft, the cut-off one and the killed launcher's install lock";
    EXPECT_EQ(road.Updated(), "");

    Child again;
    ASSERT_TRUE(road.StartUpdate(&again, &menu));
    ExpectTheNewGameWhole(road, &again);
}

// The launcher killed in the middle of its commit: the game's data.arc is held open by another
// program (without sharing its deletion) from the drafting on, so the commit has moved the new
// executable in and waits for data.arc when the launcher is killed. The install folder is then
// half new with the journal beside it; once the hold has ended, the next update undoes the
// interrupted commit, says so in one box, and installs the new game whole.
TEST(InterruptedUpdate, KilledInTheCommitIsUndoneByTheNextUpdate) {
    LargeRoad road;
    Child launcher;
    WindowSeen menu;
    ASSERT_NE(road.StartUpdateUntilDataArcHalfWay(&launcher, &menu), nullptr);
    HANDLE held = CreateFileA(road.install.File("data.arc").c_str(), GENERIC_READ,
                              FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    std::string journal = road.install.File("~vup-journal.txt");
    bool committing = false;
    for (DWORD start = GetTickCount(); !committing && GetTickCount() - start < 60000; Sleep(20)) {
        committing = GetFileAttributesA(journal.c_str()) != INVALID_FILE_ATTRIBUTES &&
                     ReadBytes(road.install.File("vorlin.exe")) == "new game";
    }
    ASSERT_TRUE(committing) << "the commit did not reach data.arc";
    TerminateProcess(launcher.process, 9);
    EXPECT_EQ(WaitChild(&launcher), 9u);
    CloseHandle(held);

    EXPECT_EQ(ReadBytes(road.install.File("vorlin.exe")), "new game");
    EXPECT_EQ(ReadBytes(road.install.File("data.arc")), "old data");
    EXPECT_NE(GetFileAttributesA(journal.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(road.Updated(), "");

    Child again;
    ASSERT_TRUE(road.StartUpdate(&again, &menu));
    WindowSeen box;
    ASSERT_TRUE(WaitForDialogWithText(
        again.id,
        "前回のアップデートが途中で中断されていたため、ゲームを更新前の状態に戻しました。\n"
        "このままアップデートを続けます。",
        &box));
    PressButton(box.window, IDOK);
    ExpectTheNewGameWhole(road, &again);
}

// A quit message met while data.arc is copied ends the launcher with its status; the temporary
// file goes with it and the old data.arc stays.
TEST(InterruptedUpdate, QuitMessageDuringACopyLeavesNoTemporaryFile) {
    LargeRoad road;
    Child launcher;
    WindowSeen menu;
    HWND copy = road.StartUpdateUntilDataArcHalfWay(&launcher, &menu);
    ASSERT_NE(copy, nullptr);
    PostThreadMessageA(GetWindowThreadProcessId(copy, NULL), WM_QUIT, 7, 0);
    EXPECT_EQ(WaitChild(&launcher), 7u);
    EXPECT_EQ(ReadBytes(road.install.File("data.arc")), "old data");
    EXPECT_EQ(TemporaryFilesIn(road.install.path), std::vector<std::string>{});
    EXPECT_EQ(road.Updated(), "");
}

// A refused update in the real launcher (the install folder has gone): once its box is answered,
// the menu is the foreground window again with the keyboard focus on the update button, so that
// Enter asks again.
TEST(UpdateRoad, AfterARefusedUpdateTheKeyboardReachesTheMenu) {
    Road road([](const std::string& path) { WriteBytes(path, "data"); });
    std::string missing = road.install.path + "\\gone";
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, road.keyPath.c_str(), 0, KEY_SET_VALUE, &key),
              ERROR_SUCCESS);
    RegSetValueExA(key, "InstTo", 0, REG_SZ, (const BYTE*)missing.c_str(),
                   (DWORD)missing.size() + 1);
    RegCloseKey(key);
    Child launcher;
    WindowSeen menu;
    ASSERT_TRUE(road.StartUpdate(&launcher, &menu));
    WindowSeen box;
    ASSERT_TRUE(WaitForDialogWithText(
        launcher.id,
        "インストール先フォルダ[" + missing +
            "]が見つかりません。\nゲームのインストール先を確認してください。",
        &box));
    PressButton(box.window, IDOK);
    GUITHREADINFO thread = {};
    thread.cbSize = sizeof thread;
    DWORD menuThread = GetWindowThreadProcessId(menu.window, NULL);
    HWND button = GetDlgItem(menu.window, 1002);
    bool ready = false;
    for (DWORD start = GetTickCount(); !ready && GetTickCount() - start < 10000; Sleep(20)) {
        ready = GetGUIThreadInfo(menuThread, &thread) && thread.hwndActive == menu.window &&
                thread.hwndFocus == button && IsWindowEnabled(button) &&
                GetForegroundWindow() == menu.window;
    }
    EXPECT_EQ(GetForegroundWindow(), menu.window);
    EXPECT_EQ(thread.hwndActive, menu.window);
    EXPECT_EQ(thread.hwndFocus, button);
    // Enter as the keyboard sends it: to the foreground window's focus.
    INPUT input[2] = {};
    input[0].type = input[1].type = INPUT_KEYBOARD;
    input[0].ki.wVk = input[1].ki.wVk = VK_RETURN;
    input[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, input, sizeof(INPUT));
    EXPECT_TRUE(WaitForDialogWithText(launcher.id, "アップデートを開始します。宜しいですか？", &box));
    TerminateProcess(launcher.process, 0);
    WaitChild(&launcher);
}

// A real key from the X server (xdotool, a Linux program that Wine starts like any other): it goes
// to the window that has the X input focus, not to the one Wine thinks is in front. Wine does not
// follow a Linux program to its end, so nothing tells when the key was sent.
void RunXdotool(const std::string& arguments) {
    Child xdotool = StartChild("/usr/bin/xdotool " + arguments, "");
    WaitChild(&xdotool, 5000);
}
void PressKeyOnTheXServer(const char* key) { RunXdotool(std::string("key ") + key); }
// A click of the mouse in the middle of a window, as the X server sends it.
void ClickOnTheXServer(HWND window) {
    RECT r;
    GetWindowRect(window, &r);
    RunXdotool("mousemove --sync " + std::to_string((r.left + r.right) / 2) + " " +
               std::to_string((r.top + r.bottom) / 2) + " click 1");
}

// After an update cancelled in its copy dialog, the player's next Enter, sent as real X input,
// reaches the menu's update button and asks again. In a loop, since the focus is lost or kept by
// the window manager's timing.
TEST(UpdateRoad, AfterACancelledCopyRealKeysReachTheMenu) {
    LargeRoad road;
    Child launcher;
    WindowSeen menu;
    ASSERT_TRUE(road.StartUpdate(&launcher, &menu));
    for (int round = 1; round <= 5; round++) {
        SCOPED_TRACE("round " + std::to_string(round));
        HWND copy = WaitForDataArcHalfWay(launcher);
        ASSERT_NE(copy, nullptr);
        ClickOnTheXServer(GetDlgItem(copy, IDCANCEL));
        WindowSeen box;
        ASSERT_TRUE(WaitForDialogWithText(launcher.id, "アップデートを中止しました", &box));
        ClickOnTheXServer(GetDlgItem(box.window, IDOK));
        ASSERT_TRUE(WaitForWindowGone(box.window, 5000));
        // Enter from the X server, sent again while the question does not show (the window
        // manager may take a moment to give the menu the focus); it must show within the
        // deadline. A key lost to the root window is lost for good.
        bool asked = false;
        int tries = 0;
        for (DWORD start = GetTickCount(); !asked && GetTickCount() - start < 12000;) {
            tries++;
            PressKeyOnTheXServer("Return");
            asked = WaitForDialogWithText(launcher.id, "アップデートを開始します。宜しいですか？",
                                          &box, 3000);
        }
        ASSERT_TRUE(asked) << "Enter on the keyboard reached nothing";
        printf("round %d: the question after %d Enter key(s)\n", round, tries);
        PressButton(box.window, IDYES);
    }
    TerminateProcess(launcher.process, 0);
    WaitChild(&launcher);
    EXPECT_EQ(ReadBytes(road.install.File("data.arc")), "old data");
}

}  // namespace
