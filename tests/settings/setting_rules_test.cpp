// The keys of the settings file, their defaults, and the update title composed from them. Code
// page 932 texts are written as bytes, since this test is also built where literals stay UTF-8.
#include "settings/setting_rules.h"

#include <gtest/gtest.h>

#include <string.h>

#include <string>

TEST(SettingRules, KeysAndDefaults) {
    struct Case {
        const char* key;
        const char* defaultText;
    };
    const Case cases[] = {
        // ＶＯＲＬＩＮ アプリケーション
        {"TITLEBAR",
         "\x82\x75\x82\x6E\x82\x71\x82\x6B\x82\x68\x82\x6D \x83\x41\x83\x76\x83\x8A"
         "\x83\x50\x81\x5B\x83\x56\x83\x87\x83\x93"},
        {"VERSION", "Version 1.01"},
        {"EXENAME", "vorlin.exe"},
        {"INSTTO", "VORLIN_APP"},
        {"INSTFOL", ""},
        {"REG_GLOBAL", "VORLIN_SYSTEM"},
        {"REG_LOCAL", "VORLIN_RUNTIME"},
        {"UPDATEREADME", "update.txt"},
        {"UPDATENEEDINSTALL", "1"},
    };
    EXPECT_EQ(kSettingRuleCount, sizeof cases / sizeof cases[0]);
    for (const Case& c : cases) {
        ASSERT_NE(FindSettingRule(c.key), nullptr) << c.key;
        EXPECT_STREQ(GetSettingDefault(c.key), c.defaultText) << c.key;
    }
    // Keys are compared exactly, as the launcher compares them.
    EXPECT_EQ(FindSettingRule("titlebar"), nullptr);
    EXPECT_EQ(FindSettingRule("TITLEBAR "), nullptr);
    EXPECT_STREQ(GetSettingDefault("TITLE_BAR"), "");
}

TEST(SettingRules, UpdateTitle) {
    char title[kUpdateTitleBytes + 1];
    ComposeUpdateTitle("Demo", "Ver.2", title);
    EXPECT_STREQ(title, "Demo \x83\x41\x83\x62\x83\x76\x83\x66\x81\x5B\x83\x67 Ver.2");

    // 127-byte values: the title is cut at 255 bytes, or at 254 where 255 would split a character.
    std::string titlebar = "a";
    for (int i = 0; i < 63; i++) titlebar += "\x82\xA0";
    std::string even, odd = "b";
    for (int i = 0; i < 63; i++) even += "\x82\xA0";
    even += "b";
    for (int i = 0; i < 63; i++) odd += "\x82\xA0";
    ComposeUpdateTitle(titlebar.c_str(), even.c_str(), title);
    EXPECT_EQ(strlen(title), 255u);
    ComposeUpdateTitle(titlebar.c_str(), odd.c_str(), title);
    EXPECT_EQ(strlen(title), 254u);
}

TEST(SettingRules, ProposedInstallFolder) {
    struct Case {
        const char* root;
        const char* instFol;
        const char* instTo;
        const char* folder;
    };
    const Case cases[] = {
        {"C:\\", nullptr, "VORLIN_APP", "C:\\Program Files\\VORLIN_APP"},
        {"C:\\", "", "Game", "C:\\Program Files\\Game"},
        {"D:\\", "Studio", "Game", "D:\\Program Files\\Studio\\Game"},
        {"", "Studio\\Sub", "Game", "Program Files\\Studio\\Sub\\Game"},
        // 表示 (0x95 0x5C 0x8E 0xA6): a trail byte 0x5C is no separator and stays.
        {"C:\\", "\x95\x5C", "\x95\x5C\x8E\xA6", "C:\\Program Files\\\x95\x5C\\\x95\x5C\x8E\xA6"},
    };
    for (const Case& c : cases) {
        char folder[260];
        ComposeProposedInstallFolder(c.root, c.instFol, c.instTo, folder, sizeof folder);
        EXPECT_STREQ(folder, c.folder) << c.instTo;
    }
    // A folder that cannot fit is cut on a character boundary: 259 bytes, or 258 where the 259th
    // byte would split a character.
    std::string even(120, 'a'), odd(121, 'a');
    for (int i = 0; i < 70; i++) {
        even += "\x82\xA0";
        odd += "\x82\xA0";
    }
    char folder[260];
    // "C:\Program Files\" is 17 bytes: 137 before the first あ, room for 61 of them.
    ComposeProposedInstallFolder("C:\\", nullptr, even.c_str(), folder, sizeof folder);
    EXPECT_EQ(strlen(folder), 259u);
    // 138 before the first あ: 121 bytes of room hold 60 of them.
    ComposeProposedInstallFolder("C:\\", nullptr, odd.c_str(), folder, sizeof folder);
    EXPECT_EQ(strlen(folder), 258u);
}

TEST(SettingRules, BarsToSpaces) {
    struct Case {
        const char* name;
        const char* value;
        const char* spaced;
    };
    const Case cases[] = {
        {"no bar", "Title", "Title"},
        {"bars become spaces", "My|Own|Title", "My Own Title"},
        {"only bars", "||", "  "},
        {"empty", "", ""},
        // ポ (0x83 0x7C): a trail byte 0x7C is no bar.
        {"katakana po keeps its trail byte", "\x83\x7C|\x83\x7C", "\x83\x7C \x83\x7C"},
        {"a bar after a double-byte character", "\x82\xA0|", "\x82\xA0 "},
        {"half-width katakana is one byte", "\xB1|", "\xB1 "},
        {"a lone lead byte before the end", "|\x83", " \x83"},
        {"a lead byte takes a bar as its second byte", "\x83||", "\x83| "},
    };
    for (const Case& c : cases) {
        std::string value = c.value;
        BarsToSpaces(&value[0]);
        EXPECT_EQ(value, c.spaced) << c.name;
    }
}
