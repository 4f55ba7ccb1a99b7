// The whole road of an update in the real launcher, driven as a user would: the menu, the
// question, the copy dialogs, the closing message, and the fresh menu that offers the re-update.
#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
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
        if (!WaitForDialogWithText(launcher->id, "アップデートを開始します。宜しいですか？",
                                   &box)) {
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
                    fresh.window != menu.window &&
                    DialogItemText(fresh.window, 1002) == "再アップデート";
    }
    ASSERT_TRUE(freshMenu);
    PostMessageA(fresh.window, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitChild(&launcher), 0u);

    EXPECT_EQ(ReadBytes(road.install.File("vorlin.exe")), "new game");
    EXPECT_EQ(ReadBytes(road.install.File("data.arc")).size(), 400000u);
    EXPECT_EQ(ReadBytes(road.install.File("update.txt")), "notes");
    EXPECT_EQ(ReadBytes(road.install.File("help\\index.htm")), "help");
    EXPECT_EQ(GetFileAttributesA(road.install.File("vorlin.exe").c_str()),
              (DWORD)FILE_ATTRIBUTE_ARCHIVE);
    EXPECT_EQ(road.Updated(), "1");
}

// A large data.arc (sparse, so quick to make) whose copy takes long enough to be cut off.
void MakeLargeDataArc(const std::string& path) {
    MakeSparseFile(path, 1ll << 30);
}

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

    // Starts an update and kills it in the middle of its commit: data.arc is held open by another
    // program (without sharing its deletion) from the drafting on, so the commit has moved the new
    // executable in and waits for data.arc when the launcher is killed; then the hold ends.
    bool KillInTheCommit(Child* launcher, WindowSeen* menu) {
        if (!StartUpdateUntilDataArcHalfWay(launcher, menu)) return false;
        HANDLE held = CreateFileA(install.File("data.arc").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                  NULL, OPEN_EXISTING, 0, NULL);
        if (held == INVALID_HANDLE_VALUE) return false;
        std::string journal = install.File("~vup-journal.txt");
        bool committing = false;
        for (DWORD start = GetTickCount(); !committing && GetTickCount() - start < 60000;
             Sleep(20)) {
            committing = GetFileAttributesA(journal.c_str()) != INVALID_FILE_ATTRIBUTES &&
                         ReadBytes(install.File("vorlin.exe")) == "new game";
        }
        TerminateProcess(launcher->process, 9);
        bool killed = WaitChild(launcher) == 9u;
        CloseHandle(held);
        EXPECT_TRUE(committing) << "the commit did not reach data.arc";
        return committing && killed;
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
    EXPECT_EQ(TemporaryFilesIn(road.install.path).size(), 4u)
        << "the executable's draft, the cut-off one, the killed launcher's install lock and the "
           "journal that names the help folder the update made";
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
    ASSERT_TRUE(road.KillInTheCommit(&launcher, &menu));
    std::string journal = road.install.File("~vup-journal.txt");

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

// Presses OK in the box that shows `text`, within `timeoutMs`.
bool AnswerBox(const Child& launcher, const std::string& text, int timeoutMs = 30000) {
    WindowSeen box;
    if (!WaitForDialogWithText(launcher.id, text, &box, timeoutMs)) return false;
    PressButton(box.window, IDOK);
    return true;
}

const char kDone[] = "アップデートを終了しました。";
const char kRecovered[] =
    "前回のアップデートが途中で中断されていたため、ゲームを更新前の状態に戻しました。\n"
    "このままアップデートを続けます。";

// A road whose small update ends at once: the media's data.arc replaces an old one.
struct SmallRoad : Road {
    SmallRoad() : Road([](const std::string& path) { WriteBytes(path, "new data"); }) {
        WriteBytes(install.File("data.arc"), "old data");
    }
    // The closing box of a whole update answered and the launcher ended; the new game in place.
    void ExpectDone(Child* launcher) {
        EXPECT_TRUE(AnswerBox(*launcher, kDone));
        TerminateProcess(launcher->process, 0);
        WaitChild(launcher);
        EXPECT_EQ(ReadBytes(install.File("vorlin.exe")), "new game");
        EXPECT_EQ(ReadBytes(install.File("data.arc")), "new data");
        EXPECT_EQ(ReadBytes(install.File("help\\index.htm")), "help");
        EXPECT_EQ(Updated(), "1");
    }
};

// A side file an earlier update left (the backup name an earlier launcher gave data.arc), held
// open by another program through the whole update: it is never taken for this update's own, the
// player is told it was left, and the update installs the new game.
TEST(UpdateGuards, StaleSideFileHeldOpenIsLeftAndTold) {
    SmallRoad road;
    std::string stale = road.install.File("~vup00000001.old");
    WriteBytes(stale, "STALE1");
    HANDLE held =
        CreateFileA(stale.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    Child launcher;
    WindowSeen menu;
    ASSERT_TRUE(road.StartUpdate(&launcher, &menu));
    EXPECT_TRUE(
        AnswerBox(launcher, "前回のアップデートの一時ファイル[" + stale +
                                "]を削除できませんでした。\nほかのプログラムが使用している可能性が"
                                "あります。このファイルはアップデートには使われません。\nこのまま"
                                "アップデートを続けます。"));
    road.ExpectDone(&launcher);
    CloseHandle(held);
    EXPECT_EQ(ReadBytes(stale), "STALE1");
}

// An interrupted commit whose journal cannot be read (of a later launcher, say) beside a backup:
// the update stops and says so, and nothing in the install folder is deleted or changed.
TEST(UpdateGuards, UnreadableJournalBesideABackupDeletesNothing) {
    SmallRoad road;
    WriteBytes(road.install.File("vorlin.exe"), "new game");
    WriteBytes(road.install.File("~vup00000000.old"), "old game");
    std::string journal = road.install.File("~vup-journal.txt");
    WriteBytes(journal, "VORLIN-JOURNAL 9\nwhat a later launcher writes\n");
    std::vector<std::string> before = ListFolder(road.install.path);
    Child launcher;
    WindowSeen menu;
    ASSERT_TRUE(road.StartUpdate(&launcher, &menu));
    EXPECT_TRUE(AnswerBox(launcher, "前回中断されたアップデートの記録[" + journal +
                                        "]が読み取れないため、ゲームのファイルが不完全な可能性が"
                                        "あります。\nゲームを再インストールしてから、もう一度"
                                        "アップデートを実行してください。"));
    TerminateProcess(launcher.process, 0);
    WaitChild(&launcher);
    EXPECT_EQ(ListFolder(road.install.path), before);
    EXPECT_EQ(ReadBytes(road.install.File("~vup00000000.old")), "old game");
    EXPECT_EQ(ReadBytes(road.install.File("data.arc")), "old data");
    EXPECT_EQ(road.Updated(), "");
}

// Two launchers of different titles (so the guard against a second launcher of one title lets
// both run) on one install folder: the second is refused before it touches anything while the
// first drafts, and the first installs its own files whole.
TEST(UpdateGuards, SecondLauncherOnTheSameFolderIsRefused) {
    LargeRoad road;
    ScratchDir other;
    WriteBytes(other.File("vorlin.env"), "TITLEBAR Other\r\nVERSION 1\r\nREG_GLOBAL " +
                                             road.regGlobal + "\r\nREG_LOCAL Game\r\n");
    WriteBytes(other.File("update.rct"), TinyPicture());
    WriteBytes(other.File("vorlin.bin"), "other game");
    WriteBytes(other.File("data.arc"), "other data");
    Child first;
    WindowSeen menu;
    ASSERT_NE(road.StartUpdateUntilDataArcHalfWay(&first, &menu), nullptr);
    Child second = StartChild("\"" + WindowsPath(VORLIN_UPDATE_EXE) + "\"", other.path);
    WindowSeen otherMenu, box;
    ASSERT_TRUE(WaitForDialog(second.id, "Other アップデート 1", &otherMenu));
    PressButton(otherMenu.window, 1002);
    ASSERT_TRUE(WaitForDialogWithText(second.id, "アップデートを開始します。宜しいですか？", &box));
    PressButton(box.window, IDYES);
    EXPECT_TRUE(AnswerBox(second, "インストール先フォルダ[" + road.install.path +
                                      "]では、別のアップデートを実行中です。\nそのアップデートが"
                                      "終わってから、もう一度アップデートを実行してください。"));
    TerminateProcess(second.process, 0);
    WaitChild(&second);
    ExpectTheNewGameWhole(road, &first);
}

// A scanner that opens every new file in the install folder for a moment, with read, read-write
// or read-write-delete sharing in turn: each update still installs the new game whole.
TEST(UpdateGuards, ScannerOpeningEveryNewFileForAMomentBreaksNothing) {
    SmallRoad road;
    std::atomic<bool> stop(false);
    std::mutex reading;  // held by the scanner while it has a file open
    int opened = 0;
    std::thread scanner([&] {
        const DWORD shares[] = {FILE_SHARE_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE};
        std::set<std::string> seen;
        while (!stop) {
            for (const char* folder : {"", "help\\"}) {
                WIN32_FIND_DATAA found;
                std::string pattern = road.install.path + "\\" + folder + "*";
                HANDLE search = FindFirstFileA(pattern.c_str(), &found);
                if (search == INVALID_HANDLE_VALUE) continue;
                do {
                    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
                    // A file is new when its name, size or creation time is.
                    std::string path = road.install.path + "\\" + folder + found.cFileName;
                    std::string key = path + "|" + std::to_string(found.nFileSizeLow) + "|" +
                                      std::to_string(found.ftCreationTime.dwLowDateTime);
                    if (!seen.insert(key).second) continue;
                    std::lock_guard<std::mutex> hold(reading);
                    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, shares[opened % 3], NULL,
                                           OPEN_EXISTING, 0, NULL);
                    if (h == INVALID_HANDLE_VALUE) continue;
                    opened++;
                    Sleep(100);  // the scanner's own pace: it reads the file, holding it open
                    CloseHandle(h);
                } while (FindNextFileA(search, &found));
                FindClose(search);
            }
            Sleep(5);  // and looks at the folders again, as a scanner does
        }
    });
    for (int round = 1; round <= 3; round++) {
        SCOPED_TRACE("update " + std::to_string(round));
        Child launcher;
        WindowSeen menu;
        ASSERT_TRUE(road.StartUpdate(&launcher, &menu));
        road.ExpectDone(&launcher);
        // A side file the update deleted while the scanner had it open (sharing its deletion)
        // keeps its name until the scanner lets go.
        std::vector<std::string> left = TemporaryFilesIn(road.install.path);
        for (DWORD start = GetTickCount(); !left.empty() && GetTickCount() - start < 5000;
             Sleep(20)) {
            left = TemporaryFilesIn(road.install.path);
        }
        EXPECT_EQ(left, std::vector<std::string>{});
        // The old game again for the next round, while the scanner has no file open.
        std::lock_guard<std::mutex> hold(reading);
        WriteBytes(road.install.File("vorlin.exe"), "old game");
        WriteBytes(road.install.File("data.arc"), "old data");
        HKEY key;
        ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, road.keyPath.c_str(), 0, KEY_SET_VALUE, &key),
                  ERROR_SUCCESS);
        RegDeleteValueA(key, "Updated");
        RegCloseKey(key);
    }
    stop = true;
    scanner.join();
    EXPECT_GT(opened, 6) << "the scanner opened too little to matter";
}

// The update that undoes an interrupted commit is itself killed in the middle of that undo (held
// up on the new executable, which another program has open): the third update still undoes what
// is left, says so, and installs the new game whole.
TEST(UpdateGuards, KilledDuringTheRecoveryIsRecoveredByTheNextUpdate) {
    LargeRoad road;
    Child launcher;
    WindowSeen menu;
    ASSERT_TRUE(road.KillInTheCommit(&launcher, &menu));
    std::string journal = road.install.File("~vup-journal.txt");

    // The recovery removes the drafts, then waits to move the old executable back.
    HANDLE exe = CreateFileA(road.install.File("vorlin.exe").c_str(), GENERIC_READ, FILE_SHARE_READ,
                             NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(exe, INVALID_HANDLE_VALUE);
    Child recovering;
    ASSERT_TRUE(road.StartUpdate(&recovering, &menu));
    bool draftsGone = false;
    for (DWORD start = GetTickCount(); !draftsGone && GetTickCount() - start < 30000; Sleep(10)) {
        draftsGone = true;
        for (const std::string& name : TemporaryFilesIn(road.install.path)) {
            if (name.size() > 4 && name.compare(name.size() - 4, 4, ".new") == 0) {
                draftsGone = false;
            }
        }
    }
    ASSERT_TRUE(draftsGone) << "the recovery did not begin";
    TerminateProcess(recovering.process, 9);
    WaitChild(&recovering);
    CloseHandle(exe);
    EXPECT_NE(GetFileAttributesA(journal.c_str()), INVALID_FILE_ATTRIBUTES);

    Child again;
    ASSERT_TRUE(road.StartUpdate(&again, &menu));
    EXPECT_TRUE(AnswerBox(again, kRecovered));
    ExpectTheNewGameWhole(road, &again);
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
    ASSERT_TRUE(
        WaitForDialogWithText(launcher.id,
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
    EXPECT_TRUE(
        WaitForDialogWithText(launcher.id, "アップデートを開始します。宜しいですか？", &box));
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
void PressKeyOnTheXServer(const char* key) {
    RunXdotool(std::string("key ") + key);
}
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
