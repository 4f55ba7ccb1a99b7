// The environment settings as the launcher loads them: real files in a scratch folder, read
// through the resource open, then the getters.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "settings/env_settings.h"
#include "tests/support/win_support.h"
#include "ui/message_box.h"

namespace {

// Every test starts with an empty settings list and registry key names not yet fixed, whether it
// runs in a process of its own (as CTest runs them) or after the others in one process.
class Settings : public ::testing::Test {
protected:
    ScratchDir dir;
    InFolder inDir{dir.path};

    void SetUp() override {
        FreeEnvironmentSettings();
        ForgetRegistryKeyNames();
    }
    void TearDown() override { FreeEnvironmentSettings(); }
    void Load(const std::string& content) {
        WriteBytes(dir.File("vorlin.env"), content);
        EXPECT_EQ(LoadEnvironmentSettings("vorlin.env"), 0);
    }
};

const char kDefaultTitle[] = "ＶＯＲＬＩＮ アプリケーション";

TEST_F(Settings, NamedGettersGiveTheirDefaultsForAnEmptyFile) {
    Load("");
    EXPECT_STREQ(GetTitlebarSetting(), kDefaultTitle);
    EXPECT_STREQ(GetVersionSetting(), "Version 1.01");
    EXPECT_STREQ(GetExeNameSetting(), "vorlin.exe");
    EXPECT_STREQ(GetInstToSetting(), "VORLIN_APP");
    EXPECT_EQ(GetInstFolSetting(), nullptr);
    EXPECT_STREQ(GetRegGlobalSetting(), "VORLIN_SYSTEM");
    EXPECT_STREQ(GetRegLocalSetting(), "VORLIN_RUNTIME");
    EXPECT_STREQ(GetUpdateReadmeSetting(), "update.txt");
    EXPECT_EQ(GetSettingInt("UPDATENEEDINSTALL", 1), 1);
    EXPECT_STREQ(GetUpdateTitle(), "ＶＯＲＬＩＮ アプリケーション アップデート Version 1.01");
}

TEST_F(Settings, NamedGettersReadTheirKeys) {
    Load("TITLEBAR デモ|ゲーム\r\nVERSION Ver.2\r\nEXENAME Game.EXE\r\nINSTTO DemoGame\r\n"
         "INSTFOL Studio\r\nREG_GLOBAL DemoStudio\r\nREG_LOCAL DemoGame\r\n"
         "UPDATEREADME readme2.txt\r\nUPDATENEEDINSTALL 0\r\n");
    EXPECT_STREQ(GetTitlebarSetting(), "デモ ゲーム");
    EXPECT_STREQ(GetVersionSetting(), "Ver.2");
    EXPECT_STREQ(GetExeNameSetting(), "Game.EXE");
    EXPECT_STREQ(GetInstToSetting(), "DemoGame");
    EXPECT_STREQ(GetInstFolSetting(), "Studio");
    EXPECT_STREQ(GetRegGlobalSetting(), "DemoStudio");
    EXPECT_STREQ(GetRegLocalSetting(), "DemoGame");
    EXPECT_STREQ(GetUpdateReadmeSetting(), "readme2.txt");
    EXPECT_EQ(GetSettingInt("UPDATENEEDINSTALL", 1), 0);
    EXPECT_STREQ(GetUpdateTitle(), "デモ ゲーム アップデート Ver.2");
}

struct TitleCase {
    const char* name;
    std::string file;
    const char* title;
};

TEST_F(Settings, FileFormat) {
    std::string longLine(511, 'X');
    std::string lines400;
    for (int i = 0; i < 399; i++) lines400 += "// comment\n";
    const TitleCase cases[] = {
        {"bars become spaces", "TITLEBAR My|Own|Title\n", "My Own Title"},
        {"spaces end the value", "TITLEBAR My Own Title\n", "My"},
        {"the last line wins", "TITLEBAR 1.00\nTITLEBAR 1.02\n", "1.02"},
        {"keys are case-sensitive", "titlebar Mine\n", kDefaultTitle},
        {"leading space", " TITLEBAR Mine\n", kDefaultTitle},
        {"key alone", "TITLEBAR\n", kDefaultTitle},
        {"one slash", "/TITLEBAR Mine\n", kDefaultTitle},
        {"two slashes", "//TITLEBAR Mine\n", kDefaultTitle},
        {"99 spaces", "TITLEBAR" + std::string(99, ' ') + "Mine\n", "Mine"},
        {"120 spaces", "TITLEBAR" + std::string(120, ' ') + "Mine\n", kDefaultTitle},
        {"nothing after [EOF]", "TITLEBAR A\n[EOF]\nTITLEBAR B\n", "A"},
        {"[EOF] with text after it", "TITLEBAR A\n[EOF] TITLEBAR B\nTITLEBAR C\n", "A"},
        {"line 400 is read", lines400 + "TITLEBAR L400\n", "L400"},
        {"line 401 is not", lines400 + "// 400\nTITLEBAR L401\n", kDefaultTitle},
        {"a long line is read as several", longLine + "TITLEBAR Split\n", "Split"},
        {"katakana po keeps its trail byte", "TITLEBAR ポ|ポ\n", "ポ ポ"},
        {"full-width space is an ordinary character", "TITLEBAR Ａ　Ｂ\n", "Ａ　Ｂ"},
        {"shift-jis key", "タイトル X\nTITLEBAR 表示\n", "表示"},
    };
    for (const TitleCase& c : cases) {
        SCOPED_TRACE(c.name);
        FreeEnvironmentSettings();
        Load(c.file);
        EXPECT_STREQ(GetTitlebarSetting(), c.title);
    }
}

TEST_F(Settings, GettersCutLongValuesAt127Bytes) {
    std::string value(200, 'v');
    Load("VERSION " + value + "\n");
    EXPECT_EQ(std::string(GetVersionSetting()), value.substr(0, 127));
    char small[6];
    EXPECT_STREQ(GetSettingString("VERSION", small, sizeof small, "d"), "vvvvv");
    EXPECT_STREQ(GetSettingString("MISSING", small, sizeof small, "default"), "defau");
}

TEST_F(Settings, IntegerSettings) {
    Load("ZERO 0\nABC abc\nMIXED 12abc\nNEGATIVE -5\nBIG 99999999999\n");
    struct Case {
        const char* key;
        int expected;
    };
    const Case cases[] = {{"ZERO", 0},      {"ABC", 0},           {"MIXED", 12},
                          {"NEGATIVE", -5}, {"BIG", 2147483647}, {"ABSENT", 77}};
    for (const Case& c : cases) EXPECT_EQ(GetSettingInt(c.key, 77), c.expected) << c.key;
}

TEST_F(Settings, FindSettingEntryReturnsTheNewestEntry) {
    Load("K first\nK second\nOTHER x\n");
    SettingEntry* entry = FindSettingEntry("K");
    ASSERT_NE(entry, nullptr);
    EXPECT_STREQ(entry->value, "second");
    EXPECT_EQ(FindSettingEntry("k"), nullptr);
    EXPECT_EQ(FindSettingEntry("KK"), nullptr);
}

TEST_F(Settings, RegistryKeyNamesAreFixedByTheirFirstRead) {
    EXPECT_STREQ(GetRegGlobalSetting(), "VORLIN_SYSTEM");  // before loading: the default
    Load("REG_GLOBAL Later\nREG_LOCAL Later2\nTITLEBAR Now\n");
    EXPECT_STREQ(GetRegGlobalSetting(), "VORLIN_SYSTEM");
    EXPECT_STREQ(GetRegLocalSetting(), "Later2");  // its first read comes after the load
    EXPECT_STREQ(GetTitlebarSetting(), "Now");     // the others read the list every time
}

TEST_F(Settings, UpdateTitleIsCutAt255BytesOnACharacterBoundary) {
    std::string title = "a";
    for (int i = 0; i < 63; i++) title += "あ";  // 127 bytes
    struct Case {
        const char* name;
        std::string version;
        size_t length;
    };
    std::string evenVersion, oddVersion = "b";
    for (int i = 0; i < 63; i++) evenVersion += "あ";
    evenVersion += "b";
    for (int i = 0; i < 63; i++) oddVersion += "あ";
    const Case cases[] = {
        {"the cut falls between characters", evenVersion, 255},
        {"the cut would split a character", oddVersion, 254},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FreeEnvironmentSettings();
        Load("TITLEBAR " + title + "\nVERSION " + c.version + "\n");
        std::string full = title + " アップデート " + c.version;
        EXPECT_EQ(std::string(GetUpdateTitle()), full.substr(0, c.length));
    }
}

// A missing file blocks in the fatal box; once the file is in place, Retry loads it.
TEST_F(Settings, MissingFileShowsTheFatalBoxAndRetryLoadsIt) {
    WindowSeen seen;
    std::string path = dir.File("vorlin.env");
    DriveDialogWith([] { LoadEnvironmentSettings("vorlin.env"); },
                    [&](const WindowSeen& s) {
                        WriteBytes(path, "TITLEBAR Found\n");
                        PressButton(s.window, IDRETRY);
                    },
                    &seen);
    EXPECT_EQ(seen.text, "Ffopen : ファイル[vorlin.env]の読み込みで失敗しました");
    EXPECT_EQ(seen.caption, "");
    EXPECT_EQ(seen.owner, nullptr);
    EXPECT_STREQ(GetTitlebarSetting(), "Found");
}

}  // namespace
