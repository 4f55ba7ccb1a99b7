// The whole road of an update in the real launcher, driven as a user would: the menu, the
// question, the copy dialogs, the closing message, and the fresh menu that offers the re-update.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "tests/app/tiny_picture.h"
#include "tests/support/win_support.h"

namespace {


TEST(UpdateRoad, FromTheClickToTheFreshMenu) {
    ScratchDir media, install;
    std::string regGlobal = "VorlinRoadTest" + std::to_string(GetCurrentProcessId());
    WriteBytes(media.File("vorlin.env"), "TITLEBAR Road\r\nVERSION 1\r\nREG_GLOBAL " + regGlobal +
                                             "\r\nREG_LOCAL Game\r\nUPDATEREADME news.txt\r\n");
    WriteBytes(media.File("update.rct"), TinyPicture());
    WriteBytes(media.File("vorlin.bin"), "new game");
    WriteBytes(media.File("data.arc"), std::string(400000, 'd'));
    WriteBytes(media.File("update.txt"), "notes");
    CreateDirectoryA(media.File("help").c_str(), NULL);
    WriteBytes(media.File("help\\index.htm"), "help");
    WriteBytes(install.File("vorlin.exe"), "old game");
    HKEY key;
    std::string path = "Software\\" + regGlobal + "\\Game";
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL,
                              &key, NULL),
              ERROR_SUCCESS);
    RegSetValueExA(key, "IsInst", 0, REG_SZ, (const BYTE*)"1", 2);
    RegSetValueExA(key, "InstTo", 0, REG_SZ, (const BYTE*)install.path.c_str(),
                   (DWORD)install.path.size() + 1);
    RegCloseKey(key);

    Child launcher = StartChild("\"" + WindowsPath(VORLIN_UPDATE_EXE) + "\"", media.path);
    WindowSeen menu;
    ASSERT_TRUE(WaitForDialog(launcher.id, "Road アップデート 1", &menu));
    EXPECT_EQ(DialogItemText(menu.window, 1002), "アップデート");
    PressButton(menu.window, 1002);

    WindowSeen box;
    ASSERT_TRUE(WaitForDialogWithText(launcher.id, "アップデートを開始します。宜しいですか？", &box));
    EXPECT_EQ(box.owner, menu.window);
    EXPECT_EQ(box.caption, "Road アップデート 1");
    PressButton(box.window, IDYES);
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

    EXPECT_EQ(ReadBytes(install.File("vorlin.exe")), "new game");
    EXPECT_EQ(ReadBytes(install.File("data.arc")).size(), 400000u);
    EXPECT_EQ(ReadBytes(install.File("update.txt")), "notes");
    EXPECT_EQ(ReadBytes(install.File("help\\index.htm")), "help");
    EXPECT_EQ(GetFileAttributesA(install.File("vorlin.exe").c_str()), (DWORD)FILE_ATTRIBUTE_ARCHIVE);
    char updated[16] = "";
    HKEY read;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &read), ERROR_SUCCESS);
    DWORD type = 0, length = sizeof updated;
    RegQueryValueExA(read, "Updated", NULL, &type, (BYTE*)updated, &length);
    RegCloseKey(read);
    EXPECT_EQ(type, (DWORD)REG_SZ);
    EXPECT_STREQ(updated, "1");
    RegDeleteTreeA(HKEY_CURRENT_USER, ("Software\\" + regGlobal).c_str());
}

}  // namespace
