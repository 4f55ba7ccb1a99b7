// The main menu dialog run in this process from the launcher's own template: the install-state
// refusal, the button labels, commands, the picture and its placement, the readme.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "app/menu_dialog.h"
#include "image/rct_encode.h"
#include "image/surface.h"
#include "settings/env_settings.h"
#include "tests/image/rct_test_util.h"
#include "tests/support/win_support.h"
#include "ui/message_box.h"

namespace {

const char kTitle[] = "メニュー試験 アップデート 2.0";

class Menu : public ::testing::Test {
protected:
    ScratchDir media;
    InFolder inMedia{media.path};
    std::string regGlobal = "VorlinMenuTest" + std::to_string(GetCurrentProcessId());

    void SetUp() override {}
    void TearDown() override {
        RegDeleteTreeA(HKEY_CURRENT_USER, ("Software\\" + regGlobal).c_str());
        FreeEnvironmentSettings();
    }
    // Settings file with the test's registry key; `extra` adds lines.
    void LoadSettings(const std::string& extra) {
        WriteBytes(media.File("vorlin.env"), "TITLEBAR メニュー試験\r\nVERSION 2.0\r\nREG_GLOBAL " +
                                                 regGlobal + "\r\nREG_LOCAL Game\r\n" + extra);
        ForgetRegistryKeyNames();  // each test names its own registry key
        LoadEnvironmentSettings("vorlin.env");
    }
    void SetRegistry(const char* name, const char* text) {
        HKEY key;
        RegCreateKeyExA(HKEY_CURRENT_USER, ("Software\\" + regGlobal + "\\Game").c_str(), 0, NULL,
                        0, KEY_ALL_ACCESS, NULL, &key, NULL);
        RegSetValueExA(key, name, 0, REG_SZ, (const BYTE*)text, (DWORD)strlen(text) + 1);
        RegCloseKey(key);
    }
    void WritePicture(const Picture& picture) {
        std::vector<uint8_t> stream, file;
        ASSERT_EQ(RctCompress(picture.bgr.data(), picture.width, picture.height, kRctParseOptimal,
                              &stream),
                  kRctOk);
        ASSERT_EQ(RctBuildFile(kRctTC00, picture.width, picture.height, nullptr, 0, stream, &file),
                  kRctOk);
        WriteBytes(media.File("update.rct"), std::string(file.begin(), file.end()));
    }
    // Shows the menu; `onMenu` runs on a second thread once the menu is visible and must end it.
    INT_PTR RunMenu(const std::function<void(HWND)>& onMenu) {
        INT_PTR result = -2;
        WindowSeen seen;
        DriveDialogWith(
            [&] {
                result =
                    DialogBoxParamA(GetModuleHandleA(NULL), "MAINDIALOG", NULL, MenuDialogProc, 0);
            },
            [&](const WindowSeen& s) { onMenu(s.window); }, &seen);
        return result;
    }
};

std::string ItemText(HWND dialog, int id) {
    return DialogItemText(dialog, id);
}

// Sends a message to the menu from the driving thread: true once the menu's thread has handled it.
bool SendToMenu(HWND menu, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR answer = 0;
    return SendMessageTimeoutA(menu, message, wParam, lParam, SMTO_NORMAL, 10000, &answer) != 0;
}

// Polls `condition` until it holds or 10 seconds pass; returns its last value.
bool WaitFor(const std::function<bool()>& condition) {
    DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > 10000) return false;
        Sleep(20);
    }
    return true;
}

TEST(MenuLayout, PictureOriginComesFromTheClientHeight) {
    struct Case {
        const char* name;
        int clientHeight, width, height, x, y;
    };
    const Case cases[] = {
        {"square picture fills the square", 300, 300, 300, 0, 0},
        {"smaller picture is centred", 300, 201, 101, 49, 99},
        {"larger picture truncates toward zero", 300, 301, 303, 0, -1},
        {"much larger picture", 300, 500, 320, -100, -10},
    };
    for (const Case& c : cases) {
        int x = 7, y = 7;
        ComputePictureOrigin(c.clientHeight, c.width, c.height, &x, &y);
        EXPECT_EQ(x, c.x) << c.name;
        EXPECT_EQ(y, c.y) << c.name;
    }
}

TEST_F(Menu, NotInstalledIsRefusedWithoutShowingTheMenu) {
    LoadSettings("");  // UPDATENEEDINSTALL absent: 1
    INT_PTR result = -2;
    WindowSeen box;
    DriveDialog(
        [&] {
            result = DialogBoxParamA(GetModuleHandleA(NULL), "MAINDIALOG", NULL, MenuDialogProc, 0);
        },
        IDOK, &box);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(box.text, "「メニュー試験」をインストールしてから実行してください");
    EXPECT_EQ(box.caption, kTitle);
    EXPECT_NE(box.owner, nullptr);
    EXPECT_EQ(GetOwnerWindow(), box.owner);
    EXPECT_EQ(GetLiveSurfaces(), nullptr) << "no picture is loaded on this path";
}

TEST_F(Menu, ButtonLabelsFollowTheInstallState) {
    struct Case {
        const char* name;
        const char* isInst;  // null: absent
        const char* updated;
        const char* extraSettings;
        const char* label;
    };
    const Case cases[] = {
        {"installed, not updated", "1", nullptr, "", "アップデート"},
        {"installed and updated", "1", "1", "", "再アップデート"},
        {"updated 0", "1", "0", "", "アップデート"},
        {"no installation needed", nullptr, nullptr, "UPDATENEEDINSTALL 0\r\n", "アップデート"},
        {"updated text 2", "1", "2", "", "再アップデート"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RegDeleteTreeA(HKEY_CURRENT_USER, ("Software\\" + regGlobal).c_str());
        if (c.isInst) SetRegistry("IsInst", c.isInst);
        if (c.updated) SetRegistry("Updated", c.updated);
        FreeEnvironmentSettings();
        LoadSettings(c.extraSettings);
        WritePicture(MakePicture("gradient", 40, 30, 1));
        std::string labels[3];
        bool unusedGone = true;
        std::string caption;
        INT_PTR result = RunMenu([&](HWND menu) {
            for (int i = 0; i < 3; i++) labels[i] = ItemText(menu, 1000 + i);
            for (int id = 1003; id <= 1007; id++) unusedGone &= GetDlgItem(menu, id) == NULL;
            char text[256];
            GetWindowTextA(menu, text, sizeof text);
            caption = text;
            PostMessageA(menu, WM_CLOSE, 0, 0);
        });
        EXPECT_EQ(result, 0);
        EXPECT_EQ(labels[2], c.label);
        EXPECT_EQ(labels[1], "readme");
        EXPECT_EQ(labels[0], "終了");
        EXPECT_TRUE(unusedGone);
        EXPECT_EQ(caption, kTitle);
        EXPECT_EQ(GetLiveSurfaces(), nullptr) << "the picture is released";
    }
}

TEST_F(Menu, EnterAndEscapeAreIgnoredAndTheExitButtonEndsWithZero) {
    SetRegistry("IsInst", "1");
    LoadSettings("");
    WritePicture(MakePicture("flat", 10, 10, 1));
    bool openAfterKeys = false;
    INT_PTR result = RunMenu([&](HWND menu) {
        // Sent, not posted: each returns once the menu has handled it.
        SendToMenu(menu, WM_COMMAND, IDCANCEL, 0);
        SendToMenu(menu, WM_COMMAND, IDOK, 0);
        SendToMenu(menu, WM_COMMAND, 1234, 0);
        openAfterKeys = IsWindowVisible(menu) != FALSE;
        PressButton(menu, 1000);
    });
    EXPECT_TRUE(openAfterKeys);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(GetLiveSurfaces(), nullptr);
}

TEST_F(Menu, ADeclinedUpdateLeavesTheMenuAsItWas) {
    SetRegistry("IsInst", "1");
    SetRegistry("InstTo", "C:\\nowhere");
    LoadSettings("");
    WritePicture(MakePicture("flat", 10, 10, 1));
    std::string labelAfter;
    bool enabledAfter = false, questionSeen = false, disabledDuring = false, openAfter = false;
    bool commandsReturned = false;
    INT_PTR result = RunMenu([&](HWND menu) {
        PressButton(menu, 1002);
        // The update asks first; No declines it.
        WindowSeen question;
        if (WaitForDialogWithText(GetCurrentProcessId(), "アップデートを開始します。宜しいですか？",
                                  &question)) {
            {
                questionSeen = true;
                // While the update runs, the menu's buttons are disabled.
                disabledDuring = !IsWindowEnabled(GetDlgItem(menu, 1002));
                // Commands that reach the menu meanwhile are ignored: no exit, no second update
                // (a second question would keep a sent command from returning).
                commandsReturned = SendToMenu(menu, WM_COMMAND, 1000, 0) &&
                                   SendToMenu(menu, WM_COMMAND, 1002, 0) &&
                                   SendToMenu(menu, WM_CLOSE, 0, 0);
                PressButton(question.window, IDNO);
            }
        }
        // The update has returned once the menu enables its buttons again.
        WaitFor([&] { return IsWindowEnabled(GetDlgItem(menu, 1002)) != FALSE; });
        // Under Wine the menu hides and shows itself once more after its buttons come back (so
        // that the window manager gives it the keyboard): it is open once it is visible again.
        openAfter = WaitFor([&] { return IsWindowVisible(menu) != FALSE; });
        labelAfter = ItemText(menu, 1002);
        enabledAfter = IsWindowEnabled(GetDlgItem(menu, 1002)) != FALSE;
        PostMessageA(menu, WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(questionSeen);
    EXPECT_TRUE(disabledDuring);
    EXPECT_TRUE(commandsReturned);
    EXPECT_TRUE(openAfter);
    EXPECT_EQ(labelAfter, "アップデート");
    EXPECT_TRUE(enabledAfter);
}

// Presses and releases a key as the keyboard would: it goes to the active window's focus.
void TypeKey(WORD key) {
    INPUT input[2] = {};
    input[0].type = input[1].type = INPUT_KEYBOARD;
    input[0].ki.wVk = input[1].ki.wVk = key;
    input[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, input, sizeof(INPUT));
}

// After an update that was declined or refused (the copy dialog came and went), the menu is
// active again with the keyboard focus on the update button: Enter asks again.
TEST_F(Menu, AfterAStoppedUpdateEnterAsksAgain) {
    const char* question = "アップデートを開始します。宜しいですか？";
    struct Case {
        const char* name;
        int answer;           // to the question
        const char* refusal;  // the box that follows, answered with OK (null: none)
    };
    const Case cases[] = {
        {"declined", IDNO, nullptr},
        {"refused before the first byte", IDYES,
         "インストール先フォルダ[C:\\nowhere]"
         "が見つかりません。\nゲームのインストール先を確認してください。"},
    };
    SetRegistry("IsInst", "1");
    SetRegistry("InstTo", "C:\\nowhere");
    LoadSettings("");
    WritePicture(MakePicture("flat", 10, 10, 1));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        bool refused = false, active = false, focused = false, foreground = false,
             askedAgain = false;
        RunMenu([&](HWND menu) {
            PressButton(menu, 1002);
            WindowSeen box;
            if (!WaitForDialogWithText(GetCurrentProcessId(), question, &box)) return;
            PressButton(box.window, c.answer);
            if (c.refusal) {
                refused = WaitForDialogWithText(GetCurrentProcessId(), c.refusal, &box);
                if (refused) PressButton(box.window, IDOK);
            }
            WaitFor([&] { return IsWindowEnabled(GetDlgItem(menu, 1002)) != FALSE; });
            GUITHREADINFO thread = {};
            thread.cbSize = sizeof thread;
            // The key goes to the foreground window's focus: the menu must be in front as well,
            // which the window manager may grant a moment after the box is gone.
            WaitFor([&] {
                GetGUIThreadInfo(GetWindowThreadProcessId(menu, NULL), &thread);
                return thread.hwndActive == menu && thread.hwndFocus == GetDlgItem(menu, 1002) &&
                       GetForegroundWindow() == menu;
            });
            active = thread.hwndActive == menu;
            focused = thread.hwndFocus == GetDlgItem(menu, 1002);
            foreground = GetForegroundWindow() == menu;
            TypeKey(VK_RETURN);
            askedAgain = WaitForDialogWithText(GetCurrentProcessId(), question, &box);
            if (askedAgain) PressButton(box.window, IDNO);
            WaitFor([&] { return IsWindowEnabled(GetDlgItem(menu, 1002)) != FALSE; });
            PostMessageA(menu, WM_CLOSE, 0, 0);
        });
        EXPECT_EQ(refused, c.refusal != nullptr);
        EXPECT_TRUE(active);
        EXPECT_TRUE(focused);
        EXPECT_TRUE(foreground);
        EXPECT_TRUE(askedAgain);
    }
}

// Copies the menu's client area into a top-down 24-bit buffer.
std::vector<uint8_t> CaptureClient(HWND window, int* width, int* height) {
    RECT client;
    GetClientRect(window, &client);
    *width = client.right;
    *height = client.bottom;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = *width;
    info.bmiHeader.biHeight = -*height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    HDC windowDc = GetDC(window);
    HDC memoryDc = CreateCompatibleDC(windowDc);
    HBITMAP bitmap = CreateDIBSection(windowDc, &info, DIB_RGB_COLORS, &bits, NULL, 0);
    HGDIOBJ old = SelectObject(memoryDc, bitmap);
    BitBlt(memoryDc, 0, 0, *width, *height, windowDc, 0, 0, SRCCOPY);
    GdiFlush();
    int stride = (*width * 3 + 3) / 4 * 4;
    std::vector<uint8_t> pixels((size_t)stride * *height);
    memcpy(pixels.data(), bits, pixels.size());
    SelectObject(memoryDc, old);
    DeleteObject(bitmap);
    DeleteDC(memoryDc);
    ReleaseDC(window, windowDc);
    return pixels;
}

// The client area shows the picture 1:1 at the origin computed from the client height.
TEST_F(Menu, PictureIsPaintedAtItsOrigin) {
    SetRegistry("IsInst", "1");
    LoadSettings("");
    struct Case {
        const char* name;
        int width, height;
    };
    const Case cases[] = {{"smaller than the square", 120, 80},
                          {"larger than the square", 360, 330}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Picture picture = MakePicture("noise", c.width, c.height, 5);
        WritePicture(picture);
        int mismatches = -1, compared = 0, clientHeight = 0;
        RunMenu([&](HWND menu) {
            // The screen shows the picture once the menu has painted: compare until it matches
            // or the deadline passes, and report the last comparison.
            WaitFor([&] {
                RedrawWindow(menu, NULL, NULL, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
                SendToMenu(menu, WM_NULL, 0, 0);
                int w, h;
                std::vector<uint8_t> shot = CaptureClient(menu, &w, &h);
                clientHeight = h;
                int x0, y0;
                ComputePictureOrigin(h, c.width, c.height, &x0, &y0);
                int stride = (w * 3 + 3) / 4 * 4;
                mismatches = 0;
                compared = 0;
                // Compare the part of the picture left of the buttons (they cover x >= ~230 px).
                for (int y = 0; y < c.height; y++) {
                    for (int x = 0; x < c.width; x++) {
                        int sx = x0 + x, sy = y0 + y;
                        if (sx < 0 || sy < 0 || sx >= 200 || sy >= h) continue;
                        const uint8_t* a = &shot[(size_t)sy * stride + sx * 3];
                        const uint8_t* b = &picture.bgr[((size_t)y * c.width + x) * 3];
                        compared++;
                        if (a[0] != b[0] || a[1] != b[1] || a[2] != b[2]) mismatches++;
                    }
                }
                return mismatches == 0;
            });
            PostMessageA(menu, WM_CLOSE, 0, 0);
        });
        EXPECT_GT(clientHeight, 200);
        EXPECT_GT(compared, 5000);
        EXPECT_EQ(mismatches, 0);
    }
}

TEST_F(Menu, WithoutAPictureTheMenuStillWorks) {
    SetRegistry("IsInst", "1");
    LoadSettings("");
    WriteBytes(media.File("update.rct"), "BM not an RCT picture at all");
    std::string label;
    INT_PTR result = RunMenu([&](HWND menu) {
        RedrawWindow(menu, NULL, NULL, RDW_INVALIDATE | RDW_UPDATENOW);
        SendToMenu(menu, WM_NULL, 0, 0);
        label = ItemText(menu, 1002);
        PressButton(menu, 1000);
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(label, "アップデート");
}

// The readme opens through the shell: "update.txt" before an update, UPDATEREADME after. The
// document types are routed to a probe program that records what it was asked to open.
class Readme : public Menu {
protected:
    std::string log;
    std::string savedTxtType;

    // Wine's classes root is the machine's (HKCU\Software\Classes does not take part), so the
    // test changes it and puts the .txt type back afterwards.
    void SetUp() override {
        Menu::SetUp();
        log = media.File("opened.log");
        char type[256] = "";
        LONG size = sizeof type;
        if (RegQueryValueA(HKEY_CLASSES_ROOT, ".txt", type, &size) == ERROR_SUCCESS) {
            savedTxtType = type;
        }
        std::string command = "\"" + WindowsPath(VORLIN_OPEN_PROBE) + "\" \"" + log + "\" \"%1\"";
        RegSetValueA(HKEY_CLASSES_ROOT, "VorlinTestDocument\\shell\\open\\command", REG_SZ,
                     command.c_str(), 0);
        RegSetValueA(HKEY_CLASSES_ROOT, ".txt", REG_SZ, "VorlinTestDocument", 0);
        RegSetValueA(HKEY_CLASSES_ROOT, ".vorlindoc", REG_SZ, "VorlinTestDocument", 0);
    }
    void TearDown() override {
        if (savedTxtType.empty()) {
            RegDeleteTreeA(HKEY_CLASSES_ROOT, ".txt");
        } else {
            RegSetValueA(HKEY_CLASSES_ROOT, ".txt", REG_SZ, savedTxtType.c_str(), 0);
        }
        RegDeleteTreeA(HKEY_CLASSES_ROOT, ".vorlindoc");
        RegDeleteTreeA(HKEY_CLASSES_ROOT, "VorlinTestDocument");
        Menu::TearDown();
    }
    std::string WaitForLog() {
        for (int i = 0; i < 100; i++) {
            std::string text = ReadBytes(log);
            if (!text.empty()) return text;
            Sleep(50);
        }
        return "";
    }
};

TEST_F(Readme, OpensTheDocumentForTheInstallState) {
    struct Case {
        const char* name;
        const char* updated;
        const char* expectedFile;
    };
    const Case cases[] = {
        {"before an update", "0", "update.txt"},
        {"after an update", "1", "news.vorlindoc"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileA(log.c_str());
        SetRegistry("IsInst", "1");
        SetRegistry("Updated", c.updated);
        FreeEnvironmentSettings();
        LoadSettings("UPDATEREADME news.vorlindoc\r\n");
        WriteBytes(media.File("update.txt"), "readme");
        WriteBytes(media.File("news.vorlindoc"), "news");
        WritePicture(MakePicture("flat", 8, 8, 1));
        std::string opened;
        bool stillOpen = false;
        RunMenu([&](HWND menu) {
            PressButton(menu, 1001);
            opened = WaitForLog();
            stillOpen = IsWindowVisible(menu) != FALSE;
            PostMessageA(menu, WM_CLOSE, 0, 0);
        });
        EXPECT_TRUE(stillOpen);
        // The shell passes the document's full path; it lies in the media folder.
        EXPECT_NE(opened.find(c.expectedFile), std::string::npos) << opened;
    }
}

}  // namespace
