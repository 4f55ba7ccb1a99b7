// The install folder: the path helpers as tables, the real SETUP dialog from the launcher's own
// template (driven from a second thread while this one runs ChooseInstallFolder), the real shell
// folder browser, and CreateFolderChain on real folders.
#include "update/windows/install_folder.h"

#include <gtest/gtest.h>
#include <commctrl.h>
#include <shlobj.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "settings/env_settings.h"
#include "tests/support/win_support.h"
#include "ui/message_box.h"
#include "update/windows/win32_file_system.h"

namespace {

// The launcher's own file system, which CreateFolderChain makes the folders through.
const UpdateFileSystem* Win32Fs() {
    static Win32FileSystem fs;
    InitWin32FileSystem(&fs, "", "");
    return &fs.table;
}

const char kSetupCaption[] = "インストール先のフォルダの指定";
const char kOwnerTitle[] = "フォルダ試験 アップデート 1.0";
const char kNetworkMessage[] =
    "ネットワークドライブには対応していません。\nローカルドライブを選択して下さい。";
const char kRootMessage[] = "ルートにはインストールできません";
const char kBrowseTitle[] = "フォルダを作成する場所を選択してください";
const char kDefaultFolder[] = "C:\\Program Files\\VORLIN_APP";

// 表 in code page 932: its trail byte is the code of the backslash.
const std::string kHyo = "\x95\x5C";

std::string Repeat(const std::string& text, int count) {
    std::string result;
    for (int i = 0; i < count; i++) result += text;
    return result;
}

std::string CurrentDirectory() {
    char path[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof path, path);
    return path;
}

bool IsDirectory(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string LastName(const std::string& path) {
    return path.substr(path.rfind('\\') + 1);
}

std::string ItemText(HWND dialog, int id) {
    return DialogItemText(dialog, id);
}

// ---------------------------------------------------------------------------------------------
// Path helpers

TEST(InstallFolderPaths, IsLeadByteFollowsTheShiftJisTable) {
    struct Case {
        unsigned char byte;
        int expected;
    };
    const Case cases[] = {
        {0x00, 0}, {0x5C, 0}, {0x7F, 0}, {0x80, 0}, {0x81, 1}, {0x95, 1}, {0x9F, 1}, {0xA0, 0},
        {0xB1, 0}, {0xDF, 0}, {0xE0, 1}, {0xEA, 1}, {0xFC, 1}, {0xFD, 0}, {0xFF, 0},
    };
    for (const Case& c : cases) EXPECT_EQ(IsLeadByte(c.byte), c.expected) << (int)c.byte;
}

TEST(InstallFolderPaths, CopyPathUpToSeparatorCutsBeforeTheNthSeparator) {
    struct Case {
        const char* name;
        std::string source;
        int n;
        std::string expected;
    };
    const Case cases[] = {
        {"drive level", "C:\\Games\\Foo", 1, "C:"},
        {"second level", "C:\\Games\\Foo", 2, "C:\\Games"},
        {"last level", "C:\\Games\\Foo", 3, "C:\\Games\\Foo"},
        {"beyond the last level", "C:\\Games\\Foo", 4, "C:\\Games\\Foo"},
        {"trailing separator kept at the end", "C:\\Games\\", 3, "C:\\Games\\"},
        {"drive root", "C:\\", 1, "C:"},
        {"drive root whole", "C:\\", 2, "C:\\"},
        {"network: the second backslash is the first cut", "\\\\x\\y", 1, "\\"},
        {"network: server", "\\\\x\\y", 2, "\\\\x"},
        {"network: share", "\\\\x\\y", 3, "\\\\x\\y"},
        {"leading backslash is never a cut", "\\Games", 1, "\\Games"},
        {"leading backslash, second level", "\\Games\\Foo", 1, "\\Games"},
        {"trail byte 0x5C is not a separator", "C:\\" + kHyo + "\\Foo", 2, "C:\\" + kHyo},
        {"trail byte 0x5C at the end", "C:\\Games\\" + kHyo, 3, "C:\\Games\\" + kHyo},
        {"double-byte first character is stepped over whole", kHyo + "\\Foo", 1, kHyo},
        {"double-byte name of its own", kHyo + kHyo + "\\" + kHyo, 2, kHyo + kHyo + "\\" + kHyo},
        {"empty source", "", 1, ""},
        {"no separator", "Games", 1, "Games"},
    };
    for (const Case& c : cases) {
        char destination[260];
        memset(destination, 'z', sizeof destination);
        CopyPathUpToSeparator(c.source.c_str(), destination, c.n);
        EXPECT_EQ(destination, c.expected) << c.name;
    }
}

TEST(InstallFolderPaths, CopyPathUpToSeparatorNeverWritesPastItsBuffer) {
    // 4 + 300 bytes: a byte-wise cut at 259 would leave a lone lead byte behind.
    std::string source = "C:\\a" + Repeat("あ", 150);
    char area[300];
    memset(area, 0x7F, sizeof area);
    CopyPathUpToSeparator(source.c_str(), area, 2);
    EXPECT_EQ(std::string(area), "C:\\a" + Repeat("あ", 127));
    for (size_t i = 260; i < sizeof area; i++) ASSERT_EQ(area[i], 0x7F) << i;
}

TEST(InstallFolderPaths, StripTrailingBackslashKeepsTrailBytes) {
    struct Case {
        const char* name;
        std::string path;
        std::string expected;
    };
    const Case cases[] = {
        {"folder with backslash", "C:\\Games\\", "C:\\Games"},
        {"folder without backslash", "C:\\Games", "C:\\Games"},
        {"only one backslash goes", "C:\\Games\\\\", "C:\\Games\\"},
        {"drive root", "C:\\", "C:"},
        {"single backslash", "\\", ""},
        {"empty", "", ""},
        {"ends in 表", "C:\\" + kHyo, "C:\\" + kHyo},
        {"only 表", kHyo, kHyo},
        {"表 and a real backslash", "C:\\" + kHyo + "\\", "C:\\" + kHyo},
    };
    for (const Case& c : cases) {
        char path[260] = "";
        strcpy(path, c.path.c_str());
        EXPECT_EQ(StripTrailingBackslash(path), path) << c.name;
        EXPECT_EQ(path, c.expected) << c.name;
    }
}

TEST(InstallFolderPaths, AppendBackslashAddsOneSeparatorWhereThereIsRoom) {
    struct Case {
        const char* name;
        std::string path;
        std::string expected;
    };
    const Case cases[] = {
        {"folder", "D:\\Games", "D:\\Games\\"},
        {"drive", "C:", "C:\\"},
        {"drive root stays", "D:\\", "D:\\"},
        {"empty becomes a backslash", "", "\\"},
        {"single backslash stays", "\\", "\\"},
        {"ends in 表", "C:\\" + kHyo, "C:\\" + kHyo + "\\"},
        {"258 bytes get the 259th", std::string(258, 'a'), std::string(258, 'a') + "\\"},
        {"259 bytes fill the buffer", std::string(259, 'a'), std::string(259, 'a')},
        {"259 bytes ending in 表", std::string(257, 'a') + kHyo, std::string(257, 'a') + kHyo},
    };
    for (const Case& c : cases) {
        char area[300];
        memset(area, 0x7F, sizeof area);
        strcpy(area, c.path.c_str());
        EXPECT_EQ(AppendBackslash(area), area) << c.name;
        EXPECT_EQ(std::string(area), c.expected) << c.name;
        for (size_t i = 260; i < sizeof area; i++) ASSERT_EQ(area[i], 0x7F) << c.name;
    }
}

// ---------------------------------------------------------------------------------------------
// CreateFolderChain on real folders

class FolderChain : public ::testing::Test {
protected:
    ScratchDir scratch;
    ScratchDir elsewhere;  // the current directory while the chain is made
    char saved[MAX_PATH] = "";
    void SetUp() override {
        GetCurrentDirectoryA(sizeof saved, saved);
        SetCurrentDirectoryA(elsewhere.path.c_str());
    }
    void TearDown() override { SetCurrentDirectoryA(saved); }
};

TEST_F(FolderChain, CreatesEveryMissingLevel) {
    struct Case {
        const char* name;
        std::string relative;  // below the scratch folder
        std::vector<std::string> made;
    };
    const Case cases[] = {
        {"three new levels", "\\A\\B\\C", {"\\A", "\\A\\B", "\\A\\B\\C"}},
        {"trailing backslash", "\\T\\U\\", {"\\T", "\\T\\U"}},
        {"double-byte name with trail byte 0x5C",
         "\\" + kHyo + "\\Foo",
         {"\\" + kHyo, "\\" + kHyo + "\\Foo"}},
        {"double-byte name at the end", "\\J\\" + kHyo, {"\\J", "\\J\\" + kHyo}},
    };
    for (const Case& c : cases) {
        std::string path = scratch.path + c.relative;
        EXPECT_TRUE(CreateFolderChain(Win32Fs(), path.c_str())) << c.name;
        for (const std::string& level : c.made) {
            EXPECT_TRUE(IsDirectory(scratch.path + level)) << c.name << ": " << level;
        }
        EXPECT_EQ(CurrentDirectory(), elsewhere.path) << c.name;
    }
    // A double-byte name is one folder, not a folder "\x95" with a sub-folder.
    std::vector<std::string> top = {"A", "J", "T", kHyo};
    std::sort(top.begin(), top.end());
    EXPECT_EQ(ListFolder(scratch.path), top);
    EXPECT_EQ(ListFolder(scratch.path + "\\" + kHyo), std::vector<std::string>{"Foo"});
}

TEST_F(FolderChain, ExistingLevelsAreEnteredAndTheRestCreated) {
    ASSERT_TRUE(CreateDirectoryA(scratch.File("Games").c_str(), NULL));
    WriteBytes(scratch.File("Games\\keep.txt"), "kept");
    std::string path = scratch.path + "\\Games\\Foo\\Bar";
    EXPECT_TRUE(CreateFolderChain(Win32Fs(), path.c_str()));
    EXPECT_TRUE(IsDirectory(path));
    EXPECT_EQ(ReadBytes(scratch.File("Games\\keep.txt")), "kept");
    // Everything exists already: nothing to do, still 0.
    EXPECT_TRUE(CreateFolderChain(Win32Fs(), path.c_str()));
    EXPECT_EQ(CurrentDirectory(), elsewhere.path);
}

TEST_F(FolderChain, FailuresGiveOne) {
    WriteBytes(scratch.File("file"), "not a folder");
    ASSERT_TRUE(CreateDirectoryA(scratch.File("A").c_str(), NULL));
    WriteBytes(scratch.File("A\\file"), "not a folder");
    struct Case {
        const char* name;
        std::string path;
    };
    const Case cases[] = {
        {"a level is a file", scratch.path + "\\file\\X"},
        {"the last level is a file", scratch.path + "\\file"},
        {"a deeper level is a file", scratch.path + "\\A\\file\\B\\C"},
        {"two bytes", "C:"},
        {"one byte", "x"},
        {"empty", ""},
        {"no such drive", "Q:\\Games\\Foo"},
        {"longer than a path buffer", scratch.path + Repeat("\\L", 150)},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(CreateFolderChain(Win32Fs(), c.path.c_str())) << c.name;
        EXPECT_EQ(CurrentDirectory(), elsewhere.path) << c.name;
    }
    EXPECT_FALSE(IsDirectory(scratch.path + "\\file\\X"));
    EXPECT_FALSE(IsDirectory(scratch.path + "\\A\\file\\B"));
    std::vector<std::string> names = {"A", "file"};
    EXPECT_EQ(ListFolder(scratch.path), names) << "nothing else was created";
}

TEST_F(FolderChain, DriveRootExistsWithoutCreatingAnything) {
    EXPECT_TRUE(CreateFolderChain(Win32Fs(), "C:\\"));
    EXPECT_EQ(CurrentDirectory(), elsewhere.path);
}

// ---------------------------------------------------------------------------------------------
// The SETUP dialog and ChooseInstallFolder

// Answers besides the buttons: the Escape key as the user presses it, and the close box.
const int kEscapeKey = -1;
const int kCloseBox = -2;

void Answer(HWND dialog, int answer) {
    if (answer == kEscapeKey) {
        HWND target = GetDlgItem(dialog, IDOK);
        PostMessageA(target ? target : dialog, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
        PostMessageA(target ? target : dialog, WM_KEYUP, VK_ESCAPE, 0xC0010001);
    } else if (answer == kCloseBox) {
        PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    } else {
        PressButton(dialog, answer);
    }
}

// What the test does in SETUP, and how it answers the boxes that follow.
struct Script {
    const char* name = "";
    bool typeText = false;
    std::string typed;  // put into the edit field before the button, when typeText
    int setupButton = IDOK;
    std::vector<int> answers;  // buttons pressed on the following boxes, in this order
    // Runs on the driver thread with the SETUP dialog before the edit field is typed into.
    std::function<void(HWND)> inSetup;
};

struct Outcome {
    int result = -2;
    bool setupSeen = false;
    HWND setupOwner = nullptr;
    std::string shownText;  // the edit field's text as SETUP first showed it
    std::vector<WindowSeen> boxes;
    std::vector<WindowSeen> unexpected;  // further dialogs, closed without a decision
    char folder[300];
};

const char kUntouched[] = "untouched";

// An answer that closes a box without ending the process or confirming anything.
int HarmlessAnswer(const WindowSeen& box) {
    if (box.HasButton(IDRETRY)) return IDRETRY;
    if (box.HasButton(IDNO)) return IDNO;
    if (box.caption == kSetupCaption) return IDCANCEL;
    return IDOK;
}

// Runs ChooseInstallFolder on this thread while a second thread plays `script`.
Outcome RunChoose(const Script& script) {
    Outcome out;
    memset(out.folder, 0x7F, sizeof out.folder);
    strcpy(out.folder, kUntouched);
    std::atomic<bool> done(false);
    const DWORD self = GetCurrentProcessId();
    std::thread driver([&] {
        WindowSeen setup;
        if (WaitForDialog(self, kSetupCaption, &setup)) {
            out.setupSeen = true;
            out.setupOwner = setup.owner;
            out.shownText = ItemText(setup.window, 1000);
            if (script.inSetup) script.inSetup(setup.window);
            if (script.typeText) SetDlgItemTextA(setup.window, 1000, script.typed.c_str());
            Answer(setup.window, script.setupButton);
            WaitForWindowGone(setup.window);
            for (int answer : script.answers) {
                WindowSeen box;
                if (!WaitForDialog(self, nullptr, &box)) break;
                out.boxes.push_back(box);
                Answer(box.window, answer);
                WaitForWindowGone(box.window);
            }
        }
        // Anything further is unexpected; close it without ending the process.
        while (!done) {
            WindowSeen box;
            if (!WaitForDialog(self, nullptr, &box, 100)) continue;
            out.unexpected.push_back(box);
            Answer(box.window, HarmlessAnswer(box));
            WaitForWindowGone(box.window);
        }
    });
    out.result = ChooseInstallFolder(out.folder) ? 0 : -1;
    done = true;
    driver.join();
    return out;
}

class InstallFolder : public ::testing::Test {
protected:
    ScratchDir media;
    char saved[MAX_PATH] = "";
    std::string regGlobal = "VorlinFolderTest" + std::to_string(GetCurrentProcessId());
    HWND owner = nullptr;

    void SetUp() override {
        GetCurrentDirectoryA(sizeof saved, saved);
        SetCurrentDirectoryA(media.path.c_str());
        owner = CreateWindowExA(0, "STATIC", kOwnerTitle, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10,
                                300, 200, NULL, NULL, GetModuleHandleA(NULL), NULL);
        ASSERT_NE(owner, nullptr);
        SetOwnerWindow(owner);
        LoadSettings("");
    }
    void TearDown() override {
        SetOwnerWindow(NULL);
        DestroyWindow(owner);
        RegDeleteTreeA(HKEY_CURRENT_USER, ("Software\\" + regGlobal).c_str());
        FreeEnvironmentSettings();
        SetCurrentDirectoryA(saved);
    }
    // A fresh settings list naming the test's registry key; `extra` adds lines.
    void LoadSettings(const std::string& extra) {
        FreeEnvironmentSettings();
        WriteBytes(media.File("vorlin.env"),
                   "REG_GLOBAL " + regGlobal + "\r\nREG_LOCAL Game\r\n" + extra + "[EOF]\r\n");
        ForgetRegistryKeyNames();  // each test names its own registry key
        LoadEnvironmentSettings("vorlin.env");
    }
    void SetRegistry(const char* name, const std::string& text) {
        HKEY key;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, ("Software\\" + regGlobal + "\\Game").c_str(),
                                  0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL),
                  ERROR_SUCCESS);
        RegSetValueExA(key, name, 0, REG_SZ, (const BYTE*)text.c_str(), (DWORD)text.size() + 1);
        RegCloseKey(key);
    }
    // Runs the script and checks what every call guarantees: the current directory is back,
    // and the output buffer is written only on success.
    Outcome Choose(const Script& script) {
        std::string before = CurrentDirectory();
        Outcome out = RunChoose(script);
        EXPECT_EQ(CurrentDirectory(), before) << script.name;
        EXPECT_TRUE(out.setupSeen) << script.name;
        EXPECT_EQ(out.setupOwner, owner) << script.name;
        EXPECT_TRUE(out.unexpected.empty())
            << script.name << ": " << out.unexpected.size() << " unexpected dialog(s), first \""
            << (out.unexpected.empty() ? "" : out.unexpected[0].text) << "\"";
        if (out.result != 0) {
            EXPECT_STREQ(out.folder, kUntouched) << script.name;
        }
        for (size_t i = 260; i < sizeof out.folder; i++) {
            EXPECT_EQ(out.folder[i], 0x7F) << script.name;
        }
        return out;
    }
    // Checks a box shown by ChooseInstallFolder: owned by the menu, captioned with its title.
    void ExpectBox(const WindowSeen& box, const std::string& text, std::vector<int> buttons,
                   const char* name) {
        EXPECT_EQ(box.text, text) << name;
        EXPECT_EQ(box.owner, owner) << name;
        EXPECT_EQ(box.caption, kOwnerTitle) << name;
        for (int id : buttons) EXPECT_TRUE(box.HasButton(id)) << name << ": button " << id;
    }
};

Script CancelScript(const char* name) {
    Script s;
    s.name = name;
    s.setupButton = IDCANCEL;
    return s;
}

TEST_F(InstallFolder, SetupDialogFollowsItsTemplate) {
    struct Control {
        int id;
        const char* className;
        const char* text;
        RECT units;  // x, y, width, height in dialog units
        LONG style;  // bits that must be set
        LONG type;   // the low four style bits, or -1
    };
    const Control expected[] = {
        {IDOK, "Button", "次へ", {115, 75, 40, 14}, WS_TABSTOP | WS_VISIBLE, BS_PUSHBUTTON},
        {IDCANCEL, "Button", "ｷｬﾝｾﾙ", {160, 75, 40, 14}, WS_TABSTOP | WS_VISIBLE, BS_PUSHBUTTON},
        {1000, "Edit", kDefaultFolder, {10, 26, 130, 12}, WS_TABSTOP | ES_AUTOHSCROLL, -1},
        {1021, "Button", "参照(&B)", {145, 25, 50, 14}, WS_TABSTOP, BS_PUSHBUTTON},
        {0xFFFF, "Button", "", {5, 15, 195, 30}, 0, BS_GROUPBOX},
        {0xFFFF,
         "Static",
         "[参照]ボタンで、既存のフォルダを参照できます\n[次へ]ボタンでインストールを開始します",
         {5, 50, 191, 20},
         WS_GROUP,
         SS_LEFT},
        {0xFFFF,
         "Static",
         "インストール先フォルダを指定してください",
         {10, 5, 190, 8},
         WS_GROUP,
         SS_LEFT},
    };
    const size_t count = sizeof expected / sizeof expected[0];
    // Read on the driver thread while SETUP is open, checked here afterwards.
    struct Seen {
        int id;
        std::string className, text;
        LONG style, exStyle;
        RECT rect;      // in the dialog's client coordinates
        RECT expected;  // the template's rectangle mapped to pixels as the dialog manager does
    };
    std::vector<Seen> seen;
    LONG dialogStyle = 0;
    std::string caption;
    RECT window = {}, client = {}, size = {0, 0, 203, 95};
    Script s = CancelScript("template");
    s.inSetup = [&](HWND dialog) {
        dialogStyle = GetWindowLongA(dialog, GWL_STYLE);
        char text[512] = "";
        GetWindowTextA(dialog, text, sizeof text);
        caption = text;
        GetWindowRect(dialog, &window);
        GetClientRect(dialog, &client);
        MapDialogRect(dialog, &size);
        size_t i = 0;
        for (HWND child = GetWindow(dialog, GW_CHILD); child;
             child = GetWindow(child, GW_HWNDNEXT), i++) {
            Seen one = {};
            one.id = GetDlgCtrlID(child);
            GetClassNameA(child, text, sizeof text);
            one.className = text;
            GetWindowTextA(child, text, sizeof text);
            one.text = text;
            one.style = GetWindowLongA(child, GWL_STYLE);
            one.exStyle = GetWindowLongA(child, GWL_EXSTYLE);
            GetWindowRect(child, &one.rect);
            MapWindowPoints(NULL, dialog, (POINT*)&one.rect, 2);
            if (i < count) {
                // Position and size are mapped separately (x, y, width, height).
                one.expected = expected[i].units;
                MapDialogRect(dialog, &one.expected);
            }
            seen.push_back(one);
        }
    };
    Outcome out = Choose(s);
    EXPECT_EQ(out.result, -1);
    EXPECT_EQ(caption, kSetupCaption);
    const LONG frame = WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    EXPECT_EQ(dialogStyle & frame, frame);
    EXPECT_EQ(client.right, size.right);
    EXPECT_EQ(client.bottom, size.bottom);
    // Centred on the whole screen.
    int width = window.right - window.left, height = window.bottom - window.top;
    EXPECT_EQ(window.left, (GetSystemMetrics(SM_CXSCREEN) - width) / 2);
    EXPECT_EQ(window.top, (GetSystemMetrics(SM_CYSCREEN) - height) / 2);

    ASSERT_EQ(seen.size(), count);
    for (size_t i = 0; i < count; i++) {
        const Control& c = expected[i];
        const Seen& one = seen[i];
        SCOPED_TRACE(c.text);
        EXPECT_EQ(one.id, c.id);
        EXPECT_EQ(_stricmp(one.className.c_str(), c.className), 0) << one.className;
        EXPECT_EQ(one.text, c.text);
        EXPECT_EQ(one.style & c.style, c.style);
        if (c.type != -1) {
            EXPECT_EQ(one.style & 0x0F, c.type);
        }
        EXPECT_EQ(one.rect.left, one.expected.left);
        EXPECT_EQ(one.rect.top, one.expected.top);
        EXPECT_EQ(one.rect.right - one.rect.left, one.expected.right);
        EXPECT_EQ(one.rect.bottom - one.rect.top, one.expected.bottom);
    }
    // The edit field's border: the dialog manager turns WS_BORDER of an edit control into a
    // sunken client edge.
    EXPECT_TRUE((seen[2].style & WS_BORDER) || (seen[2].exStyle & WS_EX_CLIENTEDGE));
}

TEST_F(InstallFolder, ProposedTextComesFromTheSettingsAndTheRegistry) {
    struct Case {
        const char* name;
        std::string settings;
        const char* isInst;  // null: absent
        bool hasInstTo;
        std::string instTo;
        std::string shown;
    };
    const std::string longFol = Repeat("あ", 63), longTo = Repeat("い", 63);
    const Case cases[] = {
        {"defaults", "", nullptr, false, "", kDefaultFolder},
        {"INSTFOL set", "INSTFOL Games\r\n", nullptr, false, "",
         "C:\\Program Files\\Games\\VORLIN_APP"},
        {"INSTTO set", "INSTTO MyGame\r\n", nullptr, false, "", "C:\\Program Files\\MyGame"},
        {"installed with InstTo", "", "1", true, "D:\\Games\\Vorlin", "D:\\Games\\Vorlin"},
        {"installed with an empty InstTo", "", "1", true, "", ""},
        {"installed without InstTo", "INSTFOL Games\r\n", "1", false, "",
         "C:\\Program Files\\Games\\VORLIN_APP"},
        {"not installed: InstTo is not read", "", "0", true, "D:\\X", kDefaultFolder},
        {"IsInst not a number", "", "yes", true, "D:\\X", kDefaultFolder},
        // 17 + 126 + 1 + 126 bytes: INSTTO is cut after 57 of its 63 characters (258 bytes).
        {"long settings are cut on a character boundary",
         "INSTFOL " + longFol + "\r\nINSTTO " + longTo + "\r\n", nullptr, false, "",
         "C:\\Program Files\\" + longFol + "\\" + Repeat("い", 57)},
        {"long InstTo is cut on a character boundary", "", "1", true, "D:\\a" + Repeat("あ", 150),
         "D:\\a" + Repeat("あ", 127)},
    };
    for (const Case& c : cases) {
        RegDeleteTreeA(HKEY_CURRENT_USER, ("Software\\" + regGlobal).c_str());
        if (c.isInst) SetRegistry("IsInst", c.isInst);
        if (c.hasInstTo) SetRegistry("InstTo", c.instTo);
        LoadSettings(c.settings);
        Outcome out = Choose(CancelScript(c.name));
        EXPECT_EQ(out.shownText, c.shown) << c.name;
        EXPECT_EQ(out.result, -1) << c.name;
        EXPECT_TRUE(out.boxes.empty()) << c.name;
    }
}

TEST_F(InstallFolder, CancelInSetupGivesMinusOne) {
    struct Case {
        const char* name;
        int answer;
    };
    const Case cases[] = {
        {"cancel button", IDCANCEL},
        {"close box", kCloseBox},
        {"escape key", kEscapeKey},
    };
    for (const Case& c : cases) {
        Script s;
        s.name = c.name;
        s.typeText = true;
        s.typed = "D:\\Games";
        s.setupButton = c.answer;
        Outcome out = Choose(s);
        EXPECT_EQ(out.result, -1) << c.name;
    }
}

TEST_F(InstallFolder, ConfirmedTextIsNormalised) {
    struct Case {
        const char* name;
        std::string typed;
        std::string confirmed;
    };
    const Case cases[] = {
        {"as typed", "D:\\Games\\Foo", "D:\\Games\\Foo"},
        {"forward slashes", "D:/Games/Foo", "D:\\Games\\Foo"},
        {"no drive", "Games\\Foo", "C:\\Games\\Foo"},
        {"leading backslash, no drive", "\\Games\\Foo", "C:\\Games\\Foo"},
        {"drive without backslash", "C:Games", "C:\\Games"},
        {"trailing backslash", "C:\\Games\\Foo\\", "C:\\Games\\Foo"},
        {"ends in 表", "C:\\Games\\" + kHyo, "C:\\Games\\" + kHyo},
        {"表 and a real trailing backslash", "C:\\Games\\" + kHyo + "\\", "C:\\Games\\" + kHyo},
        {"表 before a separator is no doubled pair", "C:\\" + kHyo + "\\Foo",
         "C:\\" + kHyo + "\\Foo"},
        {"forward slashes around 表", "C:/" + kHyo + "/Foo", "C:\\" + kHyo + "\\Foo"},
        {"only the first pair is looked at", "C:\\" + kHyo + "\\Games\\\\Foo",
         "C:\\" + kHyo + "\\Games\\\\Foo"},
        {"overlong field is cut on a character boundary", "C:\\a" + Repeat("あ", 150),
         "C:\\a" + Repeat("あ", 127)},
        {"drive and backslash in front of a full text", std::string(259, 'x'),
         "C:\\" + std::string(256, 'x')},
        {"drive in front of a full double-byte text", "x" + Repeat("あ", 129),
         "C:\\x" + Repeat("あ", 127)},
    };
    for (const Case& c : cases) {
        Script s;
        s.name = c.name;
        s.typeText = true;
        s.typed = c.typed;
        s.answers = {IDYES};
        Outcome out = Choose(s);
        EXPECT_EQ(out.result, 0) << c.name;
        EXPECT_EQ(std::string(out.folder), c.confirmed) << c.name;
        ASSERT_EQ(out.boxes.size(), 1u) << c.name;
        ExpectBox(out.boxes[0], "[" + c.confirmed + "]にインストールします", {IDYES, IDNO}, c.name);
    }
}

TEST_F(InstallFolder, NoAtTheConfirmationGivesMinusOne) {
    Script s;
    s.name = "no";
    s.typeText = true;
    s.typed = "D:/Games/Foo/";
    s.answers = {IDNO};
    Outcome out = Choose(s);
    EXPECT_EQ(out.result, -1);
    ASSERT_EQ(out.boxes.size(), 1u);
    ExpectBox(out.boxes[0], "[D:\\Games\\Foo]にインストールします", {IDYES, IDNO}, s.name);
}

TEST_F(InstallFolder, ProposedTextConfirmedAsShown) {
    Script s;
    s.name = "proposed";
    s.answers = {IDYES};
    Outcome out = Choose(s);
    EXPECT_EQ(out.result, 0);
    EXPECT_STREQ(out.folder, kDefaultFolder);
}

TEST_F(InstallFolder, NetworkPathsAndDriveRootsAreRefused) {
    struct Case {
        const char* name;
        std::string typed;
        bool root;  // else a network path
    };
    const Case cases[] = {
        {"network path", "\\\\server\\share", false},
        {"network path with forward slashes", "//server/share", false},
        {"doubled separator", "C:\\Games\\\\Foo", false},
        {"doubled separator at the end", "C:\\Games\\\\", false},
        {"doubled separator after a single-byte katakana", "C:\\\xB1\\\\Foo", false},
        {"drive root", "C:\\", true},
        {"drive alone", "C:", true},
        {"other drive root", "D:\\", true},
        {"drive root with a forward slash", "C:/", true},
        {"empty field", "", true},
        {"single backslash", "\\", true},
    };
    for (const Case& c : cases) {
        Script s;
        s.name = c.name;
        s.typeText = true;
        s.typed = c.typed;
        s.answers = {c.root ? IDRETRY : IDOK};
        Outcome out = Choose(s);
        EXPECT_EQ(out.result, -1) << c.name;
        ASSERT_EQ(out.boxes.size(), 1u) << c.name;
        if (c.root) {
            ExpectBox(out.boxes[0], kRootMessage, {IDRETRY, IDCANCEL}, c.name);
        } else {
            ExpectBox(out.boxes[0], kNetworkMessage, {IDOK}, c.name);
            EXPECT_FALSE(out.boxes[0].HasButton(IDRETRY)) << c.name;
        }
    }
}

TEST_F(InstallFolder, WithoutOwnerWindowTheDialogComesFromTheProgram) {
    SetOwnerWindow(NULL);
    Script s;
    s.name = "no owner";
    s.typeText = true;
    s.typed = "D:\\Games";
    s.answers = {IDYES};
    std::string before = CurrentDirectory();
    Outcome out = RunChoose(s);
    EXPECT_TRUE(out.setupSeen);
    EXPECT_EQ(out.setupOwner, nullptr);
    EXPECT_EQ(out.result, 0);
    EXPECT_STREQ(out.folder, "D:\\Games");
    ASSERT_EQ(out.boxes.size(), 1u);
    EXPECT_EQ(out.boxes[0].owner, nullptr);
    EXPECT_EQ(out.boxes[0].caption, "");
    EXPECT_EQ(CurrentDirectory(), before);
}

TEST_F(InstallFolder, OwnerFromAModuleWithoutTheTemplateShowsNothing) {
    // The dialog is created with the owner's module instance; where that module has no SETUP
    // template, nothing can be confirmed.
    HWND foreign = CreateWindowExA(0, "STATIC", "foreign", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                                   NULL, NULL, GetModuleHandleA("user32.dll"), NULL);
    ASSERT_NE(foreign, nullptr);
    if ((HMODULE)GetWindowLongPtrA(foreign, GWLP_HINSTANCE) != GetModuleHandleA("user32.dll")) {
        DestroyWindow(foreign);
        GTEST_SKIP() << "the window did not keep its module instance";
    }
    SetOwnerWindow(foreign);
    char folder[260] = "untouched";
    std::string before = CurrentDirectory();
    EXPECT_FALSE(ChooseInstallFolder(folder));
    EXPECT_STREQ(folder, "untouched");
    EXPECT_EQ(CurrentDirectory(), before);
    SetOwnerWindow(owner);
    DestroyWindow(foreign);
}

// The fatal box's Cancel ends the process, so it is answered in a child: this executable, running
// only the disabled test below.
TEST_F(InstallFolder, RootRefusalCancelledEndsTheProcessWithMinusOne) {
    char exe[MAX_PATH] = "";
    GetModuleFileNameA(NULL, exe, sizeof exe);
    Child child = StartChild(std::string("\"") + exe +
                                 "\" --gtest_filter=InstallFolderChild.DISABLED_ChooseOnce"
                                 " --gtest_also_run_disabled_tests",
                             media.path);
    WindowSeen setup, box;
    bool setupSeen = WaitForDialog(child.id, kSetupCaption, &setup);
    EXPECT_TRUE(setupSeen);
    if (setupSeen) {
        SetDlgItemTextA(setup.window, 1000, "C:\\");
        PressButton(setup.window, IDOK);
        EXPECT_TRUE(WaitForWindowGone(setup.window));
        bool boxSeen = WaitForDialog(child.id, nullptr, &box);
        EXPECT_TRUE(boxSeen);
        EXPECT_EQ(box.text, kRootMessage);
        if (boxSeen) PressButton(box.window, IDCANCEL);
    }
    EXPECT_EQ(WaitChild(&child), 0xFFFFFFFFu);
}

// Run only as the child of the test above.
TEST(InstallFolderChild, DISABLED_ChooseOnce) {
    LoadEnvironmentSettings("vorlin.env");
    char folder[260] = "";
    ChooseInstallFolder(folder);
}

// ---------------------------------------------------------------------------------------------
// The folder browser

struct OwnedRequest {
    HWND owner;
    HWND found;
};

BOOL CALLBACK FindOwnedDialog(HWND window, LPARAM param) {
    OwnedRequest* request = (OwnedRequest*)param;
    char className[64] = "";
    GetClassNameA(window, className, sizeof className);
    if (strcmp(className, "#32770") == 0 && IsWindowVisible(window) &&
        GetWindow(window, GW_OWNER) == request->owner) {
        request->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND WaitForOwnedDialog(HWND owner) {
    for (int i = 0; i < 750; i++) {
        OwnedRequest request = {owner, nullptr};
        EnumWindows(FindOwnedDialog, (LPARAM)&request);
        if (request.found) return request.found;
        Sleep(20);
    }
    return nullptr;
}

BOOL CALLBACK FindTextChild(HWND child, LPARAM param) {
    std::pair<const char*, bool>* request = (std::pair<const char*, bool>*)param;
    char text[512] = "";
    GetWindowTextA(child, text, sizeof text);
    if (strcmp(text, request->first) == 0) request->second = true;
    return TRUE;
}

// The text of the item selected in the browser's folder tree.
std::string SelectedTreeText(HWND browser) {
    HWND tree = FindWindowExA(browser, NULL, "SysTreeView32", NULL);
    HTREEITEM item = (HTREEITEM)SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CARET, 0);
    char text[MAX_PATH] = "";
    TVITEMA data = {};
    data.mask = TVIF_TEXT;
    data.hItem = item;
    data.pszText = text;
    data.cchTextMax = sizeof text;
    if (item) SendMessageA(tree, TVM_GETITEMA, 0, (LPARAM)&data);
    return text;
}

// Selects `path` as the user would by clicking through the tree. Wine's browser may still be
// setting up its tree (and its first selection) after it became visible, so the selection is
// repeated until the tree shows an item whose text contains `shownAs`.
// Sets `failed` when the tree never shows it.
void SelectInBrowser(HWND browser, const char* path, const std::string& shownAs, bool* failed) {
    for (int attempt = 0; attempt < 50; attempt++) {
        SendMessageA(browser, BFFM_SETSELECTIONA, TRUE, (LPARAM)path);
        Sleep(50);
        if (SelectedTreeText(browser).find(shownAs) != std::string::npos) return;
    }
    *failed = true;
}

// Waits until the edit field reads `expected` (the dialog sets it once the browser returned).
std::string WaitForField(HWND setup, const std::string& expected) {
    std::string text;
    for (int i = 0; i < 150; i++) {
        text = ItemText(setup, 1000);
        if (text == expected) break;
        Sleep(20);
    }
    return text;
}

class FolderBrowser : public InstallFolder {
protected:
    void SetUp() override {
        CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);
        InstallFolder::SetUp();
    }
    void TearDown() override {
        InstallFolder::TearDown();
        CoUninitialize();
    }
    struct Browse {
        bool browserSeen = false;
        HWND browserOwner = nullptr;
        bool titleShown = false;
        bool selectFailed = false;
        std::string field;  // the edit field after the browser closed
    };
    // Opens the browser from SETUP; selects `select` and presses OK, or cancels when it is null.
    // `expected` is the field text the test waits for.
    std::function<void(HWND)> BrowseTo(const char* select, const std::string& shownAs,
                                       const std::string& expected, Browse* browse) {
        return [=](HWND setup) {
            PressButton(setup, 1021);
            HWND browser = WaitForOwnedDialog(setup);
            if (!browser) return;
            browse->browserSeen = true;
            browse->browserOwner = GetWindow(browser, GW_OWNER);
            std::pair<const char*, bool> title(kBrowseTitle, false);
            EnumChildWindows(browser, FindTextChild, (LPARAM)&title);
            browse->titleShown = title.second;
            if (select) {
                SelectInBrowser(browser, select, shownAs, &browse->selectFailed);
                PressButton(browser, IDOK);
            } else {
                PressButton(browser, IDCANCEL);
            }
            WaitForWindowGone(browser);
            browse->field = WaitForField(setup, expected);
        };
    }
};

TEST_F(FolderBrowser, CancelLeavesTheTextAsItWas) {
    Browse browse;
    Script s = CancelScript("browser cancelled");
    s.inSetup = BrowseTo(nullptr, "", kDefaultFolder, &browse);
    Outcome out = Choose(s);
    EXPECT_TRUE(browse.browserSeen);
    EXPECT_NE(browse.browserOwner, nullptr);
    EXPECT_TRUE(browse.titleShown);
    EXPECT_EQ(browse.field, kDefaultFolder);
    EXPECT_EQ(out.result, -1);
}

TEST_F(FolderBrowser, ChosenFolderGetsInstToBehindIt) {
    ScratchDir place;
    ASSERT_TRUE(CreateDirectoryA(place.File(kHyo).c_str(), NULL));
    LoadSettings("INSTTO MyGame\r\n");
    struct Case {
        const char* name;
        std::string select;
        std::string shownAs;  // what the browser's tree shows for it
        std::string field;
    };
    const Case cases[] = {
        {"folder", place.path, LastName(place.path), place.path + "\\MyGame"},
        {"drive root", "C:\\", "C:", "C:\\MyGame"},
        {"folder ending in 表", place.File(kHyo), kHyo, place.File(kHyo) + "\\MyGame"},
    };
    for (const Case& c : cases) {
        Browse browse;
        Script s = CancelScript(c.name);
        s.inSetup = BrowseTo(c.select.c_str(), c.shownAs, c.field, &browse);
        Outcome out = Choose(s);
        EXPECT_TRUE(browse.browserSeen) << c.name;
        EXPECT_FALSE(browse.selectFailed) << c.name << ": the browser did not select it";
        EXPECT_EQ(browse.field, c.field) << c.name;
        EXPECT_EQ(out.result, -1) << c.name;
    }
}

TEST_F(FolderBrowser, ChosenFolderIsConfirmed) {
    ScratchDir place;
    std::string expected = place.path + "\\VORLIN_APP";
    Browse browse;
    Script s;
    s.name = "browse and confirm";
    s.inSetup = BrowseTo(place.path.c_str(), LastName(place.path), expected, &browse);
    s.answers = {IDYES};
    Outcome out = Choose(s);
    EXPECT_FALSE(browse.selectFailed);
    EXPECT_EQ(browse.field, expected);
    EXPECT_EQ(out.result, 0);
    EXPECT_EQ(std::string(out.folder), expected);
}

}  // namespace
